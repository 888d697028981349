// The answers the engine writes from the ledger's figures, against records written out by
// hand: the texts of accepted and refused orders, the funds and positions records, and the
// stored lists oldest first, the newest that fit one frame.

#include "server/engine/Replies.h"
#include "server/ledger/Ledger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using server::OrderRefusal;
using server::OrderRefusalReason;
using server::OrderResult;

std::string Refusal(OrderRefusal refusal) {
    return server::OrderReply(OrderResult{.refusal = std::move(refusal)});
}

TEST(RepliesTest, AnAcceptedOrderSaysItsNumberAndWhatFilledAtOnce) {
    EXPECT_EQ(server::OrderReply({.id = 7}), "0,委托已受理，合同编号7");
    EXPECT_EQ(server::OrderReply({.id = 8, .filled = 200}), "0,委托已受理，合同编号8，已成交200股");
    EXPECT_EQ(server::OrderReply({.id = 9, .filled = 300, .filledInFull = true}, "，9:30开始撮合"),
              "0,委托已受理，合同编号9，已全部成交，9:30开始撮合");
    // The note follows accepted orders only.
    EXPECT_EQ(server::OrderReply({.refusal = OrderRefusal{.reason = OrderRefusalReason::kBadSide}}, "，9:30开始撮合"),
              "1,买卖方向无效");
}

TEST(RepliesTest, ARefusalNamesItsFigures) {
    using enum OrderRefusalReason;
    EXPECT_EQ(Refusal({.reason = kSharesShort, .count = 0, .boughtToday = 300}),
              "1,可卖数量不足（可用0股），今日买入的300股下一交易日起才能卖出");
    EXPECT_EQ(Refusal({.reason = kSharesShort, .count = 100}), "1,可卖数量不足（可用100股）");
    EXPECT_EQ(Refusal({.reason = kOutsidePriceCage, .reference = 1000, .sell = false}),
              "1,委托价格超出价格笼子：买入价格不得高于卖一价10.00元的102%或高出10个价位");
    EXPECT_EQ(Refusal({.reason = kOutsidePriceCage, .reference = 2050, .sell = true, .growthBoard = true}),
              "1,委托价格超出价格笼子：卖出价格不得低于买一价20.50元的98%");
    EXPECT_EQ(Refusal({.reason = kFundsShort, .needed = 500'505, .available = 1'234}),
              "1,可用资金不足（需要5005.05元，可用12.34元）");
    EXPECT_EQ(Refusal({.reason = kOutsidePriceLimits, .low = 900, .high = 1100}),
              "1,委托价格超出涨跌停限制（跌停9.00元，涨停11.00元）");
    EXPECT_EQ(Refusal({.reason = kNoSuchCode, .code = "123456"}), "1,证券代码123456不存在");
    EXPECT_EQ(Refusal({.reason = kAboveMaximum, .count = 1'000'000}), "1,委托数量超过单笔上限1000000股");
    EXPECT_EQ(Refusal({.reason = kTooManyOpenOrders, .count = 500}), "1,未成交委托已达500笔上限，请先撤单再委托");
}

TEST(RepliesTest, FundsPositionsAndLoginCarryTheLedgersFigures) {
    // 1,000,000.00 in cash, 5,005.05 of it held by open orders, 5,000.00 in shares.
    EXPECT_EQ(server::FundsReply({.cash = 100'000'000, .frozen = 500'505, .stockValue = 500'000, .status = 1}),
              "994994.95,994994.95,5005.05,5000.00,994994.95,1005000.00,0.00,0,100,1");
    // 500 at 10.02 is worth 5,010.00; they cost 5,007.05: 2.95 up, 0.06 %, 10.014 a share.
    const std::vector<server::PositionRow> held{{"600000", "浦发银行", 500, 300, 100, 500'705, 1002},
                                                {"000001", "平安银行", 100, 100, 0, 120'000, 1150}};
    EXPECT_EQ(server::PositionsReply(held), "600000,浦发银行,500,300,100,2.95,10.014,0.06,10.02,5010.00|"
                                            "000001,平安银行,100,100,0,-50.00,12.000,-4.17,11.50,1150.00|");

    server::Account ann;
    ann.name = "ann";
    ann.shAccount = "A000001";
    ann.szAccount = "0000001";
    ann.cash = 100'000'000;
    ann.frozen = 500'505;
    EXPECT_EQ(server::LoginReply(ann, "欢迎", "20210223", "u"),
              "0,,,欢迎,,,994994.95,,,20210223,,,A000001:0000001,,,0,,,ann,,,u");
}

TEST(RepliesTest, StoredListsGoOldestFirstTheNewestThatFitOneFrame) {
    using server::OrderStatus;
    const std::vector<server::OrderRow> newestFirst{
        {"600000", "X", 100, 0, 950, 0, 2, "2026-03-04", "10:01:00", OrderStatus::kCancelled, 2},
        {"600000", "X", 1000, 500, 1001, 500'200, 1, "2026-03-04", "10:00:00", OrderStatus::kOpen, 1}};
    EXPECT_EQ(server::OrdersReply(newestFirst), "600000,X,1000,500,10.01,10.00,1,2026-03-04 10:00:00,部分成交,1|"
                                                "600000,X,100,0,9.50,0.00,2,2026-03-04 10:01:00,已撤,2|");

    // 1,000 trades of 89 bytes: a frame of 64,000 bytes holds the newest 719.
    const std::string record = "2026-03-04,10:00:00,600000,浦发银行浦发银行浦发银行,卖出,10.00,100,1000.00|";
    std::vector<server::TradeRow> trades(
        1000, {"2026-03-04", "10:00:00", "600000", "浦发银行浦发银行浦发银行", 2, 1000, 100, 100'000});
    trades.front().time = "10:59:59"; // the newest
    const std::string reply = server::TradesReply(trades);
    ASSERT_EQ(record.size(), 89u);
    EXPECT_EQ(reply.size(), 719u * 89u);
    EXPECT_TRUE(reply.starts_with(record));
    EXPECT_TRUE(reply.ends_with("2026-03-04,10:59:59,600000,浦发银行浦发银行浦发银行,卖出,10.00,100,1000.00|"))
        << "the newest goes last";

    // A settlement names the holder code of its security's exchange.
    const std::vector<server::SettlementRow> settled{
        {"2026-03-04", "000001", "Y", "证券买入", 100, 1150, 115'000, -115'502, 500, 0, 2, 99'884'498, 4},
        {"2026-03-04", "600000", "X", "证券卖出", 100, 1000, 100'000, 99'448, 500, 50, 2, 99'999'448, 3}};
    EXPECT_EQ(server::SettlementReply(settled, "A000001", "0000001"),
              "2026-03-04,600000,X,证券卖出,100,10.00,1000.00,994.48,5.00,0.50,0.02,999994.48,3,A000001|"
              "2026-03-04,000001,Y,证券买入,100,11.50,1150.00,-1155.02,5.00,0.00,0.02,998844.98,4,0000001|");
}

} // namespace
