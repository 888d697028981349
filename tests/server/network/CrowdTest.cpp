// A crowd of hostile contestants, logged in or not: none of them can outlive a password
// change, exhaust the server's memory or slots, or starve the others.

#include "server/engine/Replies.h"
#include "server/engine/Requests.h"
#include "server/ledger/AccountHistory.h"
#include "server/ledger/PasswordHash.h"
#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace tavix::test;

namespace {

TEST(CrowdPasswordTest, LoginsBeingCheckedDuringAPasswordChangeDoNotGetIn) {
    // Room for the owner and the eight thieves on one account.
    ServerHarness harness([](server::ServerOptions& o) { o.maxConnectionsPerAccount = 16; });
    int survivors = 0;
    for (int round = 0; round < 20; ++round) {
        // A fresh account and address each round: the old password's failures, which slow
        // that name down, are not what is tested here.
        const std::string name = "alice" + std::to_string(round);
        const std::string address = "127.0.1." + std::to_string(round + 1);
        harness.AddUser(name, "old");
        TestClient owner(harness.Port());
        ASSERT_EQ(Fields(owner.Login(name, "old"), ",,,")[0], "0");
        // Eight connections keep logging in with the old password while the owner changes it.
        std::string logins;
        for (int i = 0; i < 6; ++i)
            logins += net::FormatFrame(net::kCmdLogin, "user_name=" + name + "&pwd=old");
        std::vector<std::unique_ptr<TestClient>> thieves;
        for (int i = 0; i < 8; ++i) {
            thieves.push_back(std::make_unique<TestClient>(harness.Port(), 0, address.c_str()));
            thieves.back()->SendRaw(logins);
        }
        ASSERT_EQ(owner.Request(net::kCmdChangePassword, "oldpwd=old&pwd=fresh"), "0") << round;
        for (auto& thief : thieves) {
            while (thief->Next(std::chrono::milliseconds(300))) {
            }
            thief->SetCredentials(name, "old");
            thief->Send(net::kCmdFunds, "");
            survivors += thief->NextAnswer(std::chrono::milliseconds(300)).has_value();
        }
        owner.SetCredentials(name, "fresh");
        EXPECT_EQ(Fields(owner.Request(net::kCmdFunds)).size(), 10u);
    }
    EXPECT_EQ(survivors, 0);
}

TEST(CrowdMemoryTest, AConnectionThatHasNotLoggedInAndDoesNotReadIsClosed) {
    ServerHarness harness;
    // Heartbeats are answered before a login; this client never reads the answers.
    TestClient lurker(harness.Port(), 4096);
    std::string heartbeats;
    for (int i = 0; i < 1000; ++i)
        heartbeats += net::FormatFrame(net::kCmdHeartbeat, "");
    int sent = 0;
    while (sent < 400 && lurker.SendRaw(heartbeats))
        ++sent;
    // 400,000 answers were asked for; a few kilobytes of them may wait in the server.
    EXPECT_LT(sent, 400);
    EXPECT_TRUE(lurker.WaitClosed());
}

TEST(CrowdMemoryTest, PastTheServersOutputBudgetTheSlowReaderGoesAndOthersAreServed) {
    ServerHarness harness([](server::ServerOptions& o) {
        o.outputBudgetBytes = 512 * 1024;
        // Answers come as fast as asked: trickling at an account's query budget, they give the
        // system time to take ever more of them into its buffers, and none is left over.
        o.queryBytesPerSecond = std::size_t{1} << 30;
        std::ofstream(o.quotesCsv) << "0,600000,X,10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,"
                                      "10.00,10.01,10.02,10.03,10.04,300,200,1000,1000,1000\n";
    });
    harness.AddUser("amy", "pw", 200'000'000);
    harness.AddUser("bob", "pw");
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime&) {
        server::Account& account = *ledger.FindAccount("amy");
        for (int i = 0; i < 900; ++i) // today's orders answer with about 50 KB
            ASSERT_TRUE(ledger.PlaceOrder(account, "600000", "9.50", "100", "1", "09:00:00").Accepted());
    });
    TestClient bob(harness.Port());
    ASSERT_EQ(Fields(bob.Login("bob", "pw"), ",,,")[0], "0");
    // About 5.5 MB asked for and not read: the system takes 3 MB or so, the rest is over the
    // server's budget though under one connection's cap.
    TestClient slow(harness.Port(), 4096);
    ASSERT_EQ(Fields(slow.Login("amy", "pw"), ",,,")[0], "0");
    bool hungUp = false;
    for (int i = 0; i < 110 && !hungUp; ++i) {
        hungUp = !slow.Send(net::kCmdTodayOrders, "start=1-1-1");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(Fields(bob.Request(net::kCmdFunds)).size(), 10u) << i;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(harness.GetEngine().GetMetrics().slowReadersDropped.load(), 1u);
    EXPECT_TRUE(hungUp || slow.WaitClosed(std::chrono::seconds(10)));
    EXPECT_EQ(Fields(bob.Request(net::kCmdFunds)).size(), 10u);
}

TEST(CrowdSlotsTest, AnAccountsLoginsPastItsCapCloseItsOldest) {
    ServerHarness harness([](server::ServerOptions& o) { o.maxConnectionsPerAccount = 2; });
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    TestClient bob(harness.Port());
    ASSERT_EQ(Fields(bob.Login("bob", "pw"), ",,,")[0], "0");
    std::vector<std::unique_ptr<TestClient>> amys;
    for (int i = 0; i < 3; ++i) {
        amys.push_back(std::make_unique<TestClient>(harness.Port()));
        ASSERT_EQ(Fields(amys.back()->Login("amy", "pw"), ",,,")[0], "0") << i;
    }
    EXPECT_TRUE(amys[0]->WaitClosed());
    EXPECT_EQ(Fields(amys[1]->Request(net::kCmdFunds)).size(), 10u);
    EXPECT_EQ(Fields(amys[2]->Request(net::kCmdFunds)).size(), 10u);
    // A connection logging in again as the same account keeps its one place.
    ASSERT_EQ(Fields(amys[2]->Login("amy", "pw"), ",,,")[0], "0");
    EXPECT_EQ(Fields(amys[1]->Request(net::kCmdFunds)).size(), 10u);
    EXPECT_EQ(Fields(bob.Request(net::kCmdFunds)).size(), 10u) << "another account is not touched";
}

TEST(CrowdSlotsTest, AFullTableClosesItsOldestConnectionThatHasNotLoggedIn) {
    ServerHarness harness([](server::ServerOptions& o) { o.maxConnections = 3; });
    harness.AddUser("amy", "pw");
    TestClient amy(harness.Port());
    ASSERT_EQ(Fields(amy.Login("amy", "pw"), ",,,")[0], "0");
    auto oldest = std::make_unique<TestClient>(harness.Port(), 0, "127.0.0.2");
    ASSERT_FALSE(oldest->WaitClosed(std::chrono::milliseconds(100)));
    TestClient newer(harness.Port(), 0, "127.0.0.3");
    ASSERT_FALSE(newer.WaitClosed(std::chrono::milliseconds(100)));
    // The table is full: the user who comes now gets in, the oldest idle one goes.
    TestClient user(harness.Port(), 0, "127.0.0.4");
    EXPECT_EQ(Fields(user.Login("amy", "pw"), ",,,")[0], "0");
    EXPECT_TRUE(oldest->WaitClosed());
    EXPECT_FALSE(newer.WaitClosed(std::chrono::milliseconds(200)));
    EXPECT_EQ(Fields(amy.Request(net::kCmdFunds)).size(), 10u) << "logged-in connections are never shed";
}

TEST(CrowdLoginTest, AHashOfAnotherCostIsMadeAnewAtTheNextLogin) {
    ServerHarness harness; // hashes at the minimal cost
    harness.AddUser("amy", "pw");
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime&) {
        ledger.SetPasswordHash(*ledger.FindAccount("amy"), server::HashPassword("pw", server::HashCost::kInteractive));
    });
    ASSERT_NE(harness.Directory().Find("amy")->passwordHash.find("$m=65536,t=2,p=1$"), std::string::npos);
    TestClient amy(harness.Port());
    ASSERT_EQ(Fields(amy.Login("amy", "pw"), ",,,")[0], "0");
    // 8 KiB and one pass: libsodium's least, the harness's cost; the same password still works.
    const std::string hash = harness.Directory().Find("amy")->passwordHash;
    EXPECT_NE(hash.find("$m=8,t=1,p=1$"), std::string::npos) << hash;
    TestClient again(harness.Port(), 0, "127.0.0.2");
    EXPECT_EQ(Fields(again.Login("amy", "pw"), ",,,")[0], "0");
    EXPECT_EQ(Fields(amy.Request(net::kCmdFunds)).size(), 10u) << "a rehash is not a password change";
}

TEST(CrowdLoginTest, TheSamePasswordOnSeveralConnectionsAtOnceIsOneCheckWhoseResultAllGet) {
    // Real hashing: the first check is still running when the other logins arrive.
    ServerHarness harness([](server::ServerOptions& o) { o.hashCost = server::HashCost::kInteractive; });
    harness.AddUser("amy", "pw");
    const auto loginsAtOnce = [&](const std::string& password, const char* address) {
        std::vector<std::unique_ptr<TestClient>> clients;
        for (int i = 0; i < 8; ++i) {
            clients.push_back(std::make_unique<TestClient>(harness.Port(), 0, address));
            clients.back()->SendPlain(net::kCmdLogin, "user_name=amy&pwd=" + password);
        }
        std::vector<std::string> answers;
        for (auto& c : clients) {
            const auto reply = c->NextAnswer(std::chrono::seconds(30));
            answers.push_back(reply ? reply->body : "no answer");
        }
        return answers;
    };
    // A client opening its eight connections is one login, not eight attempts in the air.
    for (const std::string& answer : loginsAtOnce("pw", "127.0.0.2"))
        EXPECT_EQ(Fields(answer, ",,,")[0], "0") << answer;
    EXPECT_EQ(harness.Metrics().passwordChecks.load(), 1u);
    // A wrong password sent eight times at once is one failure, told to all eight.
    for (const std::string& answer : loginsAtOnce("wrong", "127.0.0.3"))
        EXPECT_EQ(answer, "1,,,用户名或密码错误");
    EXPECT_EQ(harness.Metrics().passwordChecks.load(), 2u);
}

// A wrong password for `name` sent from `address`, the answer left unread.
std::unique_ptr<TestClient> GuessFrom(std::uint16_t port, const std::string& address, const std::string& name) {
    auto c = std::make_unique<TestClient>(port, 0, address.c_str());
    c->SendPlain(net::kCmdLogin, "user_name=" + name + "&pwd=x");
    return c;
}

TEST(CrowdLoginTest, OneAddresssFloodOfLoginsIsBoundedAndWaitsBehindOthers) {
    ServerHarness harness([](server::ServerOptions& o) { o.hashCost = server::HashCost::kInteractive; });
    harness.AddUser("amy", "pw");
    // Attempts from one address, each for another name, so no name's limit applies.
    const auto attempt = [&](int i) { return GuessFrom(harness.Port(), "127.0.0.7", "nobody" + std::to_string(i)); };
    std::vector<std::unique_ptr<TestClient>> checked;
    for (int i = 0; i < 16; ++i)
        checked.push_back(attempt(i));
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // all queued
    // A user elsewhere is served in turn with that address, not behind its sixteen checks.
    TestClient amy(harness.Port(), 0, "127.0.0.8");
    ASSERT_EQ(Fields(amy.Login("amy", "pw"), ",,,")[0], "0");
    int stillWaiting = 0;
    for (auto& c : checked)
        stillWaiting += !c->Next(std::chrono::milliseconds(1)).has_value();
    EXPECT_GE(stillWaiting, 8) << "at most a few of the flood's checks went first";
    // More from one address while sixteen of its checks wait are refused at once, without a
    // hash: a fresh flood, sent whole before any answer is read, so that the checks cannot have
    // drained meanwhile whatever the machine's speed.
    const auto flood = [&](int i) { return GuessFrom(harness.Port(), "127.0.0.9", "other" + std::to_string(i)); };
    std::vector<std::unique_ptr<TestClient>> waiting;
    for (int i = 0; i < 24; ++i)
        waiting.push_back(flood(i));
    int refused = 0;
    for (int i = 16; i < 24; ++i) {
        const auto reply = waiting[i]->Next(std::chrono::milliseconds(200));
        refused += reply && reply->body.find("登录请求过多") != std::string::npos;
    }
    EXPECT_GE(refused, 1);
}

TEST(CrowdLoginTest, AnAddressThatHasNotFailedIsCheckedBeforeAddressesThatGuess) {
    ServerHarness harness([](server::ServerOptions& o) { o.hashCost = server::HashCost::kInteractive; });
    harness.AddUser("amy", "pw");
    const auto attempt = [&](int host, int i) {
        return GuessFrom(harness.Port(), "127.0.0." + std::to_string(host), "nobody" + std::to_string(host * 100 + i));
    };
    // Eight addresses that have guessed wrong once each, then two more guesses from each.
    for (int host = 10; host < 18; ++host)
        ASSERT_TRUE(attempt(host, 0)->Next(std::chrono::seconds(10)).has_value());
    std::vector<std::unique_ptr<TestClient>> guesses;
    for (int i = 1; i <= 2; ++i)
        for (int host = 10; host < 18; ++host)
            guesses.push_back(attempt(host, i));
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // all queued
    std::vector<bool> answered(guesses.size());
    for (std::size_t i = 0; i < guesses.size(); ++i)
        answered[i] = guesses[i]->Next(std::chrono::milliseconds(1)).has_value();
    // Round robin would put amy behind a turn of each of the eight addresses still queued.
    TestClient amy(harness.Port(), 0, "127.0.0.8");
    ASSERT_EQ(Fields(amy.Login("amy", "pw"), ",,,")[0], "0");
    int before = 0;
    int queuedWhenAmyCame = 0;
    for (std::size_t i = 0; i < guesses.size(); ++i) {
        if (answered[i])
            continue;
        ++queuedWhenAmyCame;
        before += guesses[i]->Next(std::chrono::milliseconds(1)).has_value();
    }
    ASSERT_GE(queuedWhenAmyCame, 8) << "the guesses drained before amy came; the check proves nothing";
    EXPECT_LE(before, 3) << "amy's check waited behind the guessing addresses' turns";
}

TEST(CrowdQuotesTest, AGbkQuotesFileTradesUnderItsNamesAndABystanderIsUnaffected) {
    ServerHarness harness([](server::ServerOptions& o) {
        // 浦发银行 in GBK: C6D6 B7A2 D2F8 D0D0.
        const std::string book = ",10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,"
                                 "10.00,10.01,10.02,10.03,10.04,300,200,1000,1000,1000\n";
        std::ofstream(o.quotesCsv) << "0,600000,\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0" << book << "0,000001,PAB" << book;
    });
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    TestClient amy(harness.Port());
    ASSERT_EQ(Fields(amy.Login("amy", "pw"), ",,,")[0], "0");
    TestClient bob(harness.Port());
    ASSERT_EQ(Fields(bob.Login("bob", "pw"), ",,,")[0], "0");
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Fields(amy.Request(net::kCmdOrder, "code=600000&price=9.50&num=100&type=1"))[0], "0") << i;
        EXPECT_EQ(Fields(bob.Request(net::kCmdOrder, "code=000001&price=9.50&num=100&type=1"))[0], "0") << i;
    }
    const auto orders = Records(amy.Request(net::kCmdTodayOrders, "start=1-1-1"));
    ASSERT_EQ(orders.size(), 10u);
    bool named = false;
    for (const auto& field : orders[0])
        named = named || field == "浦发银行";
    EXPECT_TRUE(named) << "the name reads as it was written";
    EXPECT_EQ(Records(bob.Request(net::kCmdTodayOrders, "start=1-1-1")).size(), 10u);
}

TEST(CrowdFairnessTest, AnAccountsOpenOrdersAreCappedWithAClearRefusal) {
    ServerHarness harness([](server::ServerOptions& o) { o.maxOpenOrders = 3; });
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    TestClient amy(harness.Port());
    ASSERT_EQ(Fields(amy.Login("amy", "pw"), ",,,")[0], "0");
    const std::string resting = "code=600000&price=9.50&num=100&type=1";
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Fields(amy.Request(net::kCmdOrder, resting))[0], "0") << i;
    EXPECT_EQ(amy.Request(net::kCmdOrder, resting), "1,未成交委托已达3笔上限，请先撤单再委托");
    // Another account has its own three.
    TestClient bob(harness.Port());
    ASSERT_EQ(Fields(bob.Login("bob", "pw"), ",,,")[0], "0");
    EXPECT_EQ(Fields(bob.Request(net::kCmdOrder, resting))[0], "0");
    // A cancelled order frees its place.
    const auto orders = Records(amy.Request(net::kCmdTodayOrders, "start=1-1-1"));
    ASSERT_EQ(orders.size(), 3u);
    ASSERT_EQ(amy.Request(net::kCmdCancelOne, "code=600000&num=100&time=" + orders[0][7] + "&id=" + orders[0][9]),
              "0,撤单成功");
    EXPECT_EQ(Fields(amy.Request(net::kCmdOrder, resting))[0], "0");
}

TEST(CrowdFairnessTest, QueriesPastAnAccountsAnswerBudgetWaitWhileAnotherAccountIsAnswered) {
    // 1 KiB a second, as much at once: an empty answer costs the 256 bytes of its reading, a
    // quarter of a second. Five are answered at once (the fifth starts while a second is owed),
    // the other three a quarter of a second apart: the last after three quarters.
    ServerHarness harness([](server::ServerOptions& o) { o.queryBytesPerSecond = 1024; });
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    TestClient amy(harness.Port());
    ASSERT_EQ(Fields(amy.Login("amy", "pw"), ",,,")[0], "0");
    TestClient bob(harness.Port(), 0, "127.0.0.2");
    ASSERT_EQ(Fields(bob.Login("bob", "pw"), ",,,")[0], "0");
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 8; ++i)
        amy.Send(net::kCmdTodayTrades, "");
    EXPECT_EQ(bob.Request(net::kCmdTodayTrades), "");
    const auto bobAnswered = std::chrono::steady_clock::now();
    int answered = 0;
    while (answered < 8) {
        const auto reply = amy.NextAnswer(std::chrono::seconds(10));
        if (!reply)
            break;
        answered += reply->command == net::kCmdTodayTrades && reply->body.empty();
    }
    const auto amyAnswered = std::chrono::steady_clock::now();
    EXPECT_EQ(answered, 8) << "past the budget queries wait; none is dropped";
    EXPECT_GE(amyAnswered - t0, std::chrono::milliseconds(700)) << "the last three waited for the budget";
    EXPECT_LT(bobAnswered, amyAnswered) << "bob did not wait behind amy's budget";
}

// Holds the engine inside a batch until the returned promise is set, so that what is posted
// meanwhile queues up for the next one.
std::promise<void> HoldEngine(server::Engine& engine) {
    std::promise<void> holding, release;
    engine.Post(
        [&holding, released = release.get_future().share()](server::Ledger&,
                                                            const server::LocalTime&) -> std::optional<std::string> {
            holding.set_value();
            released.wait();
            return std::nullopt;
        },
        [](std::optional<server::Answer>) {});
    EXPECT_EQ(holding.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    return release;
}

std::string RestingBuy(server::Ledger& ledger, std::int64_t id, const server::LocalTime& now) {
    return server::OrderReply(ledger.PlaceOrder(*ledger.FindAccount(id), "600000", "9.50", "100", "1", now.time));
}

TEST(CrowdFairnessTest, ABystandersOrderGoesIntoTheFirstBatchBesideAFloodersShare) {
    ServerHarness harness;
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    const std::int64_t amy = harness.Directory().Find("amy")->id;
    const std::int64_t bob = harness.Directory().Find("bob")->id;
    server::Engine& engine = harness.GetEngine();
    std::mutex mutex;
    std::vector<std::string> answered;
    std::promise<void> all;
    const auto note = [&](const char* who) {
        std::lock_guard lock(mutex);
        answered.emplace_back(who);
        if (answered.size() == 201)
            all.set_value();
    };
    std::promise<void> release = HoldEngine(engine);
    // amy's 200 orders came first, bob's one after them.
    for (int i = 0; i < 200; ++i)
        engine.Post([amy](server::Ledger& l, const server::LocalTime& now) { return RestingBuy(l, amy, now); },
                    [&](std::optional<server::Answer>) { note("amy"); }, std::nullopt, false, amy);
    engine.Post([bob](server::Ledger& l, const server::LocalTime& now) { return RestingBuy(l, bob, now); },
                [&](std::optional<server::Answer>) { note("bob"); }, std::nullopt, false, bob);
    release.set_value();
    ASSERT_EQ(all.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const auto bobsPlace = std::find(answered.begin(), answered.end(), "bob") - answered.begin();
    EXPECT_LE(bobsPlace, static_cast<long>(server::Engine::kAccountShare)) << "bob waited behind amy's whole flood";
}

TEST(CrowdFairnessTest, AQueryBeingReadDoesNotHoldUpAnotherAccountsOrder) {
    ServerHarness harness;
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    const std::int64_t amy = harness.Directory().Find("amy")->id;
    const std::int64_t bob = harness.Directory().Find("bob")->id;
    server::Engine& engine = harness.GetEngine();
    std::promise<std::optional<std::string>> bobsAnswer;
    std::shared_future<std::optional<std::string>> answer = bobsAnswer.get_future().share();
    std::promise<void> reading;
    std::promise<bool> orderAnsweredMeanwhile;
    std::promise<std::optional<std::string>> amysAnswer;
    // amy's query reads until bob's order is answered, or gives up after 5 s.
    engine.PostQuery(
        amy,
        [&](server::Ledger&, const server::LocalTime&) -> server::Engine::Read {
            return [&, amy](server::AccountHistory& history) -> std::optional<std::string> {
                reading.set_value();
                orderAnsweredMeanwhile.set_value(answer.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
                return server::OrdersReply(history.Orders(amy, "2000-01-01", "2099-12-31"));
            };
        },
        [&](std::optional<server::Answer> a) { amysAnswer.set_value(server::BodyOf(std::move(a))); });
    ASSERT_EQ(reading.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    engine.Post([bob](server::Ledger& l, const server::LocalTime& now) { return RestingBuy(l, bob, now); },
                [&](std::optional<server::Answer> a) { bobsAnswer.set_value(server::BodyOf(std::move(a))); },
                std::nullopt, false, bob);
    EXPECT_TRUE(orderAnsweredMeanwhile.get_future().get());
    EXPECT_TRUE(answer.get().value_or("").starts_with("0,"));
    EXPECT_EQ(amysAnswer.get_future().get(), std::optional<std::string>("")) << "amy has no orders";
}

TEST(CrowdFairnessTest, ACancelAllOfManyOrdersLetsAnotherAccountsOrderThroughBetweenItsTurns) {
    ServerHarness harness;
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    const std::int64_t amy = harness.Directory().Find("amy")->id;
    const std::int64_t bob = harness.Directory().Find("bob")->id;
    harness.OnEngine([amy](server::Ledger& ledger, const server::LocalTime& now) {
        for (int i = 0; i < 1000; ++i)
            ASSERT_TRUE(RestingBuy(ledger, amy, now).starts_with("0,"));
    });
    server::Engine& engine = harness.GetEngine();
    std::promise<void> release = HoldEngine(engine);
    std::promise<std::optional<std::string>> cancelAnswer;
    engine.PostSliced(
        amy,
        [amy, &harness](server::Ledger& ledger, const server::LocalTime& now, server::Engine::Turn& turn) {
            return server::CancelAllTurn(ledger, server::WindowAt(harness.Options(), now), amy, net::kCmdCancelAll,
                                         turn.progress, turn.more);
        },
        [&](std::optional<server::Answer> a) { cancelAnswer.set_value(server::BodyOf(std::move(a))); },
        std::string("1,busy"));
    std::size_t amysOpenOrders = 0;
    std::promise<void> bobDone;
    engine.Post(
        [&, bob, amy](server::Ledger& l, const server::LocalTime& now) {
            amysOpenOrders = l.FindAccount(amy)->openOrders.size();
            return RestingBuy(l, bob, now);
        },
        [&](std::optional<server::Answer>) { bobDone.set_value(); }, std::nullopt, false, bob);
    // amy's own order after her cancel-all waits for all of it, so stays open.
    std::promise<std::optional<std::string>> amysOrder;
    engine.Post([amy](server::Ledger& l, const server::LocalTime& now) { return RestingBuy(l, amy, now); },
                [&](std::optional<server::Answer> a) { amysOrder.set_value(server::BodyOf(std::move(a))); },
                std::nullopt, false, amy);
    release.set_value();
    EXPECT_EQ(cancelAnswer.get_future().get(), std::optional<std::string>("0,已撤销1000笔委托"));
    EXPECT_TRUE(amysOrder.get_future().get().value_or("").starts_with("0,"));
    bobDone.get_future().wait();
    EXPECT_GT(amysOpenOrders, 0u) << "bob's order waited for the whole cancel-all";
    EXPECT_LT(amysOpenOrders, 1000u);
    harness.OnEngine([amy](server::Ledger& ledger, const server::LocalTime&) {
        EXPECT_EQ(ledger.FindAccount(amy)->openOrders.size(), 1u);
    });

    // Over the wire, the turns add up to one answer.
    harness.OnEngine([amy](server::Ledger& ledger, const server::LocalTime& now) {
        for (int i = 0; i < 250; ++i)
            ASSERT_TRUE(RestingBuy(ledger, amy, now).starts_with("0,"));
    });
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("amy", "pw"), ",,,")[0], "0");
    EXPECT_EQ(client.Request(net::kCmdCancelAll), "0,已撤销251笔委托") << "250 and the one kept above";
    const auto orders = Records(client.Request(net::kCmdTodayOrders));
    ASSERT_GT(orders.size(), 250u) << "the newest of 1,250, as many as fill a frame";
    for (const auto& order : orders)
        ASSERT_EQ(order[8], "已撤");
}

} // namespace
