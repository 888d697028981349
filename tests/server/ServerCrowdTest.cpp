// A crowd of hostile contestants, logged in or not: none of them can outlive a password
// change, exhaust the server's memory or slots, or starve the others.

#include "net/Commands.h"
#include "net/Frame.h"
#include "tests/server/Records.h"
#include "tests/server/ServerHarness.h"
#include "tests/server/TestClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
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

} // namespace
