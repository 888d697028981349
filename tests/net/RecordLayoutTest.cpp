// Every record the server writes, read back by the link's parsers: each field position of
// the shared layouts (wire/AccountRecords.h, wire/MarketRecords.h) must land in the slot
// that these tables name, written out by hand from the records' meaning.
#include "server/market/Market.h"
#include "tests/net/LinkTestSupport.h"
#include "wire/AccountRecords.h"
#include "wire/GbkText.h"
#include "wire/MarketRecords.h"
#include "wire/RecordFields.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tavix::test {
namespace {

using net::FieldText;

template <class Record>
struct Slot {
    int field;
    std::function<std::string_view(const Record&)> read;
};

#define SLOT(field, member)                                                                                            \
    {                                                                                                                  \
        net::field, [](const auto& r) { return FieldText(r.member); }                                                  \
    }

// "f0", "f1", ...: every field tells its position.
template <int N>
net::RecordFields<N> NumberedFields() {
    net::RecordFields<N> f;
    for (int i = 0; i < N; ++i)
        f[i] = "f" + std::to_string(i);
    return f;
}

template <class Record>
void ExpectSlots(const Record& r, const std::vector<Slot<Record>>& slots, const char* what) {
    for (const Slot<Record>& s : slots)
        EXPECT_EQ(s.read(r), "f" + std::to_string(s.field)) << what << " field " << s.field;
}

class RecordLayoutTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        MakeLink();
        state.historyOrders.Create();
        state.historyTrades.Create();
        state.fundsFlow.Create();
        state.settlement.Create();
    }
};

TEST_F(RecordLayoutTest, AccountRecordsRoundTrip) {
    const std::vector<Slot<net::PositionRecord>> position = {
        SLOT(kPositionCode, code),
        SLOT(kPositionName, name),
        SLOT(kPositionBalance, balance),
        SLOT(kPositionAvailable, available),
        SLOT(kPositionFrozen, frozen),
        SLOT(kPositionProfit, profit),
        SLOT(kPositionCostPrice, costPrice),
        SLOT(kPositionProfitRatio, profitRatio),
        SLOT(kPositionMarketPrice, marketPrice),
        SLOT(kPositionMarketValue, marketValue),
    };
    ASSERT_EQ(position.size(), std::size_t{net::kPositionFieldCount});
    link->Dispatch(net::kCmdPositions, NumberedFields<net::kPositionFieldCount>().Record());
    ExpectSlots(state.positions.At(0), position, "position");

    const std::vector<Slot<net::FundsRecord>> funds = {
        SLOT(kFundsCashBalance, cashBalance),  SLOT(kFundsWithdrawable, withdrawable),
        SLOT(kFundsFrozen, frozenFunds),       SLOT(kFundsStockValue, stockValue),
        SLOT(kFundsAvailable, availableFunds), SLOT(kFundsTotalAssets, totalAssets),
        SLOT(kFundsMargin, marginFunds),       SLOT(kFundsValue7, value7),
        SLOT(kFundsBuyingPower, value8),       SLOT(kFundsAccountStatus, accountStatus),
    };
    ASSERT_EQ(funds.size(), std::size_t{net::kFundsFieldCount});
    std::string fundsBody;
    NumberedFields<net::kFundsFieldCount>().AppendFields(fundsBody);
    link->Dispatch(net::kCmdFunds, fundsBody);
    ExpectSlots(state.funds.Get(), funds, "funds");

    const std::vector<Slot<net::OrderRecord>> order = {
        SLOT(kOrderCode, code),         SLOT(kOrderName, name),
        SLOT(kOrderQuantity, orderQty), SLOT(kOrderFilled, filledQty),
        SLOT(kOrderPrice, orderPrice),  SLOT(kOrderAvgPrice, avgPrice),
        SLOT(kOrderSide, side),         SLOT(kOrderTime, orderTime),
        SLOT(kOrderStatus, status),     SLOT(kOrderContractNo, contractNo),
    };
    ASSERT_EQ(order.size(), std::size_t{net::kOrderFieldCount});
    const std::string orders = NumberedFields<net::kOrderFieldCount>().Record();
    link->Dispatch(net::kCmdTodayOrders, orders);
    link->Dispatch(net::kCmdHistoryOrders, orders);
    ExpectSlots(state.todayOrders.At(0), order, "today's order");
    ExpectSlots(state.historyOrders.At(0), order, "history order");

    const std::vector<Slot<net::TradeRecord>> trade = {
        SLOT(kTradeDate, tradeDate),    SLOT(kTradeTime, tradeTime), SLOT(kTradeCode, code),
        SLOT(kTradeName, name),         SLOT(kTradeSide, side),      SLOT(kTradeAvgPrice, avgPrice),
        SLOT(kTradeQuantity, quantity), SLOT(kTradeAmount, amount),
    };
    ASSERT_EQ(trade.size(), std::size_t{net::kTradeFieldCount});
    const std::string trades = NumberedFields<net::kTradeFieldCount>().Record();
    link->Dispatch(net::kCmdTodayTrades, trades);
    link->Dispatch(net::kCmdHistoryTrades, trades);
    ExpectSlots(state.todayTrades.At(0), trade, "today's trade");
    ExpectSlots(state.historyTrades.At(0), trade, "history trade");

    const std::vector<Slot<net::FundsFlowRecord>> flow = {
        SLOT(kFlowDate, date),         SLOT(kFlowSummary, summary),     SLOT(kFlowCode, code),
        SLOT(kFlowName, name),         SLOT(kFlowOperation, operation), SLOT(kFlowQuantity, quantity),
        SLOT(kFlowAvgPrice, avgPrice), SLOT(kFlowAmount, amount),       SLOT(kFlowBalance, balance),
    };
    ASSERT_EQ(flow.size(), std::size_t{net::kFlowFieldCount});
    link->Dispatch(net::kCmdFundsFlow, NumberedFields<net::kFlowFieldCount>().Record());
    ExpectSlots(state.fundsFlow.At(0), flow, "funds flow");

    // The other fees are the one field the client does not keep.
    const std::vector<Slot<net::SettlementRecord>> settlement = {
        SLOT(kSettlementDate, tradeDate),
        SLOT(kSettlementCode, code),
        SLOT(kSettlementName, name),
        SLOT(kSettlementSummary, summary),
        SLOT(kSettlementQuantity, quantity),
        SLOT(kSettlementAvgPrice, avgPrice),
        SLOT(kSettlementTradeAmount, tradeAmount),
        SLOT(kSettlementSettledAmount, settledAmount),
        SLOT(kSettlementCommission, commission),
        SLOT(kSettlementStampDuty, stampDuty),
        SLOT(kSettlementTransferFee, transferFee),
        SLOT(kSettlementContractNo, contractNo),
        SLOT(kSettlementHolder, value11),
    };
    ASSERT_EQ(settlement.size() + 1, std::size_t{net::kSettlementFieldCount});
    link->Dispatch(net::kCmdSettlement, NumberedFields<net::kSettlementFieldCount>().Record());
    ExpectSlots(state.settlement.At(0), settlement, "settlement");
}

// The quote push as the server's market writes it.
TEST_F(RecordLayoutTest, QuotesRoundTripFromTheMarket) {
    server::Quote q;
    q.code = "600000";
    q.name = "PFYH";
    q.last = 1'032;
    q.prevClose = 1'000;
    for (int level = 0; level < 5; ++level) {
        const auto i = static_cast<std::size_t>(level);
        q.bids[i] = {1'031 - level, 100 * (level + 1)};
        q.asks[i] = {1'033 + level, 1'000 * (level + 1)};
    }
    link->Dispatch(net::kCmdQuoteUpdate, server::Market::RecordText(q));
    net::QuoteRecord quote{};
    ASSERT_TRUE(state.quotes.FindQuote("600000", quote));
    const net::QuoteRecord* r = &quote;
    EXPECT_EQ(FieldText(r->code), "600000");
    EXPECT_EQ(FieldText(r->name), "PFYH");
    EXPECT_FLOAT_EQ(r->lastPrice, 10.32f);
    EXPECT_FLOAT_EQ(r->prevClose, 10.00f);
    const float bids[] = {10.31f, 10.30f, 10.29f, 10.28f, 10.27f};
    const float asks[] = {10.33f, 10.34f, 10.35f, 10.36f, 10.37f};
    for (std::size_t level = 0; level < 5; ++level) {
        EXPECT_FLOAT_EQ(r->bidPrice[level], bids[level]) << level;
        EXPECT_EQ(r->bidVolume[level], 100 * static_cast<int>(level + 1)) << level;
        EXPECT_FLOAT_EQ(r->askPrice[level], asks[level]) << level;
        EXPECT_EQ(r->askVolume[level], 1'000 * static_cast<int>(level + 1)) << level;
    }
}

} // namespace
} // namespace tavix::test
