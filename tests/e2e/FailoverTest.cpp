// Failures of a PostgreSQL contest's leader that a clean kill does not show: its network path to
// the database stops forwarding (a proxy that holds every byte), it is stopped with SIGSTOP,
// the database restarts. Each time a server serves again, no order is acknowledged after the
// leader could no longer be sure it led, and every acknowledged order is stored exactly once.

#include "net/TradingLink.h"
#include "server/store/LeaderLease.h"
#include "server/store/pg/PgStore.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/QuorvexdChild.h"
#include "tests/support/RecordingNotifier.h"
#include "tests/support/RefusingPort.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

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

using tavix::test::QuorvexdChild;

std::string Slurp(const char* file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A database of its own on a cluster (the suite's, or one started here), with one trader.
struct Contest {
    tavix::test::ScratchDir dir{"tavix-failover"};
    std::string clusterFolder, adminUri, name, uri;

    explicit Contest(const std::string& state, const std::string& label) {
        std::ifstream in(state);
        std::getline(in, clusterFolder);
        std::getline(in, adminUri);
        name = label + "_" + std::to_string(getpid());
        server::PgStore(adminUri).Execute(("CREATE DATABASE " + name).c_str());
        uri = Via("host=" + clusterFolder + "&port=5432");
        // The fixed book: buys at 9.50 rest below the 10.00 ask.
        std::ofstream(dir.Path() / "book.csv") << "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,"
                                                  "1000,1000,10.00,10.01,10.02,10.03,10.04,300,200,1000,1000,1000\n";
        QuorvexdChild add({"add-user", "trader", "pw", "--cash", "100000000", "--db", uri, "--fast-hash"});
        EXPECT_EQ(add.WaitExit(20s), 0);
    }
    ~Contest() {
        try {
            server::PgStore(adminUri).Execute(("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)").c_str());
        } catch (const std::exception&) {
        }
    }
    std::string Via(const std::string& where) const { return "postgresql:///" + name + "?" + where + "&user=postgres"; }
    std::vector<std::string> Serve(const std::string& db, int port = 0) const {
        return {"serve",       "--db",      db,    "--listen",     "127.0.0.1:" + std::to_string(port), "--no-demo",
                "--fast-hash", "--tick-ms", "100", "--quotes-csv", (dir.Path() / "book.csv").string()};
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
    tavix::test::FaultProxy path(contest.clusterFolder + "/.s.PGSQL.5432");
    QuorvexdChild leader(contest.Serve(contest.Via("host=127.0.0.1&port=" + std::to_string(path.Port()))));
    const int leaderPort = leader.WaitListeningPort();
    ASSERT_NE(leaderPort, 0);
    const int standbyPort = tavix::test::RefusingPort().Port();
    QuorvexdChild standby(contest.Serve(contest.uri, standbyPort));
    ASSERT_NE(standby.WaitLine("standby"), "");
    Trader trader({leaderPort, standbyPort});
    ASSERT_TRUE(trader.AcknowledgedReach(20));

    path.SetHolding(true); // the leader's bytes go nowhere, and nobody hears of it
    EXPECT_NE(standby.WaitLine("ended its database session", 30s), "");
    EXPECT_NE(standby.WaitListeningPort(30s), 0);
    EXPECT_EQ(leader.WaitExit(20s), 3);
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
        QuorvexdChild leader(contest.Serve(contest.uri));
        const int leaderPort = leader.WaitListeningPort();
        ASSERT_NE(leaderPort, 0);
        std::unique_ptr<QuorvexdChild> standby;
        if (withStandby) {
            standby = std::make_unique<QuorvexdChild>(contest.Serve(contest.uri));
            ASSERT_NE(standby->WaitLine("standby"), "");
        }
        Trader trader({leaderPort}); // the old leader alone: whatever is acknowledged, it was
        ASSERT_TRUE(trader.AcknowledgedReach(20));
        trader.loading = false;
        ASSERT_TRUE(WaitUntil([&] { return trader.notifier.CountOf(net::kMsgOrderReply) >= trader.sent; }));
        const auto before = trader.Acknowledged();

        leader.Pause();
        trader.loading = true; // these wait in the stopped server's socket
        std::this_thread::sleep_for(300ms);
        trader.loading = false;
        if (standby)
            EXPECT_NE(standby->WaitListeningPort(30s), 0) << "the standby took over the stopped leader";
        else
            std::this_thread::sleep_for(LeaderLease::kTrusted + 1s); // nobody took its place
        leader.Resume();
        EXPECT_EQ(leader.WaitExit(20s), 3);
        EXPECT_EQ(trader.Acknowledged(), before);
        ExpectStoredOnce(contest, trader);
    }
}

TEST(FailoverTest, ADatabaseRestartIsRiddenOutAndOneServerServesAgain) {
    if (!SuiteCluster())
        GTEST_SKIP() << "needs PostgreSQL (the suite's test cluster)";
    // A cluster of its own: the suite's serves other tests meanwhile.
    const auto state =
        std::filesystem::temp_directory_path() / ("tavix-restart-" + std::to_string(getpid()) + ".state");
    const auto cluster = [&](const char* action) {
        return std::system(("bash " PG_CLUSTER_SCRIPT " " + std::string(action) + " " + state.string()).c_str());
    };
    ASSERT_EQ(cluster("start"), 0);
    struct Removal {
        std::function<int(const char*)> cluster;
        ~Removal() { cluster("stop"); }
    } removal{cluster};
    Contest contest(state, "restart");
    QuorvexdChild leader(contest.Serve(contest.uri));
    const int leaderPort = leader.WaitListeningPort();
    ASSERT_NE(leaderPort, 0);
    const int standbyPort = tavix::test::RefusingPort().Port();
    QuorvexdChild standby(contest.Serve(contest.uri, standbyPort));
    ASSERT_NE(standby.WaitLine("standby"), "");
    Trader trader({leaderPort, standbyPort});
    ASSERT_TRUE(trader.AcknowledgedReach(20));

    ASSERT_EQ(cluster("down"), 0);
    std::this_thread::sleep_for(LeaderLease::kTerm + 3s); // longer than any lease
    const auto duringOutage = trader.Acknowledged().size();
    EXPECT_GT(trader.Busy(), 0) << "the leader answers busy while it reconnects";
    EXPECT_FALSE(leader.Exited()) << "the leader reconnects for longer than the outage";
    EXPECT_FALSE(standby.Exited()) << "the standby waits through the outage";
    ASSERT_EQ(cluster("up"), 0);
    EXPECT_TRUE(trader.AcknowledgedReach(duringOutage + 20)) << "one server serves again";
    trader.loading = false;
    std::this_thread::sleep_for(500ms);
    ExpectStoredOnce(contest, trader);
}

} // namespace
