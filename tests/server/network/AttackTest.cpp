// Contestants are rivals: one of them must not be able to guess another's password in
// parallel, lock another out, keep using a changed password, slow the server down before
// logging in, crowd everyone else's requests out, or hold every connection slot.

#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <gtest/gtest.h>

#include <future>
#include <linux/sockios.h>
#include <memory>
#include <sys/ioctl.h>
#include <thread>
#include <vector>

using namespace tavix::test;

namespace {

constexpr const char* kWrongPassword = "用户名或密码错误";
constexpr const char* kTooManyFailures = "登录失败次数过多";

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

TEST(LoginAttackTest, ParallelGuessesAreCountedWhenTheyStart) {
    // Real password hashing, so the sixty guesses are all in the air before the first
    // one is judged.
    ServerHarness harness([](server::ServerOptions& o) { o.hashCost = server::HashCost::kInteractive; });
    harness.AddUser("alice", "secret1");
    std::vector<std::unique_ptr<TestClient>> guessers;
    for (int i = 0; i < 60; ++i) {
        guessers.push_back(std::make_unique<TestClient>(harness.Port()));
        guessers.back()->SendPlain(net::kCmdLogin, "user_name=alice&pwd=guess" + std::to_string(i));
    }
    int evaluated = 0;
    int refused = 0;
    for (auto& guesser : guessers) {
        const auto reply = guesser->NextAnswer(std::chrono::seconds(60));
        ASSERT_TRUE(reply);
        evaluated += Contains(reply->body, kWrongPassword);
        refused += Contains(reply->body, kTooManyFailures);
    }
    // The limit for one name from one address, and one more that waited for the pair's next
    // turn; the others were refused while that one waited.
    EXPECT_EQ(evaluated, 6);
    EXPECT_EQ(refused, 54);
}

TEST(LoginAttackTest, OthersFailuresNeverRefuseACorrectPassword) {
    ServerHarness harness;
    harness.AddUser("alice", "secret1");
    harness.AddUser("bob", "secret2");
    // A rival at 127.0.0.1 guesses alice's password from its computer: five guesses are
    // checked at once, then one every 3 s.
    const auto guess = [&](TestClient& client, const std::string& password, const char* machine) {
        return client.SendPlain(net::kCmdLogin, "user_name=alice&pwd=" + password + "&yjm=" + machine);
    };
    for (int i = 0; i < 5; ++i) {
        TestClient attacker(harness.Port());
        ASSERT_TRUE(guess(attacker, "guess" + std::to_string(i), "RIVAL"));
        const auto answer = attacker.NextAnswer();
        ASSERT_TRUE(answer);
        EXPECT_TRUE(Contains(answer->body, kWrongPassword)) << i << ": " << answer->body;
    }
    // The rival's next guess waits for the turn; alice, at another computer behind the same
    // address (a school's lab), is not refused: her computer has not been checked yet and the
    // rival's has, so she gets the turn.
    TestClient waiting(harness.Port());
    ASSERT_TRUE(guess(waiting, "guess5", "RIVAL"));
    TestClient lab(harness.Port());
    ASSERT_TRUE(guess(lab, "secret1", "ALICE"));
    const auto labAnswer = lab.NextAnswer(std::chrono::seconds(10));
    ASSERT_TRUE(labAnswer);
    EXPECT_EQ(Fields(labAnswer->body, ",,,")[0], "0") << labAnswer->body;
    // The rival's guess is checked after her, and fails.
    const auto rivalAnswer = waiting.NextAnswer(std::chrono::seconds(10));
    ASSERT_TRUE(rivalAnswer);
    EXPECT_TRUE(Contains(rivalAnswer->body, kWrongPassword)) << rivalAnswer->body;

    // alice herself, elsewhere, gets in (perhaps slowly).
    TestClient alice(harness.Port(), 0, "127.0.0.2");
    ASSERT_TRUE(alice.Connected());
    EXPECT_EQ(Fields(alice.Login("alice", "secret1"), ",,,")[0], "0");

    // Thirty-odd failures for many names behind one address (a school lab, or someone in
    // it) do not shut the others in that lab out.
    for (int i = 0; i < 32; ++i) {
        TestClient spray(harness.Port(), 0, "127.0.0.3");
        EXPECT_TRUE(Contains(spray.Login("nobody" + std::to_string(i), "x"), kWrongPassword)) << i;
    }
    TestClient bob(harness.Port(), 0, "127.0.0.3");
    const std::string answer = bob.Login("bob", "secret2");
    EXPECT_EQ(Fields(answer, ",,,")[0], "0") << answer;
}

TEST(SessionAttackTest, PasswordChangeClosesTheUsersOtherConnections) {
    ServerHarness harness;
    harness.AddUser("alice", "secret1");
    harness.AddUser("bob", "secret2");
    TestClient thief(harness.Port());
    ASSERT_EQ(Fields(thief.Login("alice", "secret1"), ",,,")[0], "0");
    TestClient owner(harness.Port());
    ASSERT_EQ(Fields(owner.Login("alice", "secret1"), ",,,")[0], "0");
    TestClient neighbour(harness.Port());
    ASSERT_EQ(Fields(neighbour.Login("bob", "secret2"), ",,,")[0], "0");

    EXPECT_EQ(owner.Request(net::kCmdChangePassword, "oldpwd=secret1&pwd=fresh2"), "0");
    EXPECT_TRUE(thief.WaitClosed());
    owner.SetCredentials("alice", "fresh2");
    EXPECT_EQ(Fields(owner.Request(net::kCmdFunds)).size(), 10u);
    EXPECT_EQ(Fields(neighbour.Request(net::kCmdFunds)).size(), 10u);
}

TEST(SessionAttackTest, OneClientsPipelineCannotPushOthersToTheBack) {
    ServerHarness harness;
    harness.AddUser("flooder", "pw", 1'000'000'000);
    harness.AddUser("victim", "pw");
    TestClient flooder(harness.Port());
    ASSERT_EQ(Fields(flooder.Login("flooder", "pw"), ",,,")[0], "0");
    TestClient victim(harness.Port());
    ASSERT_EQ(Fields(victim.Login("victim", "pw"), ",,,")[0], "0");

    // Hold the engine while the flooder pipelines 2,000 resting buys, then the victim
    // sends one. Contract numbers count orders in the order the engine takes them.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> holding;
    std::thread blocker([&] {
        harness.OnEngine([&](server::Ledger&, const server::LocalTime&) {
            holding.set_value();
            released.wait();
        });
    });
    holding.get_future().wait();
    std::string pipeline;
    for (int i = 0; i < 2000; ++i)
        pipeline += net::FormatFrame(net::kCmdOrder, "code=600000&price=9.00&num=100&name=x&type=1&curuser=flooder&"
                                                     "curpwd=pw");
    flooder.SendRaw(pipeline);
    victim.Send(net::kCmdOrder, "code=600000&price=10.00&num=100&name=x&type=1");
    const auto unsent = [](int fd) {
        int n = 0;
        ::ioctl(fd, SIOCOUTQ, &n);
        return n;
    };
    // Wait until the victim's order has reached the server and the flooder's stream has
    // stopped moving (all read, or the server has stopped reading it).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int steady = 0;
    int last = -1;
    while (steady < 5 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int now = unsent(flooder.Fd());
        steady = unsent(victim.Fd()) == 0 && now == last ? steady + 1 : 0;
        last = now;
    }
    release.set_value();
    blocker.join();

    const auto reply = victim.NextAnswer(std::chrono::seconds(30));
    ASSERT_TRUE(reply);
    const auto fields = Fields(reply->body);
    ASSERT_EQ(fields[0], "0") << reply->body;
    const auto at = reply->body.find("合同编号");
    ASSERT_NE(at, std::string::npos) << reply->body;
    const long contract = std::stol(reply->body.substr(at + std::string("合同编号").size()));
    // At most a few dozen of the flooder's orders may go first, not all 2,000.
    EXPECT_LT(contract, 100) << reply->body;
}

TEST(SessionAttackTest, ConnectionsThatNeverLogInAreClosed) {
    ServerHarness harness([](server::ServerOptions& o) { o.loginSeconds = 1; });
    harness.AddUser("alice", "secret1");
    {
        // Junk frames are not activity: the connection goes when its login time is up.
        TestClient lurker(harness.Port());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool closed = false;
        while (!closed && std::chrono::steady_clock::now() < deadline) {
            lurker.SendPlain(net::kCmdFunds, "curuser=alice&curpwd=nope");
            lurker.SendPlain(net::kCmdHeartbeat, "");
            closed = lurker.WaitClosed(std::chrono::milliseconds(200));
        }
        EXPECT_TRUE(closed);
    }
    TestClient alice(harness.Port());
    EXPECT_EQ(Fields(alice.Login("alice", "secret1"), ",,,")[0], "0");
    // A logged-in connection stays past the login time.
    EXPECT_FALSE(alice.WaitClosed(std::chrono::milliseconds(1500)));
    EXPECT_EQ(Fields(alice.Request(net::kCmdFunds)).size(), 10u);
}

TEST(SessionAttackTest, ConnectionsPerAddressAreCapped) {
    ServerHarness harness([](server::ServerOptions& o) { o.maxConnectionsPerAddress = 3; });
    harness.AddUser("alice", "secret1");
    // Three connections from one address, then the fourth is turned away; another
    // address still gets in and logs in.
    std::vector<std::unique_ptr<TestClient>> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(std::make_unique<TestClient>(harness.Port(), 0, "127.0.0.4"));
    TestClient fourth(harness.Port(), 0, "127.0.0.4");
    EXPECT_TRUE(fourth.WaitClosed());
    TestClient alice(harness.Port(), 0, "127.0.0.5");
    EXPECT_EQ(Fields(alice.Login("alice", "secret1"), ",,,")[0], "0");
    // A slot freed at that address can be taken again.
    held.pop_back();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string answer;
    while (std::chrono::steady_clock::now() < deadline) {
        TestClient again(harness.Port(), 0, "127.0.0.4");
        answer = again.Login("alice", "secret1");
        if (Fields(answer, ",,,")[0] == "0")
            break;
    }
    EXPECT_EQ(Fields(answer, ",,,")[0], "0") << answer;
}

} // namespace
