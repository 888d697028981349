#pragma once

#include "account/HistoryViewBase.h"
#include "wire/Commands.h"

// "历史成交": past trades over a date range ending at yesterday at the latest; a row is red for a sale ("卖出"), blue
// otherwise.
class CHisTradeView final : public CHistoryViewBase {
    Q_OBJECT
public:
    explicit CHisTradeView(ClientContext& context, QWidget* parent = nullptr);

    void FillHistoryList() override;

protected:
    int Command() const override { return net::kCmdHistoryTrades; }
    bool EndsBeforeToday() const override { return true; }
    void AddColumns(CListCtrlCl& list) override;
};
