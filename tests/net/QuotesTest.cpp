#include "tests/net/LinkTestSupport.h"
#include "wire/GbkText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace tavix::test {
namespace {

using net::FieldText;

// One update record: code, name, last, previous close, 5 bid prices, 5 bid volumes, 5 ask
// prices, 5 ask volumes.
std::string QuoteText(const std::string& code, const std::string& last = "10.32") {
    return code + ",N" + code + "," + last + ",10.00,10.31,10.30,10.29,10.28,10.27,100,200,300,400,500," +
           "10.33,10.34,10.35,10.36,10.37,600,700,800,900,1000";
}

TEST(QuoteCodesTest, AddsWholeCodesOnce) {
    net::QuoteCodes codes;
    EXPECT_EQ(codes.Add("600000,000001"), "600000,000001");
    EXPECT_EQ(codes.Add("600000"), "600000,000001");
    // A prefix of a listed code is a code of its own.
    EXPECT_EQ(codes.Add("60000"), "600000,000001,60000");
    EXPECT_EQ(codes.Add("00000,000001,600001"), "600000,000001,60000,00000,600001");
    // Empty pieces add no empty codes.
    EXPECT_EQ(codes.Add(",600002,,"), "600000,000001,60000,00000,600001,600002");
    EXPECT_TRUE(codes.ReplaceIfDifferent("000002"));
    EXPECT_FALSE(codes.ReplaceIfDifferent("000002"));
    EXPECT_EQ(codes.Get(), "000002");
}

class QuotesTest : public LinkTest {};

TEST_F(QuotesTest, SubscriptionSendsTheWholeListEachTime) {
    StartLink(QuietTimings());
    link->UpdateQuoteSubscription("600000,000001");
    auto frame = server.WaitForCommand(net::kCmdQuoteSubscribe, 5s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->body, "code=600000,000001&curuser=u1&curpwd=p1");
    link->UpdateQuoteSubscription("600000");
    frame = server.WaitForCommand(net::kCmdQuoteSubscribe, 5s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->body, "code=600000,000001&curuser=u1&curpwd=p1");

    // The order forms' list replaces the subscription only when it differs.
    EXPECT_FALSE(link->ReplaceQuoteSubscription("600000,000001"));
    EXPECT_TRUE(link->ReplaceQuoteSubscription("000002,600000"));
    frame = server.WaitForCommand(net::kCmdQuoteSubscribe, 5s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->body, "code=000002,600000&curuser=u1&curpwd=p1");
    EXPECT_EQ(server.CountOf(net::kCmdQuoteSubscribe), 3);

    // A view that only makes sure its codes are quoted sends nothing when they are.
    EXPECT_FALSE(link->AddQuoteSubscription("600000,000002"));
    EXPECT_TRUE(link->AddQuoteSubscription("600000,300059"));
    frame = server.WaitForCommand(net::kCmdQuoteSubscribe, 5s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->body, "code=000002,600000,300059&curuser=u1&curpwd=p1");
    EXPECT_EQ(server.CountOf(net::kCmdQuoteSubscribe), 4);
}

TEST_F(QuotesTest, UpdatesFillSlotsInOrderAndOverwriteInPlace) {
    MakeLink();
    link->Dispatch(net::kCmdQuoteUpdate, QuoteText("600000") + "|" + QuoteText("000001") + "|");
    EXPECT_EQ(state.quotes.Used(), 2);
    net::QuoteRecord q{};
    ASSERT_TRUE(state.quotes.FindQuote("000001", q));
    EXPECT_EQ(FieldText(q.code), "000001");
    EXPECT_EQ(FieldText(q.name), "N000001");
    EXPECT_FLOAT_EQ(q.lastPrice, 10.32f);
    EXPECT_FLOAT_EQ(q.prevClose, 10.00f);
    EXPECT_FLOAT_EQ(q.bidPrice[0], 10.31f);
    EXPECT_FLOAT_EQ(q.bidPrice[4], 10.27f);
    EXPECT_EQ(q.bidVolume[0], 100);
    EXPECT_EQ(q.bidVolume[4], 500);
    EXPECT_FLOAT_EQ(q.askPrice[0], 10.33f);
    EXPECT_FLOAT_EQ(q.askPrice[4], 10.37f);
    EXPECT_EQ(q.askVolume[0], 600);
    EXPECT_EQ(q.askVolume[4], 1000);

    link->Dispatch(net::kCmdQuoteUpdate, QuoteText("600000", "11.00") + "|" + QuoteText("600001"));
    EXPECT_EQ(state.quotes.Used(), 3);
    ASSERT_TRUE(state.quotes.FindQuote("600000", q));
    EXPECT_FLOAT_EQ(q.lastPrice, 11.00f);
    EXPECT_TRUE(state.quotes.FindQuote("600001", q));
    // A prefix is not a match.
    EXPECT_FALSE(state.quotes.FindQuote("60000", q));
    EXPECT_EQ(FieldText(q.code), "600001");
}

TEST_F(QuotesTest, EachCodeKeepsOneSlotWhateverTheOrderOfUpdates) {
    MakeLink();
    link->Dispatch(net::kCmdQuoteUpdate, QuoteText("600000") + "|" + QuoteText("600001") + "|" + QuoteText("600002"));
    link->Dispatch(net::kCmdQuoteUpdate,
                   QuoteText("600002", "2") + "|" + QuoteText("600000", "0") + "|" + QuoteText("600001", "1"));
    link->Dispatch(net::kCmdQuoteUpdate,
                   QuoteText("600001", "11") + "|" + QuoteText("600003", "3") + "|" + QuoteText("600001", "21"));
    EXPECT_EQ(state.quotes.Used(), 4);
    const char* codes[] = {"600000", "600001", "600002", "600003"};
    const float last[] = {0.0f, 21.0f, 2.0f, 3.0f};
    for (int i = 0; i < 4; ++i) {
        net::QuoteRecord q{};
        ASSERT_TRUE(state.quotes.FindQuote(codes[i], q));
        EXPECT_EQ(q.lastPrice, last[i]) << codes[i];
    }
}

TEST_F(QuotesTest, ShortOrGarbledPiecesAndMissingMainWindow) {
    MakeLink();
    std::string short23 = QuoteText("600000");
    short23.erase(short23.rfind(','));
    link->Dispatch(net::kCmdQuoteUpdate, short23 + "||x,y");
    EXPECT_EQ(state.quotes.Used(), 0);

    link->Dispatch(net::kCmdQuoteUpdate, "600002,N,abc,,x,10.30,10.29,10.28,10.27,1e3,-5,z,400,99999999999,"
                                         "10.33,10.34,10.35,10.36,10.37,600,700,800,900,1000,extra");
    net::QuoteRecord q{};
    ASSERT_TRUE(state.quotes.FindQuote("600002", q));
    EXPECT_EQ(q.lastPrice, 0.0f);
    EXPECT_EQ(q.prevClose, 0.0f);
    EXPECT_EQ(q.bidPrice[0], 0.0f);
    EXPECT_EQ(q.bidVolume[0], 1);
    EXPECT_EQ(q.bidVolume[1], -5);
    EXPECT_EQ(q.bidVolume[2], 0);
    EXPECT_EQ(q.bidVolume[4], 2147483647);

    notifier.SetMainFrame(false);
    link->Dispatch(net::kCmdQuoteUpdate, QuoteText("600003"));
    EXPECT_FALSE(state.quotes.FindQuote("600003", q));
}

TEST_F(QuotesTest, FindQuoteLeavesTheDestinationAloneWhenNothingMatches) {
    MakeLink();
    link->Dispatch(net::kCmdQuoteUpdate, QuoteText("600000"));
    net::QuoteRecord q{};
    q.lastPrice = 42.0f;
    EXPECT_FALSE(state.quotes.FindQuote("000001", q));
    EXPECT_FALSE(state.quotes.FindQuote("123456789", q));
    EXPECT_EQ(q.lastPrice, 42.0f);
    // An empty code finds the first empty slot: a zero record.
    EXPECT_TRUE(state.quotes.FindQuote("", q));
    EXPECT_EQ(q.lastPrice, 0.0f);
    EXPECT_TRUE(net::FieldEmpty(q.code));
}

TEST_F(QuotesTest, AFullTableDropsNewCodesButStillUpdatesKnownOnes) {
    MakeLink();
    std::string body;
    for (int i = 0; i < net::kQuoteCapacity; ++i)
        body += QuoteText(std::to_string(100000 + i)) + "|";
    link->Dispatch(net::kCmdQuoteUpdate, body);
    EXPECT_EQ(state.quotes.Used(), net::kQuoteCapacity);
    link->Dispatch(net::kCmdQuoteUpdate, QuoteText("999999") + "|" + QuoteText("100511", "12.5"));
    net::QuoteRecord q{};
    EXPECT_FALSE(state.quotes.FindQuote("999999", q));
    ASSERT_TRUE(state.quotes.FindQuote("100511", q));
    EXPECT_FLOAT_EQ(q.lastPrice, 12.5f);
    EXPECT_FALSE(state.quotes.FindQuote("", q));
}

TEST_F(QuotesTest, AFullTableUpdatedInAnyOrderKeepsEachCodeInItsSlot) {
    MakeLink();
    std::string body;
    for (int i = 0; i < net::kQuoteCapacity; ++i)
        body += QuoteText(std::to_string(100000 + i)) + "|";
    link->Dispatch(net::kCmdQuoteUpdate, body);
    // Backwards, each code with a price of its own: 100511 gets 0.01, 100000 gets 5.12.
    body.clear();
    for (int i = net::kQuoteCapacity - 1; i >= 0; --i) {
        const int cents = net::kQuoteCapacity - i;
        char price[16];
        std::snprintf(price, sizeof price, "%d.%02d", cents / 100, cents % 100);
        body += QuoteText(std::to_string(100000 + i), price) + "|";
    }
    link->Dispatch(net::kCmdQuoteUpdate, body);
    EXPECT_EQ(state.quotes.Used(), net::kQuoteCapacity);
    net::QuoteRecord q{};
    ASSERT_TRUE(state.quotes.FindQuote("100511", q));
    EXPECT_EQ(q.lastPrice, 0.01f);
    ASSERT_TRUE(state.quotes.FindQuote("100000", q));
    EXPECT_EQ(q.lastPrice, 5.12f);
    ASSERT_TRUE(state.quotes.FindQuote("100300", q));
    EXPECT_EQ(q.lastPrice, 2.12f);
    EXPECT_STREQ(q.code, "100300");
}

TEST_F(QuotesTest, PricesReadAsTheGeneralReaderReadsThem) {
    MakeLink();
    // Last, previous close and the five bid prices of one record, in the forms a price may
    // take; the values expected are worked out by hand.
    const char* prices[] = {"0010.010", "-0.5", ".5", "1.", "12.5abc", "1.5e2", " 7.25"};
    const float expected[] = {10.01f, -0.5f, 0.5f, 1.0f, 12.5f, 150.0f, 7.25f};
    std::string record = "600000,N";
    for (const char* p : prices)
        record += std::string(",") + p;
    record += ",100,200,300,400,500,+3,1234567890.1234567,99999999999999999999,,x,600,700,800,900,1000";
    link->Dispatch(net::kCmdQuoteUpdate, record);
    net::QuoteRecord q{};
    ASSERT_TRUE(state.quotes.FindQuote("600000", q));
    EXPECT_EQ(q.lastPrice, expected[0]);
    EXPECT_EQ(q.prevClose, expected[1]);
    for (int level = 0; level < 5; ++level)
        EXPECT_EQ(q.bidPrice[level], expected[2 + level]) << prices[2 + level];
    EXPECT_EQ(q.askPrice[0], 3.0f);
    EXPECT_EQ(q.askPrice[1], 1234567890.1234567f) << "more digits than a double holds exactly";
    EXPECT_EQ(q.askPrice[2], 1e20f);
    EXPECT_EQ(q.askPrice[3], 0.0f);
    EXPECT_EQ(q.askPrice[4], 0.0f);
}

TEST_F(QuotesTest, AnUpdateIsStoredWholeAtOneMoment) {
    MakeLink();
    std::string body;
    for (int i = 0; i < 200; ++i)
        body += QuoteText(std::to_string(100000 + i)) + "|";
    link->Dispatch(net::kCmdQuoteUpdate, body);
    net::QuoteRecord q{};
    std::chrono::steady_clock::time_point first;
    std::chrono::steady_clock::time_point last;
    ASSERT_TRUE(state.quotes.FindQuote("100000", q, first));
    ASSERT_TRUE(state.quotes.FindQuote("100199", q, last));
    EXPECT_EQ(first, last) << "a reader could see half an update";
}

TEST_F(QuotesTest, TheMarketsStateIsKeptUntilTheNextAcceptedLogin) {
    StartLink(QuietTimings());
    EXPECT_EQ(link->Status().marketPhase, "");
    const std::string closed = "\xd0\xdd\xca\xd0"; // GBK, as it comes off the wire
    server.Send(net::kCmdMarketPhase, closed);
    EXPECT_TRUE(WaitUntil([&] { return link->Status().marketPhase == closed; }));
    // A refused login leaves it; an accepted one waits for the server to tell it anew.
    server.Send(net::kCmdLogin, "1,,,wrong password");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));
    EXPECT_EQ(link->Status().marketPhase, closed);
    server.Send(net::kCmdLogin, "0,,,ok");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 2, 5s));
    EXPECT_EQ(link->Status().marketPhase, "");
    // A runaway text is cut to 24 bytes, before a character that would straddle the cut.
    std::string longText = "a";
    for (int i = 0; i < 20; ++i)
        longText += closed;
    server.Send(net::kCmdMarketPhase, longText);
    EXPECT_TRUE(WaitUntil([&] {
        return link->Status().marketPhase == "a" + closed + closed + closed + closed + closed + closed.substr(0, 2);
    })) << link->Status().marketPhase.size();
}

TEST_F(QuotesTest, UpdatesArriveOverTheWire) {
    StartLink(QuietTimings());
    server.Send(net::kCmdQuoteUpdate, QuoteText("600000") + "|");
    net::QuoteRecord q{};
    EXPECT_TRUE(WaitUntil([&] { return state.quotes.FindQuote("600000", q); }));
    EXPECT_EQ(q.askVolume[4], 1000);
    EXPECT_TRUE(notifier.Events().empty());
}

} // namespace
} // namespace tavix::test
