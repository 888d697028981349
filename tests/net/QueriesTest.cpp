#include "net/AccountQueries.h"
#include "tests/net/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <ctime>
#include <mutex>
#include <vector>

namespace tavix::test {
namespace {

// Noon on 1 March 2021 (not a leap year), local time.
std::time_t FirstOfMarch() {
    std::tm t{};
    t.tm_year = 2021 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

class QueriesTest : public LinkTest {
protected:
    // Records every request attempt, written or not.
    void ObserveRequests() {
        link->SetRequestObserver([this](int command, bool sent) {
            std::lock_guard lock(mutex_);
            attempts_.push_back({command, sent});
        });
    }
    std::vector<std::pair<int, bool>> Attempts() {
        std::lock_guard lock(mutex_);
        return attempts_;
    }
    std::vector<int> ServerCommands() {
        std::vector<int> commands;
        for (const auto& f : server.Received())
            commands.push_back(f.command);
        return commands;
    }

    std::mutex mutex_;
    std::vector<std::pair<int, bool>> attempts_;
};

TEST_F(QueriesTest, DatesCountBackFromTheInjectedClock) {
    MakeLink();
    net::AccountQueries queries(state, notifier, *link, FirstOfMarch);
    EXPECT_EQ(queries.DateText(), "2021-3-1");
    EXPECT_EQ(queries.DateText(86400), "2021-2-28");
    EXPECT_EQ(queries.DateText(604800), "2021-2-22");
}

TEST_F(QueriesTest, QueryBodiesCarryTheirStartDates) {
    link = std::make_unique<net::TradingLink>(state, notifier, QuietTimings(), FirstOfMarch);
    link->Start();
    ASSERT_TRUE(server.WaitForConnection(5s));
    ASSERT_TRUE(WaitUntil([&] { return link->Socket().Connected(); }));
    EXPECT_TRUE(link->QueryRecentFundsFlow());
    EXPECT_TRUE(link->QueryRecentSettlement());
    EXPECT_TRUE(link->QueryTodayTrades());
    EXPECT_TRUE(link->QueryTodayOrders());
    EXPECT_EQ(server.WaitForCommand(net::kCmdFundsFlow, 5s).value_or(net::Frame{}).body,
              "start=2021-2-28&curuser=u1&curpwd=p1");
    EXPECT_EQ(server.WaitForCommand(net::kCmdSettlement, 5s).value_or(net::Frame{}).body,
              "start=2021-2-22&curuser=u1&curpwd=p1");
    EXPECT_EQ(server.WaitForCommand(net::kCmdTodayTrades, 5s).value_or(net::Frame{}).body,
              "start=2021-3-1&curuser=u1&curpwd=p1");
    EXPECT_EQ(server.WaitForCommand(net::kCmdTodayOrders, 5s).value_or(net::Frame{}).body,
              "start=2021-3-1&curuser=u1&curpwd=p1");
    // Today's orders announce themselves right after the request.
    EXPECT_EQ(notifier.Messages(), std::vector<int>{net::kMsgTodayTradesStored});
}

TEST_F(QueriesTest, InitialLoadSendsItsQueriesInOrder) {
    StartLink(QuietTimings());
    state.initialLoadPending = 1;
    link->StartInitialLoad();
    ASSERT_TRUE(WaitUntil([&] { return server.Received().size() >= 5; }));
    EXPECT_EQ(ServerCommands(), (std::vector<int>{9, 11, 8, 14, 7}));
    EXPECT_EQ(state.initialLoadPending.load(), 0);
    EXPECT_TRUE(state.historyOrders.Exists());
    EXPECT_TRUE(state.historyTrades.Exists());
    EXPECT_TRUE(state.fundsFlow.Exists());
    EXPECT_TRUE(state.settlement.Exists());
    EXPECT_TRUE(notifier.WaitFor(net::kMsgTodayTradesStored, 1, 5s));
}

TEST_F(QueriesTest, InitialLoadTriesPositionsAndFundsTwiceWithoutAConnection) {
    MakeLink();
    ObserveRequests();
    state.initialLoadPending = 1;
    net::AccountQueries(state, notifier, *link).InitialLoadWorker();
    const std::vector<std::pair<int, bool>> expected = {{9, false}, {9, false},  {11, false}, {11, false},
                                                        {8, false}, {14, false}, {7, false}};
    EXPECT_EQ(Attempts(), expected);
    EXPECT_EQ(state.initialLoadPending.load(), 0);
    EXPECT_TRUE(state.settlement.Exists());
    EXPECT_EQ(notifier.Messages(), std::vector<int>{net::kMsgTodayTradesStored});
}

TEST_F(QueriesTest, RefreshAllSendsSixQueries) {
    StartLink(QuietTimings());
    link->StartRefreshAll();
    ASSERT_TRUE(WaitUntil([&] { return server.Received().size() >= 6; }));
    EXPECT_EQ(ServerCommands(), (std::vector<int>{11, 9, 8, 14, 10, 7}));
}

TEST_F(QueriesTest, RefreshAllWithTheConnectionDownWritesNothingAndNotifiesOnce) {
    MakeLink();
    ObserveRequests();
    net::AccountQueries(state, notifier, *link).RefreshAllWorker();
    const std::vector<std::pair<int, bool>> expected = {{11, false}, {9, false},  {8, false},
                                                        {14, false}, {10, false}, {7, false}};
    EXPECT_EQ(Attempts(), expected);
    EXPECT_EQ(notifier.Messages(), std::vector<int>{net::kMsgTodayTradesStored});
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(QueriesTest, StoppingTheLinkWaitsForItsWorkers) {
    MakeLink();
    std::atomic<int> done{0};
    link->SetRequestObserver([&](int command, bool) {
        if (command == net::kCmdTodayOrders)
            ++done;
    });
    for (int i = 0; i < 5; ++i)
        link->StartRefreshAll();
    link->Stop();
    EXPECT_EQ(done.load(), 5);
}

} // namespace
} // namespace tavix::test
