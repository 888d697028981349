// The real quorvexd binary, killed with SIGKILL while orders stream in: after a restart
// every acknowledged order is still there, with its funds frozen.

#include "net/Commands.h"
#include "net/Frame.h"
#include "tests/server/Records.h"
#include "tests/server/ServerHarness.h"
#include "tests/server/TestClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace servertest;

namespace {

// A child process running quorvexd with its stdout on a pipe.
class Child final {
public:
    explicit Child(std::vector<std::string> args, const std::string& cwd = {}) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
                ::_exit(126);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(QUORVEXD_PATH));
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(QUORVEXD_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        fd_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0)
            ::close(fd_);
    }
    // Reads stdout until a line contains `marker`; returns that line.
    std::string WaitLine(const std::string& marker) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const auto eol = buffer_.find('\n');
            if (eol != std::string::npos) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 1);
                if (line.find(marker) != std::string::npos)
                    return line;
                continue;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0)
                continue;
            char chunk[512];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
        return {};
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Kill() {
        ::kill(pid_, SIGKILL);
        Wait();
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string buffer_;
};

std::uint16_t PortOf(const std::string& line) {
    const auto at = line.find("127.0.0.1:");
    return at == std::string::npos ? 0 : static_cast<std::uint16_t>(std::stoi(line.substr(at + 10)));
}

TEST(ServerRestartTest, AcknowledgedOrdersSurviveSigkill) {
    TempDir dir;
    const TestDatabase store(dir.Path());
    const std::string db = store.Location();
    const std::string csv = (dir.Path() / "book.csv").string();
    std::ofstream(csv) << FixedBookCsv();
    {
        Child admin({"add-user", "zoe", "pw", "--cash", "5000000", "--db", db, "--fast-hash"});
        EXPECT_EQ(admin.Wait(), 0);
    }
    const std::vector<std::string> serve = {"serve",     "--db",         db,  "--listen",   "127.0.0.1:0",
                                            "--no-demo", "--quotes-csv", csv, "--fast-hash"};
    constexpr int kSent = 400;
    int acknowledged = 0;
    {
        Child server(serve);
        const std::uint16_t port = PortOf(server.WaitLine("listening"));
        ASSERT_NE(port, 0);
        TestClient client(port);
        ASSERT_EQ(Fields(client.Login("zoe", "pw"), ",,,")[0], "0");
        // Resting buys (below the ask), all sent at once; the kill lands mid-stream.
        std::string burst;
        for (int i = 0; i < kSent; ++i)
            burst += net::FormatFrame(
                net::kCmdOrder, net::WithCredentials("code=600000&price=9.50&num=100&name=x&type=1", "zoe", "pw"));
        client.SendRaw(burst);
        while (acknowledged < kSent / 2) {
            const auto reply = client.NextAnswer();
            ASSERT_TRUE(reply);
            ASSERT_TRUE(reply->body.starts_with("0,")) << reply->body;
            ++acknowledged;
        }
        server.Kill();
    }
    Child server(serve);
    const std::uint16_t port = PortOf(server.WaitLine("listening"));
    ASSERT_NE(port, 0);
    TestClient client(port);
    ASSERT_EQ(Fields(client.Login("zoe", "pw"), ",,,")[0], "0");
    const auto orders = Records(client.Request(net::kCmdTodayOrders, "start=1-1-1"));
    EXPECT_GE(static_cast<int>(orders.size()), acknowledged);
    EXPECT_LE(static_cast<int>(orders.size()), kSent);
    // Every stored order still holds its funds: 950.00 + 5.00 commission + 0.01 + 0.05 slack.
    const auto funds = Fields(client.Request(net::kCmdFunds));
    EXPECT_NEAR(std::stod(funds[2]), 955.06 * static_cast<double>(orders.size()), 0.001);

    // The admin commands work on the same file while the server runs; the server follows.
    {
        Child admin({"rollover", "--db", db});
        EXPECT_EQ(admin.Wait(), 0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Fields(client.Request(net::kCmdFunds))[2] != "0.00" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Fields(client.Request(net::kCmdFunds))[2], "0.00"); // open orders expired
    {
        Child ranking({"ranking", "--db", db});
        EXPECT_NE(ranking.WaitLine("zoe").find("5000000.00"), std::string::npos);
    }
}

TEST(ServerDemoTest, PlainServeRunsADemoContestThatAdminCommandsCanExtend) {
    TempDir dir;
    Child server({"serve", "--listen", "127.0.0.1:0", "--fast-hash", "--tick-ms", "100"}, dir.Path().string());
    EXPECT_NE(server.WaitLine("demo account").find("user demo, password demo123"), std::string::npos);
    const std::uint16_t port = PortOf(server.WaitLine("listening"));
    ASSERT_NE(port, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "data" / "quorvex.db"));
    TestClient demo(port);
    EXPECT_EQ(Fields(demo.Login("demo", "demo123"), ",,,")[0], "0");

    // An account added while the server runs can log in once the server has seen the change.
    {
        Child admin({"add-user", "late", "pw", "--data", "data", "--fast-hash"}, dir.Path().string());
        EXPECT_EQ(admin.Wait(), 0);
    }
    bool loggedIn = false;
    for (int attempt = 0; attempt < 4 && !loggedIn; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // a few market ticks
        TestClient late(port);
        loggedIn = Fields(late.Login("late", "pw"), ",,,")[0] == "0";
    }
    EXPECT_TRUE(loggedIn);
}

} // namespace
