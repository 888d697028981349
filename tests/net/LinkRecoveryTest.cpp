// How the link comes back after a break: the user's pending login, the re-login's answer,
// the state it shows, which notifications wait, and a server that is not there yet.

#include "tests/net/LinkTestSupport.h"
#include "wire/Frame.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tavix::test {
namespace {

const std::string kUserLogin = "user_name=u1&pwd=p1&yjm=MC";

class LinkRecoveryTest : public LinkTest {
protected:
    std::vector<int> CommandsOn(int connection) {
        std::vector<int> commands;
        for (const auto& e : server.ReceivedLog())
            if (e.connection == connection)
                commands.push_back(e.frame.command);
        return commands;
    }
    int LoginsOn(int connection) {
        int n = 0;
        for (int c : CommandsOn(connection))
            n += c == net::kCmdLogin ? 1 : 0;
        return n;
    }
    // Sends a marker request on the current connection once the link has taken it and waits
    // until the server has it: everything the link sent there before is in the log then.
    void Mark(int connection) {
        ASSERT_TRUE(server.WaitForConnectionCount(connection, 5s));
        ASSERT_TRUE(WaitUntil([&] { return server.Connected(); }));
        ASSERT_TRUE(WaitUntil([&] {
            return link->SendRequest(net::kCmdCancelAll, "") &&
                   WaitUntil(
                       [&] {
                           const auto c = CommandsOn(connection);
                           return std::find(c.begin(), c.end(), net::kCmdCancelAll) != c.end();
                       },
                       300ms);
        }));
    }
};

TEST_F(LinkRecoveryTest, APendingUserLoginIsSentOnceMoreAfterAReconnect) {
    StartLink(QuietTimings(), /*accepted=*/false);
    ASSERT_TRUE(link->SendLogin(kUserLogin));
    ASSERT_TRUE(server.WaitForCommand(net::kCmdLogin, 5s));
    server.Drop();
    // Second connection: the same login again, exactly once.
    ASSERT_TRUE(server.WaitForConnectionCount(2, 5s));
    const auto again = server.WaitForCommand(net::kCmdLogin, 5s);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->body, kUserLogin + "&curuser=u1&curpwd=p1");
    server.Drop();
    Mark(3);
    EXPECT_EQ(LoginsOn(3), 0) << "a login is resent once, not after every reconnect";

    // An answer ends it: no login after the next reconnect either.
    ASSERT_TRUE(link->SendLogin(kUserLogin));
    ASSERT_TRUE(server.WaitForCommand(net::kCmdLogin, 5s));
    server.Send(net::kCmdLogin, "1,,,wrong password");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));
    server.Drop();
    Mark(4);
    EXPECT_EQ(LoginsOn(4), 0);

    // Neither after the user gave up waiting.
    ASSERT_TRUE(link->SendLogin(kUserLogin));
    ASSERT_TRUE(server.WaitForCommand(net::kCmdLogin, 5s));
    link->ForgetPendingLogin();
    server.Drop();
    Mark(5);
    EXPECT_EQ(LoginsOn(5), 0);
}

TEST_F(LinkRecoveryTest, AnAcceptedReloginRefreshesTheAccountAndTheStateFollows) {
    state.quoteCodes.Set("600000");
    StartLink(QuietTimings());
    EXPECT_EQ(link->Status().phase, net::LinkPhase::kLive);
    server.Drop();
    ASSERT_TRUE(server.WaitForConnectionCount(2, 5s));
    ASSERT_TRUE(server.WaitForCommand(net::kCmdLogin, 5s));
    EXPECT_EQ(link->Status().phase, net::LinkPhase::kBroken);
    EXPECT_NE(link->Status().brokenSince, 0);
    // Nothing is refreshed before the server accepted the re-login.
    EXPECT_EQ(server.CountOf(net::kCmdFunds), 0);

    server.Send(net::kCmdLogin, "0,,,ok");
    ASSERT_TRUE(WaitUntil([&] { return server.CountOf(net::kCmdTodayOrders) == 1; }));
    EXPECT_EQ(link->Status().phase, net::LinkPhase::kLive);
    const std::vector<int> expected = {net::kCmdLogin,     net::kCmdQuoteSubscribe, net::kCmdFunds,
                                       net::kCmdPositions, net::kCmdTodayTrades,    net::kCmdSettlement,
                                       net::kCmdFundsFlow, net::kCmdTodayOrders};
    EXPECT_EQ(CommandsOn(2), expected);
    // The re-login's answer is the link's own business, not the login dialog's.
    EXPECT_EQ(notifier.CountOf(net::kMsgLoginReply), 0);
}

// An order answered at once, even before the sending thread is done with it, is answered:
// the break that follows tells of nothing unknown.
TEST_F(LinkRecoveryTest, AnOrderAnsweredAtOnceIsNotToldAsUnknownAfterABreak) {
    StartLink(QuietTimings());
    server.SetAutoReply(net::kCmdOrder, [](const net::Frame&) { return std::string("0,ok"); });
    ASSERT_TRUE(link->SendRequest(net::kCmdOrder, "code=600000&price=7.00&num=100&type=1"));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgOrderReply, 1, 5s));
    server.Drop();
    ASSERT_TRUE(server.WaitForConnectionCount(2, 5s));
    ASSERT_TRUE(server.WaitForCommand(net::kCmdLogin, 5s));
    server.Send(net::kCmdLogin, "0,,,ok");
    ASSERT_TRUE(WaitUntil([&] { return server.CountOf(net::kCmdTodayOrders) == 1; }));
    EXPECT_EQ(link->Status().phase, net::LinkPhase::kLive);
    EXPECT_EQ(notifier.CountOf(net::kMsgOrderResultUnknown), 0);
}

TEST_F(LinkRecoveryTest, ARejectedReloginIsToldOnceAndNotRepeated) {
    StartLink(QuietTimings());
    server.Drop();
    ASSERT_TRUE(server.WaitForConnectionCount(2, 5s));
    ASSERT_TRUE(server.WaitForCommand(net::kCmdLogin, 5s));
    server.Send(net::kCmdLogin, "1,,,密码错误");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgReloginFailed, 1, 5s));
    const auto events = notifier.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].body, "密码错误");
    EXPECT_TRUE(events[0].posted);
    ASSERT_TRUE(WaitUntil([&] { return link->Status().phase == net::LinkPhase::kRefused; }));

    server.Drop();
    Mark(3);
    EXPECT_EQ(LoginsOn(3), 0);
    EXPECT_EQ(notifier.CountOf(net::kMsgReloginFailed), 1);
    EXPECT_EQ(link->Status().phase, net::LinkPhase::kRefused);

    // The user's next accepted login starts re-logins again.
    ASSERT_TRUE(link->SendLogin(kUserLogin));
    server.Send(net::kCmdLogin, "0,,,ok");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));
    EXPECT_EQ(link->Status().phase, net::LinkPhase::kLive);
    server.Drop();
    ASSERT_TRUE(server.WaitForConnectionCount(4, 5s));
    ASSERT_TRUE(WaitUntil([&] { return LoginsOn(4) == 1; }));
}

TEST_F(LinkRecoveryTest, RepliesThatMayOpenADialogDoNotWait) {
    StartLink(QuietTimings(), /*accepted=*/false);
    server.Send(net::kCmdLogin, "1,,,no");
    server.Send(net::kCmdLogin, "0,,,ok");
    server.Send(net::kCmdOrder, "0,委托成功");
    server.Send(net::kCmdChangePassword, "1,原密码不正确");
    server.Send(net::kCmdPositions, "");
    server.Send(net::kCmdQuoteUpdate, "");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgPositionsStored, 1, 5s));
    const auto events = notifier.Events();
    ASSERT_EQ(events.size(), 5u);
    // In the order the frames came; only the accepted login and the table wait.
    EXPECT_EQ(events[0].message, net::kMsgLoginReply);
    EXPECT_TRUE(events[0].posted);
    EXPECT_EQ(events[1].message, net::kMsgLoginReply);
    EXPECT_FALSE(events[1].posted);
    EXPECT_EQ(events[2].message, net::kMsgOrderReply);
    EXPECT_TRUE(events[2].posted);
    EXPECT_EQ(events[2].body, "0,委托成功");
    EXPECT_EQ(events[3].message, net::kMsgPasswordReply);
    EXPECT_TRUE(events[3].posted);
    EXPECT_EQ(events[4].message, net::kMsgPositionsStored);
    EXPECT_FALSE(events[4].posted);
    EXPECT_TRUE(WaitUntil([&] { return link->Status().lastQuote != 0; }));
}

TEST_F(LinkRecoveryTest, ALinkStartedBeforeItsServerConnectsOnceTheServerAppears) {
    // A port that is held but not listening refuses connections, so the link fails for a
    // while; then the same socket starts listening.
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t length = sizeof addr;
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length), 0);
    state.port = ntohs(addr.sin_port);

    link = std::make_unique<net::TradingLink>(state, notifier, QuietTimings());
    link->Start();
    // Several retry periods pass with the server absent.
    ASSERT_FALSE(WaitUntil([&] { return link->Socket().Connected(); }, 400ms));
    EXPECT_EQ(link->Status().phase, net::LinkPhase::kConnecting);
    EXPECT_FALSE(link->SendRequest(net::kCmdFunds, ""));

    ASSERT_EQ(listen(fd, 4), 0);
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1) << "the link never came back to the server";
    const int client = accept(fd, nullptr, nullptr);
    ASSERT_GE(client, 0);
    EXPECT_TRUE(WaitUntil([&] { return link->Socket().Connected(); }));
    EXPECT_EQ(link->Status().phase, net::LinkPhase::kConnected);
    link->Stop();
    close(client);
    close(fd);
}

} // namespace
} // namespace tavix::test
