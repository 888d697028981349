#pragma once

#include "server/market/Money.h"

#include <cstdint>
#include <string>

namespace server {

// What the ledger answers about an account, in figures; the engine writes the records the
// client reads (server/engine/Replies.cpp, wire/AccountRecords.h).

// The funds: open orders hold `frozen` of the cash.
struct FundsRow {
    Cents cash = 0;
    Cents frozen = 0;
    Cents stockValue = 0; // the holdings at their last prices
    int status = 0;       // 0 normal, anything else frozen

    Cents Available() const { return cash - frozen; }
    Cents Total() const { return cash + stockValue; }
};

// One security held.
struct PositionRow {
    std::string code;
    std::string name;
    std::int64_t balance = 0;
    std::int64_t available = 0;
    std::int64_t frozen = 0;
    Cents cost = 0; // fees included
    Cents last = 0; // its last price
};

enum class OrderStatus : int { kOpen = 0, kFilled = 1, kCancelled = 2, kExpired = 3 };

// The stored rows of an account's days (AccountHistory), as the store keeps them.
struct OrderRow {
    std::string code;
    std::string name;
    std::int64_t qty = 0;
    std::int64_t filled = 0;
    Cents price = 0;
    Cents filledAmount = 0;
    int side = 1; // 1 a buy, 2 a sell
    std::string day;
    std::string time;
    OrderStatus status = OrderStatus::kOpen;
    std::int64_t id = 0;
};

struct TradeRow {
    std::string day;
    std::string time;
    std::string code;
    std::string name;
    int side = 1; // 1 a buy, 2 a sell
    Cents price = 0;
    std::int64_t qty = 0;
    Cents amount = 0;
};

struct FundsFlowRow {
    std::string day;
    std::string summary;
    std::string code;
    std::string name;
    std::string operation;
    std::int64_t qty = 0;
    Cents price = 0;
    Cents amount = 0;
    Cents balance = 0;
};

struct SettlementRow {
    std::string day;
    std::string code;
    std::string name;
    std::string summary;
    std::int64_t qty = 0;
    Cents price = 0;
    Cents amount = 0;
    Cents settled = 0;
    Cents commission = 0;
    Cents stampDuty = 0;
    Cents transferFee = 0;
    Cents balance = 0; // the cash after it
    std::int64_t contractNo = 0;
};

} // namespace server
