#include "net/TradingLink.h"
#include "tests/net/LinkTestSupport.h"
#include "tests/net/RecordingNotifier.h"
#include "tests/support/FakeTradingServer.h"

#include <gtest/gtest.h>

namespace tavix::test {
namespace {

TEST(LinkConnectionTest, RequestsFailUntilTheFirstConnection) {
    FakeTradingServer server;
    auto state = StateFor(server.Port());
    RecordingNotifier notifier;
    net::TradingLink link(*state, notifier, FastTimings());
    EXPECT_FALSE(link.SendRequest(net::kCmdPositions, ""));
    EXPECT_FALSE(link.QueryPositions());
    link.Start();
    ASSERT_TRUE(server.WaitForConnection(5s));
    // The connected flag is set right after the connect completes; poll for it.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!link.Socket().Connected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(link.SendRequest(net::kCmdPositions, ""));
    const auto frame = server.WaitForCommand(net::kCmdPositions, 5s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->body, "curuser=u1&curpwd=p1");
    // Nothing was written before the connection.
    EXPECT_EQ(server.CountOf(net::kCmdPositions), 1);
}

TEST(LinkConnectionTest, LoginReplyReachesTheLoginDialogWithOrWithoutAMainFrame) {
    FakeTradingServer server;
    auto state = StateFor(server.Port());
    RecordingNotifier notifier(false);
    net::TradingLink link(*state, notifier, FastTimings());
    link.Start();
    ASSERT_TRUE(server.WaitForConnection(5s));
    ASSERT_TRUE(server.Send(net::kCmdLogin, "0,,,ok,,,1000"));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));
    EXPECT_EQ(notifier.Events().front().body, "0,,,ok,,,1000");
}

} // namespace
} // namespace tavix::test
