#pragma once

#include "account/HistoryViewBase.h"
#include "wire/Commands.h"

// "交 割 单": the settlement statement over a date range, with the shareholder account by market and a row number; a
// row is red for "证券卖出", blue otherwise.
class CHisJgdView final : public CHistoryViewBase {
    Q_OBJECT
public:
    explicit CHisJgdView(ClientContext& context, QWidget* parent = nullptr);

    void FillHistoryList() override;

protected:
    int Command() const override { return net::kCmdSettlement; }
    bool EndsBeforeToday() const override { return false; }
    void AddColumns(CListCtrlCl& list) override;
};
