// The quorvexd launcher the tests and benchmarks share: it must notice a child that died
// instead of waiting out its limit, and hand back what the child said.

#include "tests/support/QuorvexdChild.h"
#include "tests/support/QuorvexdProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

using tavix::test::QuorvexdChild;
using tavix::test::QuorvexdProcess;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLong = std::chrono::seconds(60);

TEST(QuorvexdLauncherTest, AServerThatDiesAtStartIsNoticedAtOnce) {
    QuorvexdProcess server({"--no-such-option"});
    const auto before = Clock::now();
    EXPECT_FALSE(server.Start(kLong));
    EXPECT_LT(Clock::now() - before, std::chrono::seconds(20)) << "waited for a child that had ended";
    EXPECT_FALSE(server.Running());
}

TEST(QuorvexdLauncherTest, WaitLineEndsWithTheChildsOutput) {
    QuorvexdChild child({"add-user", "a b", "pw", "--db", "/nonexistent/never.db"});
    const auto before = Clock::now();
    EXPECT_NE(child.WaitLine("quorvexd:", kLong).find("user name"), std::string::npos);
    EXPECT_EQ(child.WaitLine("never printed", kLong), "");
    EXPECT_LT(Clock::now() - before, std::chrono::seconds(20)) << "read past the end of the output";
    EXPECT_EQ(child.Wait(), 2);
}

TEST(QuorvexdLauncherTest, AServerListensRestartsOnItsPortAndRunsAdminCommands) {
    QuorvexdProcess server;
    ASSERT_TRUE(server.Start());
    const int port = server.Port();
    EXPECT_GT(port, 0);
    const auto added = server.Admin({"add-user", "zoe", "pw"});
    EXPECT_EQ(added.status, 0) << added.output;
    const auto refused = server.Admin({"add-user", "zoe", "other"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.output.find("exists"), std::string::npos) << refused.output;

    server.Pause();
    EXPECT_TRUE(server.Running());
    server.Resume();
    server.Kill();
    EXPECT_FALSE(server.Running());
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.Port(), port);
    EXPECT_NE(server.Admin({"ranking"}).output.find("zoe"), std::string::npos);
}

TEST(QuorvexdLauncherTest, TheListeningLineGivesThePortOfThePortFile) {
    tavix::test::ScratchDir dir;
    const auto portFile = dir.Path() / "port";
    QuorvexdChild server({"serve", "--data", dir.Path().string(), "--listen", "127.0.0.1:0", "--port-file",
                          portFile.string(), "--fast-hash"});
    const std::uint16_t port = server.WaitListeningPort();
    ASSERT_NE(port, 0);
    int written = 0;
    std::ifstream(portFile) >> written;
    EXPECT_EQ(written, port);
}

} // namespace
