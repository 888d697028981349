// Failures of a PostgreSQL contest's leader that a clean kill does not show: its network path to
// the database stops forwarding (a proxy that holds every byte), it is stopped with SIGSTOP,
// the database restarts. Each time a server serves again, no order is acknowledged after the
// leader could no longer be sure it led, and every acknowledged order is stored exactly once.

#include "net/TradingLink.h"
#include "server/store/pg/LeaderLease.h"
#include "server/store/pg/PgStore.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/RecordingNotifier.h"
#include "tests/support/RefusingPort.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

using namespace std::chrono_literals;
using server::LeaderLease;
using tavix::test::Gbk;
using tavix::test::WaitUntil;

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A database of its own on a cluster (the suite's, or one started here), with one trader.
struct Contest {
    fs::path dir = fs::temp_directory_path() / ("tavix-failover-" + std::to_string(getpid()));
    std::string clusterFolder, adminUri, name, uri;

    explicit Contest(const std::string& state, const std::string& label) {
        std::ifstream in(state);
        std::getline(in, clusterFolder);
        std::getline(in, adminUri);
        name = label + "_" + std::to_string(getpid());
        server::PgStore(adminUri).Execute(("CREATE DATABASE " + name).c_str());
        uri = Via("host=" + clusterFolder + "&port=5432");
        fs::create_directories(dir);
        // The fixed book: buys at 9.50 rest below the 10.00 ask.
        std::ofstream(dir / "book.csv")
            << "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,"
               "10.00,10.01,10.02,10.03,10.04,300,200,1000,1000,1000\n";
    }
    ~Contest() {
        std::error_code ec;
        fs::remove_all(dir, ec);
        try {
            server::PgStore(adminUri).Execute(("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)").c_str());
        } catch (const std::exception&) {
        }
    }
    std::string Via(const std::string& where) const { return "postgresql:///" + name + "?" + where + "&user=postgres"; }
};

// quorvexd serve on `uri`, its output in DIR/LABEL.log and its port in DIR/LABEL.port; killed
// when the test ends early.
struct Server {
    pid_t pid = -1;
    fs::path log, portFile;

    Server(const Contest& c, const std::string& label, const std::string& uri, int port = 0)
        : log(c.dir / (label + ".log"))
        , portFile(c.dir / (label + ".port")) {
        const std::vector<std::string> args = {QUORVEXD_PATH,  "serve",
                                               "--db",         uri,
                                               "--listen",     "127.0.0.1:" + std::to_string(port),
                                               "--port-file",  portFile.string(),
                                               "--no-demo",    "--fast-hash",
                                               "--tick-ms",    "100",
                                               "--quotes-csv", (c.dir / "book.csv").string()};
        pid = fork();
        if (pid == 0) {
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            setenv("QUORVEXD_TEST_FAST_HASH", "1", 1);
            std::vector<char*> argv;
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(QUORVEXD_PATH, argv.data());
            _exit(127);
        }
    }
    ~Server() {
        if (::testing::Test::HasFailure())
            std::printf("--- %s\n%s", log.c_str(), Slurp(log).c_str());
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    bool Serving() const {
        return WaitUntil([&] { return fs::exists(portFile); }, 30s);
    }
    bool Says(const std::string& text) const {
        return WaitUntil([&] { return Slurp(log).find(text) != std::string::npos; }, 30s);
    }
    int Port() const {
        int port = 0;
        std::ifstream(portFile) >> port;
        return port;
    }
    // The exit code once it ended within `limit`, -1 when it did not.
    int Exit(std::chrono::seconds limit) {
        int status = 0;
        if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit))
            return -1;
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

// The client's trading link, logged in as the trader, sending a buy order every few ms while
// `loading`; the servers are tried in turn.
struct Trader {
    net::SharedState shared;
    tavix::test::RecordingNotifier notifier{true};
    net::TradingLink link{shared, notifier};
    std::atomic<bool> loading{true}, stop{false};
    std::atomic<int> sent{0};
    std::thread load;

    explicit Trader(const std::vector<int>& ports) {
        shared.port = ports[0];
        for (std::size_t i = 1; i < ports.size(); ++i)
            shared.moreServers.push_back({"127.0.0.1", static_cast<std::uint16_t>(ports[i])});
        shared.credentials.Set("trader", "pw");
        link.Start();
        EXPECT_TRUE(WaitUntil([&] { return link.SendRequest(net::kCmdLogin, "user_name=trader&pwd=pw&yjm=0123"); }));
        EXPECT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 20s));
        load = std::thread([this] {
            for (; !stop; std::this_thread::sleep_for(3ms))
                if (loading && link.SendRequest(net::kCmdOrder, "code=600000&price=9.50&num=100&name=x&type=1"))
                    ++sent;
        });
    }
    ~Trader() {
        stop = true;
        load.join();
        link.Stop();
    }
    // Contract numbers of the acknowledged orders, and how many orders were answered busy.
    std::set<long long> Acknowledged() const {
        static const std::string marker = Gbk("合同编号");
        std::set<long long> ids;
        for (const auto& e : notifier.Events())
            if (const auto at = e.body.find(marker); e.message == net::kMsgOrderReply && e.body.starts_with("0,"))
                ids.insert(std::atoll(e.body.c_str() + at + marker.size()));
        return ids;
    }
    int Busy() const {
        int busy = 0;
        for (const auto& e : notifier.Events())
            busy += e.message == net::kMsgOrderReply && e.body == Gbk("1,系统繁忙，委托未受理，请稍后再试");
        return busy;
    }
    bool AcknowledgedReach(std::size_t count) const {
        return WaitUntil([&] { return Acknowledged().size() >= count; }, 30s);
    }
};

void AddTrader(const Contest& c) {
    const std::string command =
        std::string(QUORVEXD_PATH) + " add-user trader pw --cash 100000000 --fast-hash --db '" + c.uri + "' >/dev/null";
    ASSERT_EQ(std::system(("QUORVEXD_TEST_FAST_HASH=1 " + command).c_str()), 0);
}

// Every acknowledged order is stored once, with the 955.01 it holds; nothing else is stored
// beyond what was sent.
void ExpectStoredOnce(const Contest& c, const Trader& trader) {
    server::PgStore db(c.uri);
    std::map<long long, int> stored;
    server::Statement orders = db.Prepare("SELECT id FROM orders");
    while (orders.Step())
        ++stored[orders.Int(0)];
    const auto acked = trader.Acknowledged();
    for (const long long id : acked)
        EXPECT_EQ(stored[id], 1) << "acknowledged order " << id;
    EXPECT_LE(static_cast<int>(stored.size()), trader.sent.load());
    server::Statement frozen =
        db.Prepare("SELECT frozen, (SELECT COUNT(*) FROM orders) FROM users WHERE name = 'trader'");
    ASSERT_TRUE(frozen.Step());
    EXPECT_EQ(frozen.Int(0), 95'501 * frozen.Int(1));
}

const char* SuiteCluster() {
    const char* state = std::getenv("QUORVEXD_TEST_PG_STATE");
    return state && Slurp(state) != "none\n" ? state : nullptr;
}

TEST(FailoverTest, APartitionedLeaderStopsAndTheStandbyServes) {
    const char* state = SuiteCluster();
    if (!state)
        GTEST_SKIP() << "runs against the PostgreSQL test cluster (QUORVEXD_TEST_PG_STATE)";
    Contest contest(state, "partition");
    AddTrader(contest);
    tavix::test::FaultProxy path(contest.clusterFolder + "/.s.PGSQL.5432");
    Server leader(contest, "leader", contest.Via("host=127.0.0.1&port=" + std::to_string(path.Port())));
    ASSERT_TRUE(leader.Serving());
    const int standbyPort = tavix::test::RefusingPort().Port();
    Server standby(contest, "standby", contest.uri, standbyPort);
    ASSERT_TRUE(standby.Says("standby"));
    Trader trader({leader.Port(), standbyPort});
    ASSERT_TRUE(trader.AcknowledgedReach(20));

    path.SetHolding(true); // the leader's bytes go nowhere, and nobody hears of it
    EXPECT_EQ(leader.Exit(20s), 3);
    ASSERT_TRUE(standby.Serving());
    EXPECT_TRUE(standby.Says("ended its database session"));
    EXPECT_TRUE(trader.AcknowledgedReach(trader.Acknowledged().size() + 20)) << "the link follows the standby";
    trader.loading = false;
    std::this_thread::sleep_for(500ms);
    ExpectStoredOnce(contest, trader);
}

TEST(FailoverTest, AStoppedLeaderIsReplacedAndAcknowledgesNothingOnceResumed) {
    const char* state = SuiteCluster();
    if (!state)
        GTEST_SKIP() << "runs against the PostgreSQL test cluster (QUORVEXD_TEST_PG_STATE)";
    for (const bool withStandby : {false, true}) {
        SCOPED_TRACE(withStandby ? "with a standby" : "alone");
        Contest contest(state, withStandby ? "stopped_standby" : "stopped_alone");
        AddTrader(contest);
        Server leader(contest, "leader", contest.uri);
        ASSERT_TRUE(leader.Serving());
        std::unique_ptr<Server> standby;
        if (withStandby) {
            standby = std::make_unique<Server>(contest, "standby", contest.uri);
            ASSERT_TRUE(standby->Says("standby"));
        }
        Trader trader({leader.Port()}); // the old leader alone: whatever is acknowledged, it was
        ASSERT_TRUE(trader.AcknowledgedReach(20));
        trader.loading = false;
        ASSERT_TRUE(WaitUntil([&] { return trader.notifier.CountOf(net::kMsgOrderReply) >= trader.sent; }));
        const auto before = trader.Acknowledged();

        kill(leader.pid, SIGSTOP);
        trader.loading = true; // these wait in the stopped server's socket
        std::this_thread::sleep_for(300ms);
        trader.loading = false;
        if (standby)
            EXPECT_TRUE(standby->Serving()) << "the standby took over the stopped leader";
        else
            std::this_thread::sleep_for(LeaderLease::kTrusted + 1s); // nobody took its place
        kill(leader.pid, SIGCONT);
        EXPECT_EQ(leader.Exit(20s), 3);
        EXPECT_EQ(trader.Acknowledged(), before);
        ExpectStoredOnce(contest, trader);
    }
}

TEST(FailoverTest, ADatabaseRestartIsRiddenOutAndOneServerServesAgain) {
    if (!SuiteCluster())
        GTEST_SKIP() << "needs PostgreSQL (the suite's test cluster)";
    // A cluster of its own: the suite's serves other tests meanwhile.
    const fs::path state = fs::temp_directory_path() / ("tavix-restart-" + std::to_string(getpid()) + ".state");
    const auto cluster = [&](const char* action) {
        return std::system(("bash " PG_CLUSTER_SCRIPT " " + std::string(action) + " " + state.string()).c_str());
    };
    ASSERT_EQ(cluster("start"), 0);
    struct Removal {
        std::function<int(const char*)> cluster;
        ~Removal() { cluster("stop"); }
    } removal{cluster};
    Contest contest(state, "restart");
    AddTrader(contest);
    Server leader(contest, "leader", contest.uri);
    ASSERT_TRUE(leader.Serving());
    const int standbyPort = tavix::test::RefusingPort().Port();
    Server standby(contest, "standby", contest.uri, standbyPort);
    ASSERT_TRUE(standby.Says("standby"));
    Trader trader({leader.Port(), standbyPort});
    ASSERT_TRUE(trader.AcknowledgedReach(20));

    ASSERT_EQ(cluster("down"), 0);
    std::this_thread::sleep_for(LeaderLease::kTerm + 3s); // longer than any lease
    const auto duringOutage = trader.Acknowledged().size();
    EXPECT_GT(trader.Busy(), 0) << "the leader answers busy while it reconnects";
    EXPECT_EQ(waitpid(leader.pid, nullptr, WNOHANG), 0) << "the leader reconnects for longer than the outage";
    EXPECT_EQ(waitpid(standby.pid, nullptr, WNOHANG), 0) << "the standby waits through the outage";
    ASSERT_EQ(cluster("up"), 0);
    EXPECT_TRUE(trader.AcknowledgedReach(duringOutage + 20)) << "one server serves again";
    trader.loading = false;
    std::this_thread::sleep_for(500ms);
    ExpectStoredOnce(contest, trader);
}

} // namespace
