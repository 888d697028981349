#pragma once

#include "server/ledger/AccountRows.h"
#include "server/ledger/OrderResult.h"

#include <string>
#include <string_view>
#include <vector>

namespace server {

struct Account;

// The answers of the protocol, without the frame: the records the client reads by the
// positions of wire/AccountRecords.h, and the texts of refusals. UTF-8; the session turns them
// into GBK. Every answer fits one frame: a list stops before the record that would not fit.

// "0,委托已受理，合同编号N[，已全部成交|，已成交N股]<note>" or "1,<why it was refused>";
// `note` follows an accepted order that waits (for a call auction, say).
std::string OrderReply(const OrderResult& result, std::string_view note = {});
// Why an order was refused, as the client shows it.
std::string RefusalText(const OrderRefusal& refusal);

// The login's "0,,,"-separated fields: the welcome text, the cash available, the client version
// expected, the holder codes, the status, the name and the update command.
std::string LoginReply(const Account& account, std::string_view info, std::string_view version,
                       std::string_view updateCommand);

std::string FundsReply(const FundsRow& funds);
std::string PositionsReply(const std::vector<PositionRow>& positions);
// The stored rows come newest first; the records go oldest first, the newest that fit.
std::string OrdersReply(const std::vector<OrderRow>& orders);
std::string TradesReply(const std::vector<TradeRow>& trades);
std::string FundsFlowReply(const std::vector<FundsFlowRow>& flow);
// `shAccount`, `szAccount`: the holder codes each record names by its exchange.
std::string SettlementReply(const std::vector<SettlementRow>& settlements, const std::string& shAccount,
                            const std::string& szAccount);

} // namespace server
