// Two quorvexd on one PostgreSQL database and the client's real trading link given both
// addresses: the serving one is killed with SIGKILL in the middle of a stream of orders; the
// standby takes over, the link follows it, and every order the client saw acknowledged is in
// the database exactly once, with the funds it holds.

#include "net/TradingLink.h"
#include "server/store/pg/PgStore.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/QuorvexdChild.h"
#include "tests/support/RecordingNotifier.h"
#include "tests/support/RefusingPort.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tavix::test::Gbk;
using tavix::test::QuorvexdChild;
using tavix::test::RecordingNotifier;
using tavix::test::ScratchDir;
using tavix::test::WaitUntil;

namespace {

constexpr auto kServerWait = std::chrono::seconds(20);

// quorvexd with `args`, its output in `log`; stopped when the test ends, early or not.
QuorvexdChild::Options LogTo(const std::filesystem::path& log) {
    QuorvexdChild::Options options;
    options.outputFile = log;
    return options;
}

int RunToEnd(const std::vector<std::string>& args) {
    QuorvexdChild child(args, LogTo("/dev/null"));
    return child.Wait();
}

// True once `file` exists; false at once when `child`, which should write it, has ended.
bool Written(const std::filesystem::path& file, QuorvexdChild& child) {
    return WaitUntil([&] { return std::filesystem::exists(file) || child.Exited(); }, kServerWait) &&
           std::filesystem::exists(file);
}

bool LogSays(const std::filesystem::path& log, const std::string& text) {
    std::ifstream in(log);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.find(text) != std::string::npos;
}

// The contract number of an acceptance ("0,委托已受理，合同编号N…"), 0 for anything else.
long long ContractOf(const std::string& gbkAnswer) {
    static const std::string marker = Gbk("合同编号");
    if (gbkAnswer.rfind("0,", 0) != 0)
        return 0;
    const auto at = gbkAnswer.find(marker);
    return at == std::string::npos ? 0 : std::atoll(gbkAnswer.c_str() + at + marker.size());
}

TEST(TakeoverTest, TheStandbyServesEveryAcknowledgedOrderAndTheClientFollows) {
    const char* state = std::getenv("QUORVEXD_TEST_PG_STATE");
    if (!state)
        GTEST_SKIP() << "runs against the PostgreSQL test cluster (QUORVEXD_TEST_PG_STATE)";
    std::ifstream stateFile(state);
    std::string folder, adminUri;
    std::getline(stateFile, folder);
    std::getline(stateFile, adminUri);
    ASSERT_FALSE(adminUri.empty());
    const std::string name = "takeover_" + std::to_string(getpid());
    {
        server::PgStore admin(adminUri);
        admin.Execute(("DROP DATABASE IF EXISTS " + name).c_str());
        admin.Execute(("CREATE DATABASE " + name).c_str());
    }
    const std::string uri =
        adminUri.substr(0, adminUri.find("/postgres?")) + "/" + name + adminUri.substr(adminUri.find("/postgres?") + 9);
    const ScratchDir scratch("tavix-takeover");
    const auto& dir = scratch.Path();
    // The fixed book: buys at 9.50 rest below the 10.00 ask.
    std::ofstream(dir / "book.csv")
        << "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,10.00,10.01,10.02,"
           "10.03,10.04,300,200,1000,1000,1000\n"
           "0,000001,平安银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,10.00,10.01,10.02,"
           "10.03,10.04,300,200,1000,1000,1000\n";
    ASSERT_EQ(RunToEnd({"add-user", "trader", "pw", "--cash", "100000000", "--db", uri, "--fast-hash"}), 0);

    const std::uint16_t standbyPort = [] {
        tavix::test::RefusingPort free;
        return free.Port();
    }();
    const auto serve = [&](const std::string& listen, const std::string& portFile) {
        return std::vector<std::string>{"serve",
                                        "--db",
                                        uri,
                                        "--listen",
                                        listen,
                                        "--port-file",
                                        portFile,
                                        "--no-demo",
                                        "--fast-hash",
                                        "--tick-ms",
                                        "100",
                                        "--quotes-csv",
                                        (dir / "book.csv").string()};
    };
    QuorvexdChild first(serve("127.0.0.1:0", (dir / "first.port").string()), LogTo(dir / "first.log"));
    ASSERT_TRUE(Written(dir / "first.port", first)) << "first server";
    int firstPort = 0;
    std::ifstream(dir / "first.port") >> firstPort;
    QuorvexdChild second(serve("127.0.0.1:" + std::to_string(standbyPort), (dir / "second.port").string()),
                         LogTo(dir / "second.log"));
    ASSERT_TRUE(WaitUntil([&] { return LogSays(dir / "second.log", "standby"); }, kServerWait))
        << "second server stands by";

    net::SharedState shared;
    shared.port = firstPort;
    shared.moreServers = {{"127.0.0.1", standbyPort}};
    shared.credentials.Set("trader", "pw");
    RecordingNotifier notifier{true};
    net::TradingLink link{shared, notifier};
    link.Start();
    ASSERT_TRUE(
        WaitUntil([&] { return link.SendRequest(net::kCmdLogin, "user_name=trader&pwd=pw&yjm=0123"); }, kServerWait));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 20s));
    link.UpdateQuoteSubscription("600000");

    // The load: an order every few milliseconds from a thread of its own, whatever happens.
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread load([&] {
        while (!stop.load()) {
            if (link.SendRequest(net::kCmdOrder, "code=600000&price=9.50&num=100&name=x&type=1"))
                ++sent;
            std::this_thread::sleep_for(3ms);
        }
    });
    const auto acknowledged = [&] {
        std::set<long long> ids;
        for (const auto& e : notifier.Events())
            if (e.message == net::kMsgOrderReply)
                if (const long long id = ContractOf(e.body))
                    ids.insert(id);
        return ids;
    };
    ASSERT_TRUE(WaitUntil([&] { return acknowledged().size() >= 40; }, kServerWait)) << "orders before the kill";
    const auto killedAt = std::chrono::steady_clock::now();
    first.Kill(SIGKILL);
    const std::size_t beforeKill = acknowledged().size();

    // The standby takes over and the link follows it: orders are acknowledged again...
    ASSERT_TRUE(WaitUntil([&] { return acknowledged().size() >= beforeKill + 40; }, 30s)) << "orders after the kill";
    const auto servedAgainAfter = std::chrono::steady_clock::now() - killedAt;
    EXPECT_TRUE(LogSays(dir / "second.log", "taking over"));
    // ...and quotes come from the standby: a code first subscribed now gets its quote.
    link.UpdateQuoteSubscription("000001");
    net::QuoteRecord quote{};
    EXPECT_TRUE(WaitUntil([&] { return shared.quotes.FindQuote("000001", quote); }, 10s));
    stop = true;
    load.join();
    link.Stop();
    second.Kill(SIGTERM);
    std::printf(
        "takeover: orders acknowledged again %lld ms after the kill\n",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(servedAgainAfter).count()));

    const std::set<long long> acked = acknowledged();
    server::PgStore db(uri);
    std::map<long long, int> stored;
    server::Statement orders = db.Prepare("SELECT id FROM orders");
    while (orders.Step())
        ++stored[orders.Int(0)];
    for (const long long id : acked)
        EXPECT_EQ(stored[id], 1) << "acknowledged order " << id;
    EXPECT_GE(stored.size(), acked.size());
    EXPECT_LE(static_cast<int>(stored.size()), sent.load());
    // Every stored order still holds its funds, none more: 950.00, 5.00 commission, 0.01 transfer fee.
    server::Statement frozen = db.Prepare(
        "SELECT u.frozen, (SELECT COALESCE(SUM(frozen_cash), 0) FROM orders o WHERE o.user_id = u.id AND status = 0), "
        "(SELECT COUNT(*) FROM orders o WHERE o.user_id = u.id) FROM users u WHERE name = ?");
    frozen.Bind(1, "trader");
    ASSERT_TRUE(frozen.Step());
    EXPECT_EQ(frozen.Int(0), frozen.Int(1));
    EXPECT_EQ(frozen.Int(0), 95'501 * frozen.Int(2));
    frozen.Reset();

    server::PgStore admin(adminUri);
    admin.Execute(("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)").c_str());
}

TEST(TakeoverTest, ALeaderThatLosesItsDatabaseStopsAndTheStandbyServes) {
    const char* state = std::getenv("QUORVEXD_TEST_PG_STATE");
    if (!state)
        GTEST_SKIP() << "runs against the PostgreSQL test cluster (QUORVEXD_TEST_PG_STATE)";
    std::ifstream stateFile(state);
    std::string folder, adminUri;
    std::getline(stateFile, folder);
    std::getline(stateFile, adminUri);
    ASSERT_FALSE(adminUri.empty());
    const std::string name = "lost_" + std::to_string(getpid());
    server::PgStore admin(adminUri);
    admin.Execute(("DROP DATABASE IF EXISTS " + name).c_str());
    admin.Execute(("CREATE DATABASE " + name).c_str());
    const auto at = adminUri.find("/postgres?");
    const std::string uri = adminUri.substr(0, at) + "/" + name + adminUri.substr(at + 9);
    const ScratchDir scratch("tavix-lost");
    const auto& dir = scratch.Path();
    const auto serve = [&](const std::string& portFile) {
        return std::vector<std::string>{"serve",       "--db",   uri,         "--listen",  "127.0.0.1:0",
                                        "--port-file", portFile, "--no-demo", "--tick-ms", "100"};
    };
    QuorvexdChild first(serve((dir / "first.port").string()), LogTo(dir / "first.log"));
    ASSERT_TRUE(Written(dir / "first.port", first)) << "first server";
    QuorvexdChild second(serve((dir / "second.port").string()), LogTo(dir / "second.log"));
    ASSERT_TRUE(WaitUntil([&] { return LogSays(dir / "second.log", "standby"); }, kServerWait))
        << "second server stands by";

    // The database server drops the leader's connection (a restart, a network cut).
    server::Statement cut =
        admin.Prepare("SELECT pg_terminate_backend(l.pid) FROM pg_locks l JOIN pg_database d ON d.oid = l.database "
                      "WHERE l.locktype = 'advisory' AND l.granted AND l.objid = 2 AND d.datname = ?");
    cut.Bind(1, name);
    ASSERT_TRUE(cut.Step());
    cut.Reset();
    // The leader notices at its next batch (a market tick), stops with its own exit code...
    if (!WaitUntil([&] { return first.Exited(); }, 20s))
        ADD_FAILURE() << "the leader went on without its database";
    EXPECT_EQ(first.Exited() ? first.Wait() : -3, 3);
    // ...and the standby serves.
    EXPECT_TRUE(Written(dir / "second.port", second));
    admin.Execute(("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)").c_str());
}

} // namespace
