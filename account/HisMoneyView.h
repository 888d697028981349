#pragma once

#include "account/HistoryViewBase.h"
#include "wire/Commands.h"

// "资金明细": the funds flow over a date range; a row is red for "证券卖出" or "资金转入", blue otherwise.
class CHisMoneyView final : public CHistoryViewBase {
    Q_OBJECT
public:
    explicit CHisMoneyView(ClientContext& context, QWidget* parent = nullptr);

    void FillHistoryList() override;

protected:
    int Command() const override { return net::kCmdFundsFlow; }
    bool EndsBeforeToday() const override { return false; }
    void AddColumns(CListCtrlCl& list) override;
};
