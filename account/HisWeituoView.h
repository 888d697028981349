#pragma once

#include "account/HistoryViewBase.h"
#include "wire/Commands.h"

// "历史委托": past orders over a date range ending at yesterday at the latest; no colours.
class CHisWeituoView final : public CHistoryViewBase {
    Q_OBJECT
public:
    explicit CHisWeituoView(ClientContext& context, QWidget* parent = nullptr);

    void FillHistoryList() override;

protected:
    int Command() const override { return net::kCmdHistoryOrders; }
    bool EndsBeforeToday() const override { return true; }
    void AddColumns(CListCtrlCl& list) override;
};
