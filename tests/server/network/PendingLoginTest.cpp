// Requests that arrive while a login is being checked, and heartbeats before a login.

#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <gtest/gtest.h>

using namespace tavix::test;

namespace {

class ServerPendingLoginTest : public ::testing::Test {
protected:
    ServerPendingLoginTest() { harness_.AddUser("alice", "secret1"); }

    // The login and the requests behind it go out in one write, as a reconnecting client
    // sends them, so they are all read while the password is still being checked.
    static void SendBackToBack(TestClient& client, const std::string& password, const std::vector<std::string>& more) {
        std::string bytes =
            net::FormatFrame(net::kCmdLogin, "user_name=alice&pwd=" + password + "&curuser=alice&curpwd=" + password);
        for (const std::string& frame : more)
            bytes += frame;
        client.SendRaw(bytes);
    }

    ServerHarness harness_;
};

TEST_F(ServerPendingLoginTest, RequestsBehindAnAcceptedLoginAreAnsweredInOrder) {
    TestClient client(harness_.Port());
    const std::string creds = "&curuser=alice&curpwd=secret1";
    SendBackToBack(client, "secret1",
                   {net::FormatFrame(net::kCmdQuoteSubscribe, "code=600000" + creds),
                    net::FormatFrame(net::kCmdFunds, creds.substr(1)),
                    net::FormatFrame(net::kCmdPositions, creds.substr(1))});
    const auto login = client.Next();
    ASSERT_TRUE(login);
    EXPECT_EQ(login->command, net::kCmdLogin);
    EXPECT_EQ(Fields(login->body, ",,,")[0], "0");
    // The subscription was kept: its quotes come at once, then the two answers in order.
    const auto quotes = client.Next();
    ASSERT_TRUE(quotes);
    ASSERT_EQ(quotes->command, net::kCmdQuoteUpdate);
    EXPECT_EQ(Records(quotes->body)[0][0], "600000");
    const auto funds = client.NextAnswer();
    ASSERT_TRUE(funds);
    EXPECT_EQ(funds->command, net::kCmdFunds);
    const auto positions = client.NextAnswer();
    ASSERT_TRUE(positions);
    EXPECT_EQ(positions->command, net::kCmdPositions);
}

TEST_F(ServerPendingLoginTest, RequestsBehindARejectedLoginGetNothing) {
    TestClient client(harness_.Port());
    SendBackToBack(client, "wrong",
                   {net::FormatFrame(net::kCmdQuoteSubscribe, "code=600000&curuser=alice&curpwd=wrong"),
                    net::FormatFrame(net::kCmdFunds, "curuser=alice&curpwd=wrong")});
    const auto login = client.Next();
    ASSERT_TRUE(login);
    EXPECT_EQ(login->command, net::kCmdLogin);
    EXPECT_NE(Fields(login->body, ",,,")[0], "0");
    EXPECT_FALSE(client.Next(std::chrono::milliseconds(300)));
    // The connection still serves a later, right login.
    EXPECT_EQ(Fields(client.Login("alice", "secret1"), ",,,")[0], "0");
}

TEST_F(ServerPendingLoginTest, HeartbeatsAreAnsweredBeforeAndDuringALogin) {
    TestClient client(harness_.Port());
    client.SendPlain(net::kCmdHeartbeat, "user_name=&pwd=&curuser=&curpwd=");
    const auto idle = client.Next();
    ASSERT_TRUE(idle);
    EXPECT_EQ(idle->command, net::kCmdHeartbeat);
    EXPECT_EQ(idle->body, "");
    // A heartbeat behind a pending login does not wait for it.
    SendBackToBack(client, "secret1", {net::FormatFrame(net::kCmdHeartbeat, "user_name=alice&pwd=secret1")});
    const auto first = client.Next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->command, net::kCmdHeartbeat);
    const auto second = client.Next();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->command, net::kCmdLogin);
}

TEST_F(ServerPendingLoginTest, AFloodBehindAPendingLoginClosesTheConnection) {
    {
        // 32 requests fit.
        TestClient client(harness_.Port());
        std::vector<std::string> frames(31, net::FormatFrame(net::kCmdFunds, "curuser=alice&curpwd=secret1"));
        SendBackToBack(client, "secret1", frames);
        const auto login = client.Next();
        ASSERT_TRUE(login);
        EXPECT_EQ(Fields(login->body, ",,,")[0], "0");
        for (int i = 0; i < 31; ++i) {
            const auto funds = client.NextAnswer();
            ASSERT_TRUE(funds) << i;
            EXPECT_EQ(funds->command, net::kCmdFunds);
        }
    }
    {
        // One more is a flood.
        TestClient client(harness_.Port());
        std::vector<std::string> frames(33, net::FormatFrame(net::kCmdFunds, "curuser=alice&curpwd=secret1"));
        SendBackToBack(client, "secret1", frames);
        EXPECT_TRUE(client.WaitClosed());
    }
}

} // namespace
