// Login, credentials on every request, framing errors and the layout of every reply.

#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <gtest/gtest.h>

using namespace tavix::test;

namespace {

class ServerProtocolTest : public ::testing::Test {
protected:
    ServerProtocolTest() {
        harness_.AddUser("alice", "secret1");
        harness_.AddUser("bob", "secret2");
    }
    ServerHarness harness_;
};

TEST_F(ServerProtocolTest, LoginAnswersAccountFieldsAndRejectsWrongPasswords) {
    TestClient client(harness_.Port());
    const auto fields = Fields(client.Login("alice", "secret1"), ",,,");
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[0], "0");
    EXPECT_FALSE(fields[1].empty());
    EXPECT_EQ(fields[2], "1000000.00");
    EXPECT_EQ(fields[3], "20210223");
    EXPECT_EQ(Fields(fields[4], ":").size(), 2u);
    EXPECT_EQ(fields[5], "0");
    EXPECT_EQ(fields[6], "alice");
    EXPECT_EQ(Fields(fields[7], " ").size(), 2u); // a first token, one blank, the URL

    TestClient wrong(harness_.Port());
    const auto rejected = Fields(wrong.Login("alice", "nope"), ",,,");
    ASSERT_EQ(rejected.size(), 2u);
    EXPECT_NE(rejected[0], "0");
    EXPECT_FALSE(rejected[1].empty());
    // A rejected connection gets nothing for its requests.
    wrong.Send(net::kCmdFunds, "");
    EXPECT_FALSE(wrong.NextAnswer(std::chrono::milliseconds(300)));

    TestClient unknown(harness_.Port());
    EXPECT_EQ(Fields(unknown.Login("mallory", "x"), ",,,")[0], "1");
}

TEST_F(ServerProtocolTest, VersionAndUpdaterCommandAreConfigurable) {
    ServerHarness custom([](server::ServerOptions& o) {
        o.clientVersion = "20990101";
        o.updateCommand = "update http://example.invalid/Tavix.zip";
    });
    custom.AddUser("carol", "pw");
    TestClient client(custom.Port());
    const auto fields = Fields(client.Login("carol", "pw"), ",,,");
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[3], "20990101");
    EXPECT_EQ(fields[7], "update http://example.invalid/Tavix.zip");
}

TEST_F(ServerProtocolTest, FrozenAccountLogsInButCannotTrade) {
    harness_.OnEngine(
        [](server::Ledger& ledger, const server::LocalTime&) { ledger.SetStatus(*ledger.FindAccount("bob"), 1); });
    TestClient client(harness_.Port());
    const auto fields = Fields(client.Login("bob", "secret2"), ",,,");
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[0], "0");
    EXPECT_EQ(fields[5], "1");
    const std::string answer = client.Request(net::kCmdOrder, "code=600000&price=10.00&num=100&name=x&type=1");
    EXPECT_TRUE(answer.starts_with("1,")) << answer;
    EXPECT_NE(answer.find("冻结"), std::string::npos) << answer;
}

TEST_F(ServerProtocolTest, RepeatedFailuresThrottleTheUserName) {
    for (int i = 0; i < 5; ++i) {
        TestClient client(harness_.Port());
        EXPECT_EQ(Fields(client.Login("alice", "guess" + std::to_string(i)), ",,,")[0], "1");
    }
    // The next guess waits for the name's turn at this address; the heartbeat behind it is
    // answered once the login has been taken in.
    TestClient waiting(harness_.Port());
    waiting.SendPlain(net::kCmdLogin, "user_name=alice&pwd=guess5&yjm=TESTMACHINE");
    waiting.SendPlain(net::kCmdHeartbeat, "");
    const auto beat = waiting.NextAnswer();
    ASSERT_TRUE(beat);
    ASSERT_EQ(beat->command, net::kCmdHeartbeat);
    // Another attempt from that computer meanwhile is refused at once.
    TestClient client(harness_.Port());
    const auto fields = Fields(client.Login("alice", "secret1"), ",,,");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0], "1");
    EXPECT_NE(fields[1].find("稍后"), std::string::npos) << fields[1];
    // The waiting guess is checked at its turn, and is wrong.
    const auto guessed = waiting.NextAnswer(std::chrono::seconds(10));
    ASSERT_TRUE(guessed);
    EXPECT_EQ(Fields(guessed->body, ",,,")[0], "1") << guessed->body;
    // Another name from the same address is not locked by alice's failures.
    TestClient other(harness_.Port());
    EXPECT_EQ(Fields(other.Login("bob", "secret2"), ",,,")[0], "0");
}

TEST_F(ServerProtocolTest, RequestsWithWrongCredentialsGetNoAnswer) {
    TestClient client(harness_.Port());
    ASSERT_EQ(Fields(client.Login("alice", "secret1"), ",,,")[0], "0");
    // Wrong password, another user's name, and a logged-in user's credentials used on a
    // connection that logged in as someone else: all dropped silently.
    client.SendPlain(net::kCmdFunds, "curuser=alice&curpwd=wrong");
    client.SendPlain(net::kCmdFunds, "curuser=bob&curpwd=secret2");
    client.SendPlain(net::kCmdFunds, "curuser=alice");
    client.SendPlain(net::kCmdOrder, "code=600000&price=10.00&num=100&name=x&type=1&curuser=alice&curpwd=wrong");
    // The answers come in order, so the first one must belong to this valid request.
    client.Send(net::kCmdPositions, "");
    const auto reply = client.NextAnswer();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->command, net::kCmdPositions);
    EXPECT_EQ(client.Request(net::kCmdTodayOrders, "start=2026-1-1"), "");

    TestClient anonymous(harness_.Port());
    anonymous.SendPlain(net::kCmdFunds, "curuser=alice&curpwd=secret1");
    EXPECT_FALSE(anonymous.NextAnswer(std::chrono::milliseconds(300)));
}

TEST_F(ServerProtocolTest, InjectedKeysAndMalformedBodiesAreNotObeyed) {
    TestClient client(harness_.Port());
    ASSERT_EQ(Fields(client.Login("alice", "secret1"), ",,,")[0], "0");
    // A value carrying "&type=2" would turn the buy into a second key: the body is refused.
    client.Send(net::kCmdOrder, "code=600000&price=10.00&num=100&name=x&type=2&type=1");
    client.Send(net::kCmdOrder, "code=600000&price=10.00&num=100&name=x&curuser=bob&type=1");
    client.Send(net::kCmdOrder, "code=600000&&price");
    client.SendRaw(net::FormatFrame(net::kCmdOrder, "code=\xff\xff&curuser=alice&curpwd=secret1"));
    client.Send(net::kCmdFunds, "");
    const auto reply = client.NextAnswer();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->command, net::kCmdFunds);
    EXPECT_EQ(Records(client.Request(net::kCmdTodayOrders, "start=2026-1-1")).size(), 0u);
    // Unparseable dates in history queries are ignored too.
    client.Send(net::kCmdHistoryOrders, "start=2026-13-1&end=2026-1-1");
    client.Send(net::kCmdHeartbeat, "user_name=alice&pwd=secret1");
    const auto heartbeat = client.NextAnswer();
    ASSERT_TRUE(heartbeat);
    EXPECT_EQ(heartbeat->command, net::kCmdHeartbeat);
}

TEST_F(ServerProtocolTest, BadFrameHeadersCloseTheConnection) {
    {
        TestClient client(harness_.Port());
        client.SendRaw("99999999001user_name=a");
        EXPECT_TRUE(client.WaitClosed());
    }
    {
        TestClient client(harness_.Port());
        client.SendRaw("0000abcd001user_name=a");
        EXPECT_TRUE(client.WaitClosed());
    }
    {
        TestClient client(harness_.Port());
        client.SendRaw("00000005001"); // shorter than its own header
        EXPECT_TRUE(client.WaitClosed());
    }
    // The server keeps serving others.
    TestClient client(harness_.Port());
    EXPECT_EQ(Fields(client.Login("alice", "secret1"), ",,,")[0], "0");
}

TEST_F(ServerProtocolTest, IdleLimitReclaimsOnlyDeadConnections) {
    ServerHarness quick([](server::ServerOptions& o) { o.idleSeconds = 1; });
    quick.AddUser("dave", "pw");
    quick.AddUser("erin", "pw");
    quick.AddUser("fred", "pw");
    // Watching: sends nothing after subscribing, but reads every push.
    TestClient watching(quick.Port());
    ASSERT_EQ(Fields(watching.Login("dave", "pw"), ",,,")[0], "0");
    watching.Send(net::kCmdQuoteSubscribe, "code=600000");
    // Silent: nothing subscribed, nothing sent.
    TestClient silent(quick.Port());
    ASSERT_EQ(Fields(silent.Login("erin", "pw"), ",,,")[0], "0");
    // Stuck: subscribed, never reads again; its small receive window fills at once.
    TestClient stuck(quick.Port(), 2048);
    ASSERT_EQ(Fields(stuck.Login("fred", "pw"), ",,,")[0], "0");
    stuck.Send(net::kCmdQuoteSubscribe, "code=600000");

    int pushes = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    while (std::chrono::steady_clock::now() < until) {
        ASSERT_TRUE(watching.Next(std::chrono::milliseconds(1500))) << "the watching client was closed";
        ++pushes;
    }
    EXPECT_GT(pushes, 5);
    EXPECT_TRUE(silent.WaitClosed(std::chrono::seconds(5)));
    EXPECT_TRUE(stuck.WaitClosed(std::chrono::seconds(5)));
}

TEST_F(ServerProtocolTest, QuoteSubscriptionPushesTwentyFourFieldRecords) {
    TestClient client(harness_.Port());
    ASSERT_EQ(Fields(client.Login("alice", "secret1"), ",,,")[0], "0");
    client.Send(net::kCmdQuoteSubscribe, "code=600000,999999,300750");
    for (int pushes = 0; pushes < 3; ++pushes) {
        const auto push = client.Next();
        ASSERT_TRUE(push);
        ASSERT_EQ(push->command, net::kCmdQuoteUpdate);
        const auto records = Records(push->body);
        ASSERT_EQ(records.size(), 2u); // the unknown code is left out
        EXPECT_EQ(records[0][0], "600000");
        EXPECT_EQ(records[0][1], "浦发银行");
        EXPECT_EQ(records[1][0], "300750");
        for (const auto& r : records) {
            ASSERT_EQ(r.size(), 24u);
            EXPECT_EQ(r[2], "10.00");  // last
            EXPECT_EQ(r[3], "10.00");  // previous close
            EXPECT_EQ(r[4], "9.99");   // bid 1
            EXPECT_EQ(r[14], "10.00"); // ask 1
            EXPECT_EQ(r[19], "300");   // ask 1 volume
        }
    }
    // A new list replaces the old one.
    client.Send(net::kCmdQuoteSubscribe, "code=000001");
    for (int i = 0; i < 5; ++i) {
        const auto push = client.Next();
        ASSERT_TRUE(push);
        if (Records(push->body).size() == 1) {
            EXPECT_EQ(Records(push->body)[0][0], "000001");
            return;
        }
    }
    FAIL() << "subscription was not replaced";
}

TEST_F(ServerProtocolTest, PasswordChange) {
    TestClient client(harness_.Port());
    ASSERT_EQ(Fields(client.Login("alice", "secret1"), ",,,")[0], "0");
    const auto wrongOld = Fields(client.Request(net::kCmdChangePassword, "oldpwd=bad&pwd=new1"));
    ASSERT_EQ(wrongOld.size(), 2u);
    EXPECT_NE(wrongOld[0], "0");
    EXPECT_EQ(client.Request(net::kCmdChangePassword, "oldpwd=secret1&pwd=new1"), "0");

    TestClient again(harness_.Port());
    EXPECT_EQ(Fields(again.Login("alice", "secret1"), ",,,")[0], "1");
    TestClient fresh(harness_.Port());
    EXPECT_EQ(Fields(fresh.Login("alice", "new1"), ",,,")[0], "0");
}

TEST_F(ServerProtocolTest, NewPasswordsHaveOneTo32BytesWithoutSeparators) {
    TestClient client(harness_.Port());
    ASSERT_EQ(Fields(client.Login("alice", "secret1"), ",,,")[0], "0");
    struct Case {
        std::string password;
        const char* code;
    };
    const Case refused[] = {
        {"", "2"},    {std::string(33, 'x'), "2"}, {"a,b", "3"},
        {"a|b", "3"}, {std::string("a\tb"), "3"},  {std::string("a\x7f"), "3"},
    };
    for (const Case& c : refused) {
        const auto answer = Fields(client.Request(net::kCmdChangePassword, "oldpwd=secret1&pwd=" + c.password));
        ASSERT_EQ(answer.size(), 2u) << c.password;
        EXPECT_EQ(answer[0], c.code) << c.password;
        EXPECT_FALSE(answer[1].empty());
    }
    TestClient stillOld(harness_.Port());
    EXPECT_EQ(Fields(stillOld.Login("alice", "secret1"), ",,,")[0], "0") << "nothing was changed";

    // 32 bytes are accepted.
    EXPECT_EQ(client.Request(net::kCmdChangePassword, "oldpwd=secret1&pwd=" + std::string(32, 'p')), "0");
    TestClient fresh(harness_.Port());
    EXPECT_EQ(Fields(fresh.Login("alice", std::string(32, 'p')), ",,,")[0], "0");
}

TEST_F(ServerProtocolTest, EmptyAccountRepliesHaveTheirLayouts) {
    TestClient client(harness_.Port());
    ASSERT_EQ(Fields(client.Login("alice", "secret1"), ",,,")[0], "0");
    const auto funds = Fields(client.Request(net::kCmdFunds));
    ASSERT_EQ(funds.size(), 10u);
    EXPECT_EQ(funds[0], "1000000.00");
    EXPECT_EQ(funds[4], "1000000.00");
    EXPECT_EQ(funds[5], "1000000.00");
    EXPECT_EQ(funds[8], "100");
    EXPECT_EQ(funds[9], "0"); // the account's status: normal
    EXPECT_EQ(client.Request(net::kCmdPositions), "");
    EXPECT_EQ(client.Request(net::kCmdTodayTrades, "start=2026-1-1"), "");
    // The opening deposit is in the funds flow.
    const auto flow = Records(client.Request(net::kCmdFundsFlow, "start=2000-1-1"));
    ASSERT_EQ(flow.size(), 1u);
    ASSERT_EQ(flow[0].size(), 9u);
    // The date alone ("2026-12-07"), as in the other history records.
    EXPECT_EQ(flow[0][0].size(), 10u) << flow[0][0];
    EXPECT_EQ(flow[0][0].find(' '), std::string::npos) << flow[0][0];
    EXPECT_EQ(flow[0][4], "资金转入");
    EXPECT_EQ(flow[0][7], "1000000.00");
    EXPECT_EQ(client.Request(net::kCmdFundsFlow, "start=2000-1-1&end=2000-1-2"), "");
}

} // namespace
