// The reply parsers alone: text in, records out, without a link or shared state.
#include "net/ReplyParsers.h"
#include "wire/GbkText.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using net::FieldText;

TEST(ReplyParsersTest, TableRepliesFillSlotsInOrderAndLeaveNonRecordsZero) {
    std::array<net::TradeRecord, 3> slots{};
    net::ReadRecords("d1,t1,600000,A,s,10.00,100,1000.00|x,y|d3,t3,000001,B,s,2.00,5,10.00|d4,t4,c4|", slots);
    EXPECT_EQ(FieldText(slots[0].code), "600000");
    EXPECT_EQ(FieldText(slots[0].amount), "1000.00");
    EXPECT_TRUE(net::FieldEmpty(slots[1].tradeDate)) << "two fields are not a record";
    EXPECT_EQ(FieldText(slots[2].tradeTime), "t3");
    EXPECT_EQ(FieldText(slots[2].quantity), "5");
}

TEST(ReplyParsersTest, FundsNeedThreeFieldsAndQuotesAllTwentyFour) {
    EXPECT_FALSE(net::ReadFunds("1,2"));
    const auto funds = net::ReadFunds("1,2,3");
    ASSERT_TRUE(funds);
    EXPECT_EQ(FieldText(funds->frozenFunds), "3");
    EXPECT_TRUE(net::FieldEmpty(funds->stockValue));

    const std::string quote = "600000,A,10.32,10.00,10.31,10.30,10.29,10.28,10.27,1,2,3,4,5,"
                              "10.33,10.34,10.35,10.36,10.37,6,7,8,9,10";
    const std::string shortQuote = quote.substr(0, quote.rfind(','));
    std::vector<net::QuoteRecord> records(1); // emptied first
    net::ReadQuotes(shortQuote + "|" + quote + "|", records);
    ASSERT_EQ(records.size(), 1u);
    const net::QuoteRecord& q = records[0];
    EXPECT_EQ(FieldText(q.code), "600000");
    EXPECT_FLOAT_EQ(q.bidPrice[4], 10.27f);
    EXPECT_EQ(q.bidVolume[0], 1);
    EXPECT_FLOAT_EQ(q.askPrice[0], 10.33f);
    EXPECT_EQ(q.askVolume[4], 10);
}

} // namespace
