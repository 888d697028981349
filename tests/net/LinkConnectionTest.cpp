#include "tests/net/LinkTestSupport.h"
#include "tests/support/RefusingPort.h"
#include "wire/Frame.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace tavix::test {
namespace {

using Clock = std::chrono::steady_clock;

// The link starts counting silence when its connect completes, which may be a little before
// the server thread gets round to accepting: lower bounds measured on the server allow this.
constexpr auto kAcceptSlack = 50ms;

const std::string kRelogin = "user_name=u1&pwd=p1&curuser=u1&curpwd=p1";

class LinkConnectionTest : public LinkTest {
protected:
    // The frames that the link sent on connection `connection` (1 = the first).
    std::vector<net::Frame> FramesOn(int connection) {
        std::vector<net::Frame> frames;
        for (const auto& e : server.ReceivedLog())
            if (e.connection == connection)
                frames.push_back(e.frame);
        return frames;
    }

    // Waits for the `connection`-th connection and checks the re-login and re-subscription on it.
    void ExpectReconnected(int connection, const std::string& codes) {
        ASSERT_TRUE(server.WaitForConnectionCount(connection, 5s));
        ASSERT_TRUE(WaitUntil([&] { return FramesOn(connection).size() >= (codes.empty() ? 1u : 2u); }));
        const auto frames = FramesOn(connection);
        EXPECT_EQ(frames[0].command, net::kCmdLogin);
        EXPECT_EQ(frames[0].body, kRelogin);
        if (!codes.empty()) {
            EXPECT_EQ(frames[1].command, net::kCmdQuoteSubscribe);
            EXPECT_EQ(frames[1].body, "code=" + codes + "&curuser=u1&curpwd=p1");
        }
    }
};

TEST_F(LinkConnectionTest, RequestsFailBeforeTheFirstConnection) {
    MakeLink();
    EXPECT_FALSE(link->SendRequest(net::kCmdPositions, ""));
    EXPECT_FALSE(link->QueryPositions());
    EXPECT_FALSE(link->QueryFunds());
    // The dated queries report success whatever happened to the request.
    EXPECT_TRUE(link->QueryTodayTrades());
    EXPECT_EQ(server.ConnectionCount(), 0);

    // A port that refuses connections (held, so nobody else takes it meanwhile): sends keep failing.
    const RefusingPort deadPort;
    ASSERT_NE(deadPort.Port(), 0);
    state.port = deadPort.Port();
    link = std::make_unique<net::TradingLink>(state, notifier, FastTimings());
    link->Start();
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(link->Socket().Connected());
    EXPECT_FALSE(link->SendRequest(net::kCmdFunds, ""));
}

TEST_F(LinkConnectionTest, RequestsCarryTheCurrentCredentials) {
    StartLink(QuietTimings());
    EXPECT_TRUE(link->QueryPositions());
    auto frame = server.WaitForCommand(net::kCmdPositions, 5s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->body, "curuser=u1&curpwd=p1");
    state.credentials.Set("u2", "");
    EXPECT_TRUE(link->SendRequest(net::kCmdCancelOne, "code=600000&num=100&time=9:30"));
    frame = server.WaitForCommand(net::kCmdCancelOne, 5s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->body, "code=600000&num=100&time=9:30&curuser=u2&curpwd=");
}

TEST_F(LinkConnectionTest, FramesAreAssembledFromPiecesAndSplitFromOneSegment) {
    StartLink(QuietTimings());
    const std::string login = net::FormatFrame(net::kCmdLogin, "0,,,welcome,,,1000.00");
    server.SendRaw(login.substr(0, 5));
    std::this_thread::sleep_for(20ms);
    server.SendRaw(login.substr(5, 9));
    std::this_thread::sleep_for(20ms);
    server.SendRaw(login.substr(14));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));

    server.SendRaw(net::FormatFrame(net::kCmdOrder, "0,accepted") + net::FormatFrame(net::kCmdCancelAllBuys, "0,2") +
                   net::FormatFrame(net::kCmdChangePassword, "0"));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgPasswordReply, 1, 5s));

    // Ignored commands, then an 11-byte frame, which is dispatched with an empty body.
    server.SendRaw(net::FormatFrame(0, "x") + net::FormatFrame(net::kCmdQuoteSubscribe, "y") +
                   net::FormatFrame(net::kCmdHeartbeat, "z") + net::FormatFrame(net::kCmdLogin, ""));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 2, 5s));

    const auto events = notifier.Events();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].body, "0,,,welcome,,,1000.00");
    EXPECT_EQ(events[1].message, net::kMsgOrderReply);
    EXPECT_EQ(events[1].body, "0,accepted");
    EXPECT_EQ(events[2].message, net::kMsgCancelReply);
    EXPECT_EQ(events[2].body, "0,2");
    EXPECT_EQ(events[3].body, "0");
    EXPECT_EQ(events[4].message, net::kMsgLoginReply);
    EXPECT_EQ(events[4].body, "");
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST_F(LinkConnectionTest, ABurstOfFramesArrivesWholeAndInOrder) {
    StartLink(QuietTimings());
    // Several hundred kilobytes in one write: frames straddle every read the link makes.
    constexpr int kFrames = 5000;
    std::string burst;
    for (int i = 0; i < kFrames; ++i)
        burst +=
            net::FormatFrame(net::kCmdLogin, std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), '.'));
    server.SendRaw(burst);
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, kFrames, 10s));
    const auto events = notifier.Events();
    ASSERT_EQ(events.size(), static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i)
        ASSERT_EQ(events[static_cast<std::size_t>(i)].body,
                  std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), '.'));
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST_F(LinkConnectionTest, AnswersForTheMainWindowAreDroppedWithoutOne) {
    notifier.SetMainFrame(false);
    StartLink(QuietTimings());
    server.SendRaw(net::FormatFrame(net::kCmdOrder, "0,ok") + net::FormatFrame(net::kCmdChangePassword, "0") +
                   net::FormatFrame(net::kCmdLogin, "1,,,bad password"));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));
    EXPECT_EQ(notifier.Messages(), std::vector<int>{net::kMsgLoginReply});
}

TEST_F(LinkConnectionTest, ABodyEndsAtAZeroByte) {
    StartLink(QuietTimings());
    server.SendRaw(net::FormatFrame(net::kCmdLogin, std::string("ab\0cd", 5)));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));
    EXPECT_EQ(notifier.Events()[0].body, "ab");
}

TEST_F(LinkConnectionTest, AGapLongerThanOneWaitAbandonsTheFrame) {
    state.quoteCodes.Set("600000");
    StartLink(QuietTimings());
    const std::string frame = net::FormatFrame(net::kCmdLogin, "half of a login answer");
    server.SendRaw(frame.substr(0, 15));
    std::this_thread::sleep_for(3 * QuietTimings().receiveWait);
    // The rest reads as the start of a new frame: not a length, so the link reconnects.
    server.SendRaw(frame.substr(15));
    ExpectReconnected(2, "600000");
    EXPECT_EQ(notifier.CountOf(net::kMsgLoginReply), 0);
}

TEST_F(LinkConnectionTest, ImpossibleLengthsBreakTheConnection) {
    state.quoteCodes.Set("600000,000001");
    StartLink(QuietTimings());
    const std::vector<std::string> bad = {"0000004x001abcdefghijklmnopqrstuvwxyz0123", "00000010001",
                                          "00065536001" + std::string(200, 'x')};
    int connection = 1;
    for (const std::string& raw : bad) {
        SCOPED_TRACE(raw.substr(0, 11));
        ASSERT_TRUE(server.WaitForConnectionCount(connection, 5s));
        ASSERT_TRUE(WaitUntil([&] { return server.Connected(); }));
        server.SendRaw(raw);
        ++connection;
        ExpectReconnected(connection, "600000,000001");
    }
    EXPECT_EQ(notifier.CountOf(net::kMsgLoginReply), 0);
}

TEST_F(LinkConnectionTest, TheServerClosingMakesTheLinkReconnectAndLogInAgain) {
    StartLink(QuietTimings());
    server.Drop();
    ExpectReconnected(2, "");
    // The new connection carries requests again.
    ASSERT_TRUE(WaitUntil([&] { return link->QueryFunds(); }));
    EXPECT_TRUE(server.WaitForCommand(net::kCmdFunds, 5s));
}

// A contest with a standby: the link walks a list of servers, one further on every failed
// connect and every broken or silent connection, round and round, logging in again on each.
TEST_F(LinkConnectionTest, AListOfServersIsTriedInTurnAfterEveryFailure) {
    FakeTradingServer standby;
    const int deadPort = [] {
        FakeTradingServer gone;
        return gone.Port();
    }();
    state.port = deadPort;
    state.moreServers = {{"127.0.0.1", server.Port()}, {"127.0.0.1", standby.Port()}};
    state.quoteCodes.Set("600000");
    StartLink(QuietTimings()); // the dead first address is passed over
    EXPECT_EQ(standby.ConnectionCount(), 0);

    // The serving one breaks: the link goes on to the standby, not back to the same server.
    server.Drop();
    ASSERT_TRUE(standby.WaitForConnection(5s));
    ASSERT_TRUE(WaitUntil([&] { return standby.Received().size() >= 2u; }));
    EXPECT_EQ(standby.Received()[0].command, net::kCmdLogin);
    EXPECT_EQ(standby.Received()[0].body, kRelogin);
    EXPECT_EQ(standby.Received()[1].body, "code=600000&curuser=u1&curpwd=p1");
    EXPECT_EQ(server.ConnectionCount(), 1);

    // The standby breaks too: round again, past the dead address, to the first live one.
    standby.Drop();
    ExpectReconnected(2, "600000");
    EXPECT_EQ(standby.ConnectionCount(), 1);
}

TEST_F(LinkConnectionTest, ASilentServerInAListIsLeftForTheNextOne) {
    FakeTradingServer standby;
    state.moreServers = {{"127.0.0.1", standby.Port()}};
    StartLink(FastTimings());
    // Nobody answers: after the silence the link moves on to the standby, then back.
    ASSERT_TRUE(standby.WaitForConnection(10s));
    ASSERT_TRUE(server.WaitForConnectionCount(2, 10s));
    EXPECT_LT(server.ConnectionTimes()[0], standby.ConnectionTimes()[0]);
    EXPECT_LT(standby.ConnectionTimes()[0], server.ConnectionTimes()[1]);
}

TEST_F(LinkConnectionTest, NoLoginAfterAReconnectUntilTheServerAcceptedOne) {
    StartLink(QuietTimings(), /*accepted=*/false);
    // A rejected login leaves nothing to restore: the new connection stays silent.
    server.Send(net::kCmdLogin, "1,,,wrong password");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));
    server.Drop();
    ASSERT_TRUE(server.WaitForConnectionCount(2, 5s));
    ASSERT_TRUE(WaitUntil([&] { return server.Connected(); }));
    // A marker: everything the link sent on the new connection before it is in the log. The
    // link takes its new socket a moment after the server accepted, so retry until it is sent.
    ASSERT_TRUE(WaitUntil([&] { return link->QueryFunds(); }));
    ASSERT_TRUE(server.WaitForCommand(net::kCmdFunds, 5s));
    EXPECT_EQ(FramesOn(2).front().command, net::kCmdFunds);

    // Once a login is accepted, the next reconnect logs in again.
    server.Send(net::kCmdLogin, "0,,,ok");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 2, 5s));
    server.Drop();
    ExpectReconnected(3, "");
}

TEST_F(LinkConnectionTest, FramesFromManyThreadsReachTheWireWhole) {
    StartLink(QuietTimings());
    constexpr int kThreads = 4;
    constexpr int kEach = 200;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                link->SendRequest(net::kCmdOrder,
                                  "code=" + std::to_string(t) + "&pad=" + std::string(700 + i * 7, 'a' + t));
        });
    }
    for (auto& s : senders)
        s.join();
    ASSERT_TRUE(WaitUntil([&] { return server.CountOf(net::kCmdOrder) == kThreads * kEach; }));
    for (const auto& f : server.Received()) {
        // Every body is one sender's text from start to end.
        const char fill = f.body[f.body.find("&pad=") + 5];
        EXPECT_EQ(f.body.find_first_not_of(fill, f.body.find("&pad=") + 5), f.body.find("&curuser"));
    }
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST_F(LinkConnectionTest, AStalledServerCannotBlockASenderForLong) {
    StartLink(QuietTimings());
    server.PauseReading(true);
    const std::string big(60000, 'x');
    bool failed = false;
    // The kernel buffers take a few megabytes; after that the send time-out must end a write.
    for (int i = 0; i < 4000 && !failed; ++i)
        failed = !link->SendRequest(net::kCmdOrder, big);
    EXPECT_TRUE(failed);
    server.PauseReading(false);
    // A frame cut short ends the connection; the link builds a new one.
    ExpectReconnected(2, "");
}

TEST_F(LinkConnectionTest, ASilentServerGetsHeartbeatsAndIsReconnectedAgainAndAgain) {
    state.quoteCodes.Set("600000");
    const net::LinkTimings timings = FastTimings();
    StartLink(timings);
    ASSERT_TRUE(server.WaitForConnectionCount(3, 10s));
    const auto connected = server.ConnectionTimes();
    const auto log = server.ReceivedLog();

    // A heartbeat goes out only once the silence passed the heartbeat threshold...
    int heartbeats = 0;
    for (const auto& e : log) {
        if (e.frame.command != net::kCmdHeartbeat)
            continue;
        ++heartbeats;
        EXPECT_EQ(e.connection, 1) << "after a reconnect the silence is already too long for heartbeats";
        EXPECT_GE(e.at - connected[0], timings.heartbeatAfter - kAcceptSlack);
        EXPECT_EQ(e.frame.body, kRelogin);
    }
    EXPECT_GE(heartbeats, 1);
    EXPECT_LE(heartbeats, 2);
    // ...and the connection is rebuilt only after the reconnect threshold, then again at the
    // next empty wait, because no frame arrived in between.
    EXPECT_GE(connected[1] - connected[0], timings.reconnectAfter - kAcceptSlack);
    EXPECT_GE(connected[2] - connected[1], timings.receiveWait - kAcceptSlack);
    ExpectReconnected(2, "600000");
    ExpectReconnected(3, "600000");
}

TEST_F(LinkConnectionTest, FramesKeepAConnectionAlive) {
    net::LinkTimings timings = FastTimings();
    timings.heartbeatAfter = 1s;
    timings.reconnectAfter = 2s;
    StartLink(timings);
    // A frame every 50 ms keeps the silence far below both thresholds for longer than either.
    const auto end = Clock::now() + 2500ms;
    while (Clock::now() < end) {
        server.Send(net::kCmdHeartbeat, "");
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(server.CountOf(net::kCmdHeartbeat), 0);
}

TEST_F(LinkConnectionTest, SilenceAtTheProductTimings) {
    const net::LinkTimings timings; // the product's defaults
    state.quoteCodes.Set("600000");
    StartLink(timings);
    ASSERT_TRUE(server.WaitForConnectionCount(2, 15s));
    const auto connected = server.ConnectionTimes();
    int heartbeats = 0;
    for (const auto& e : server.ReceivedLog()) {
        if (e.frame.command == net::kCmdHeartbeat && e.connection == 1) {
            ++heartbeats;
            EXPECT_GE(e.at - connected[0], 3s - kAcceptSlack);
        }
    }
    EXPECT_GE(heartbeats, 1);
    EXPECT_LE(heartbeats, 2);
    EXPECT_GE(connected[1] - connected[0], 6s - kAcceptSlack);
    ExpectReconnected(2, "600000");
}

} // namespace
} // namespace tavix::test
