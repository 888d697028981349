// A crowd of hostile contestants, logged in or not: none of them can outlive a password
// change, exhaust the server's memory or slots, or starve the others.

#include "net/Commands.h"
#include "net/Frame.h"
#include "tests/server/Records.h"
#include "tests/server/ServerHarness.h"
#include "tests/server/TestClient.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace servertest;

namespace {

TEST(CrowdPasswordTest, LoginsBeingCheckedDuringAPasswordChangeDoNotGetIn) {
    ServerHarness harness;
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
        std::ofstream(o.quotesCsv) << "0,600000,X,10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,"
                                      "10.00,10.01,10.02,10.03,10.04,300,200,1000,1000,1000\n";
    });
    harness.AddUser("amy", "pw", 200'000'000);
    harness.AddUser("bob", "pw");
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime&) {
        server::Account& account = *ledger.FindAccount("amy");
        for (int i = 0; i < 900; ++i) // today's orders answer with about 50 KB
            ASSERT_TRUE(ledger.PlaceOrder(account, "600000", "9.50", "100", "1", "09:00:00").starts_with("0,"));
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

} // namespace
