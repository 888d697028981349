// What protects the server from its clients: a client that stops reading, too many
// connections, and histories longer than one reply.

#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

using namespace tavix::test;
using namespace std::chrono_literals;

namespace {

// "09:00:00" plus `seconds`.
std::string ClockText(int seconds) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", 9 + seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

// A book with one short name, so a thousand order records fit one reply.
void ShortNames(server::ServerOptions& options) {
    std::ofstream(options.quotesCsv) << "0,600000,X,10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,"
                                        "10.00,10.01,10.02,10.03,10.04,300,200,1000,1000,1000\n";
}

// Resting buys of 100 at 9.50, one a second from 09:00:00.
void PlaceRestingOrders(ServerHarness& harness, const std::string& user, int count) {
    harness.OnEngine([&](server::Ledger& ledger, const server::LocalTime&) {
        server::Account& account = *ledger.FindAccount(user);
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(ledger.PlaceOrder(account, "600000", "9.50", "100", "1", ClockText(i)).Accepted());
    });
}

TEST(ServerLimitsTest, ALongHistoryKeepsItsNewest1024Records) {
    ServerHarness harness(ShortNames);
    harness.AddUser("amy", "pw", 200'000'000);
    PlaceRestingOrders(harness, "amy", 1100);
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("amy", "pw"), ",,,")[0], "0");
    const auto orders = Records(client.Request(net::kCmdTodayOrders, "start=1-1-1"));
    ASSERT_EQ(orders.size(), 1024u);
    // The 76 oldest (09:00:00 to 09:01:15) are left out; the rest go oldest first.
    EXPECT_TRUE(orders.front()[7].ends_with(" 09:01:16")) << orders.front()[7];
    EXPECT_TRUE(orders[1].at(7).ends_with(" 09:01:17")) << orders[1][7];
    EXPECT_TRUE(orders.back()[7].ends_with(" 09:18:19")) << orders.back()[7];
}

TEST(ServerLimitsTest, AClientThatStopsReadingMissesPushesAndIsDroppedPastTheCap) {
    ServerHarness harness([](server::ServerOptions& o) {
        ShortNames(o);
        o.tickMs = 20;
        // Answered at full speed: trickled at an account's answer budget, the unread answers
        // could sit in the system's buffers (up to 4 MB on Linux) for longer than the test asks.
        o.queryBytesPerSecond = std::size_t{1} << 30;
    });
    harness.AddUser("amy", "pw", 200'000'000);
    PlaceRestingOrders(harness, "amy", 900); // a reply of about 50 KB

    // Stopped for 60 ticks behind replies the socket cannot take: at most one push waits.
    // 3 MB of answers is more than the system takes off the server (1 to 2 MB), so once they
    // are all queued the socket is full and every tick finds the last push still waiting.
    // How fast the answers come (the reader thread answers them between ticks) only decides
    // when that happens, so it is watched in the server's own counts.
    constexpr int kAsked = 60; // about 3 MB
    {
        const server::Metrics& metrics = harness.Metrics();
        TestClient slow(harness.Port(), 4096);
        ASSERT_EQ(Fields(slow.Login("amy", "pw"), ",,,")[0], "0");
        slow.Send(net::kCmdQuoteSubscribe, "code=600000");
        ASSERT_TRUE(slow.Next()) << "a first push";
        const auto skippedBefore = metrics.quotePushesSkipped.load();
        for (int i = 0; i < kAsked; ++i)
            slow.Send(net::kCmdTodayOrders, "start=1-1-1");
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (metrics.quotePushesSkipped.load() == skippedBefore && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        ASSERT_GT(metrics.quotePushesSkipped.load(), skippedBefore) << "no push was ever skipped";
        const auto pushedAtFull = metrics.quotePushes.load();
        const auto skippedAtFull = metrics.quotePushesSkipped.load();
        std::this_thread::sleep_for(60 * 20ms); // the time for sixty ticks while not reading
        EXPECT_LE(metrics.quotePushes.load() - pushedAtFull, 1u) << "pushes piled up behind a client that did not read";
        EXPECT_GE(metrics.quotePushesSkipped.load() - skippedAtFull, 30u) << "ticks went by without skipping";
        // Frames leave in the order they were queued: every answer comes, and a request sent
        // after the last of them is answered after them.
        int answers = 0;
        while (answers < kAsked) {
            const auto reply = slow.Next(10s);
            ASSERT_TRUE(reply) << "after " << answers << " answers";
            answers += reply->command != net::kCmdQuoteUpdate;
        }
        slow.Send(net::kCmdFunds, "");
        for (;;) {
            const auto reply = slow.Next(10s);
            ASSERT_TRUE(reply) << "no funds answer";
            if (reply->command == net::kCmdFunds)
                break;
        }
    }

    // Answers asked for and never read: past 4 MB waiting the server hangs up, and the
    // requests that follow meet a closed connection.
    TestClient stuck(harness.Port(), 4096);
    ASSERT_EQ(Fields(stuck.Login("amy", "pw"), ",,,")[0], "0");
    bool hungUp = false;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (int i = 0; i < 2000 && !hungUp && std::chrono::steady_clock::now() < deadline; ++i) {
        hungUp = !stuck.Send(net::kCmdTodayOrders, "start=1-1-1");
        std::this_thread::sleep_for(2ms); // paced, so the server answers as the requests come
    }
    EXPECT_TRUE(hungUp);
    // Others are served as before.
    TestClient other(harness.Port());
    EXPECT_EQ(Fields(other.Login("amy", "pw"), ",,,")[0], "0");
}

TEST(ServerLimitsTest, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    ServerHarness harness([](server::ServerOptions& o) { o.maxConnections = 3; });
    harness.AddUser("amy", "pw");
    auto first = std::make_unique<TestClient>(harness.Port());
    TestClient second(harness.Port());
    TestClient third(harness.Port());
    for (TestClient* c : {first.get(), &second, &third})
        ASSERT_EQ(Fields(c->Login("amy", "pw"), ",,,")[0], "0");
    TestClient fourth(harness.Port());
    EXPECT_TRUE(fourth.WaitClosed(10s));
    EXPECT_EQ(Fields(second.Login("amy", "pw"), ",,,")[0], "0") << "the admitted ones stay";

    // A freed place is taken by the next one, once the server has seen the close.
    first.reset();
    bool admitted = false;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!admitted && std::chrono::steady_clock::now() < deadline) {
        TestClient next(harness.Port());
        admitted = Fields(next.Login("amy", "pw"), ",,,")[0] == "0";
    }
    EXPECT_TRUE(admitted);
}

} // namespace
