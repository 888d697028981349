// What protects the server from its clients: a client that stops reading, too many
// connections, and histories longer than one reply.

#include "tests/server/Records.h"
#include "tests/server/ServerHarness.h"
#include "tests/server/TestClient.h"
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
            ASSERT_TRUE(ledger.PlaceOrder(account, "600000", "9.50", "100", "1", ClockText(i)).starts_with("0,"));
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
    });
    harness.AddUser("amy", "pw", 200'000'000);
    PlaceRestingOrders(harness, "amy", 900); // a reply of about 50 KB

    // Stopped for 60 ticks behind replies the socket cannot take: at most one push waits.
    // The system takes 1 to 2 MB of unsent data off the server (1 MB all went to it, 6 MB
    // overflowed the server's 4 MB); 3 MB leaves 1 to 2 MB waiting in the server.
    constexpr int kAsked = 60; // about 3 MB
    {
        TestClient slow(harness.Port(), 4096);
        ASSERT_EQ(Fields(slow.Login("amy", "pw"), ",,,")[0], "0");
        slow.Send(net::kCmdQuoteSubscribe, "code=600000");
        ASSERT_TRUE(slow.Next()) << "a first push";
        for (int i = 0; i < kAsked; ++i)
            slow.Send(net::kCmdTodayOrders, "start=1-1-1");
        std::this_thread::sleep_for(60 * 20ms); // the time for sixty ticks while not reading
        // Frames leave in the order they were queued: every push queued during the stall is
        // on the wire before the answer to a request sent after the last of the answers.
        // Ticks go on while the backlog is read; their pushes are due, not piled up.
        const auto draining = std::chrono::steady_clock::now();
        int answers = 0;
        int pushes = 0;
        while (answers < kAsked) {
            const auto reply = slow.Next(10s);
            ASSERT_TRUE(reply) << "after " << answers << " answers";
            (reply->command == net::kCmdQuoteUpdate ? pushes : answers) += 1;
        }
        slow.Send(net::kCmdFunds, "");
        for (;;) {
            const auto reply = slow.Next(10s);
            ASSERT_TRUE(reply) << "no funds answer";
            if (reply->command == net::kCmdFunds)
                break;
            pushes += reply->command == net::kCmdQuoteUpdate;
        }
        const auto drained =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - draining);
        EXPECT_LE(pushes, 10 + drained / 20ms) << "pushes piled up behind a client that did not read (60 ticks); "
                                               << drained.count() << " ms to read the backlog";
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
