#pragma once

#include <cstdint>

// Fixed-width records of the shared tables. Every text field is zero-terminated GBK in a
// slot of the given width (terminator included); numbers stay text as the server sent
// them. Records hold no pointers, so a table is copied and zeroed as plain bytes.

namespace net {

struct PositionRecord {
    char code[8];
    char name[16];
    char balance[8];
    char available[8];
    char frozen[8];
    char profit[16];
    char costPrice[16];
    char profitRatio[16];
    char marketPrice[16];
    char marketValue[16];
};
static_assert(sizeof(PositionRecord) == 128);

struct FundsRecord {
    char cashBalance[32];
    char withdrawable[32];
    char frozenFunds[32];
    char stockValue[32];
    char availableFunds[32];
    char totalAssets[32];
    char marginFunds[32];
    char value7[32];
    char value8[32];        // buying-power multiplier used by the max-buyable formula
    char accountStatus[32]; // "0" normal, another text frozen; empty from a server that does not say
};
static_assert(sizeof(FundsRecord) == 320);

struct TradeRecord {
    char tradeDate[16];
    char tradeTime[16];
    char code[8];
    char name[32];
    char side[8]; // "买入" / "卖出" as text
    char avgPrice[16];
    char quantity[8];
    char amount[16];
};
static_assert(sizeof(TradeRecord) == 120);

struct OrderRecord {
    char code[8];
    char name[16];
    char orderQty[8];
    char filledQty[8];
    char orderPrice[16];
    char avgPrice[16];
    char side[16]; // "1" a buy, anything else a sell
    char orderTime[32];
    char status[32];     // "已撤" marks a cancelled order
    char contractNo[16]; // the server's number of the order (合同编号); empty from an older server
};
static_assert(sizeof(OrderRecord) == 168);

struct FundsFlowRecord {
    char date[24];
    char summary[32];
    char code[8];
    char name[16];
    char operation[16];
    char quantity[8];
    char avgPrice[16];
    char amount[16];
    char balance[16];
};
static_assert(sizeof(FundsFlowRecord) == 152);

struct SettlementRecord {
    char tradeDate[16];
    char code[8];
    char name[16];
    char summary[32];
    char quantity[8];
    char avgPrice[16];
    char tradeAmount[16];
    char settledAmount[16];
    char commission[16];
    char stampDuty[16];
    char transferFee[16];
    char value11[16];    // wire field 13, shown nowhere
    char contractNo[16]; // wire field 12
};
static_assert(sizeof(SettlementRecord) == 208);

// Latest five-level quote of one security, held as numbers.
struct QuoteRecord {
    char code[8];
    char name[16];
    float bidPrice[5];
    std::int32_t bidVolume[5];
    float askPrice[5];
    std::int32_t askVolume[5];
    float lastPrice;
    float prevClose;
};
static_assert(sizeof(QuoteRecord) == 112);

inline constexpr int kPositionCapacity = 64;
inline constexpr int kTodayTradeCapacity = 512;
inline constexpr int kTodayOrderCapacity = 512;
inline constexpr int kHistoryCapacity = 1024;
inline constexpr int kQuoteCapacity = 512;

} // namespace net
