// The real quorvexd binary, killed with SIGKILL while orders stream in: after a restart
// every acknowledged order is still there, with its funds frozen.

#include "server/store/Store.h"
#include "tests/support/QuorvexdChild.h"
#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace tavix::test;

namespace {

enum class Hashes { kTestRun, kProduction };

// quorvexd run in `cwd` with `input` on its stdin. A test run may ask for cheap password
// hashes; a production run has no such permission in its environment.
QuorvexdChild::Options In(const std::string& cwd, Hashes hashes = Hashes::kTestRun, const std::string& input = {}) {
    QuorvexdChild::Options options;
    options.cwd = cwd;
    options.fastHash = hashes == Hashes::kTestRun;
    options.input = input;
    return options;
}

TEST(ServerRestartTest, AcknowledgedOrdersSurviveSigkill) {
    ScratchDir dir;
    const TestDatabase store(dir.Path());
    const std::string db = store.Location();
    const std::string csv = (dir.Path() / "book.csv").string();
    std::ofstream(csv) << FixedBookCsv();
    {
        QuorvexdChild admin({"add-user", "zoe", "pw", "--cash", "5000000", "--db", db, "--fast-hash"});
        EXPECT_EQ(admin.Wait(), 0);
    }
    const std::vector<std::string> serve = {"serve",     "--db",         db,  "--listen",   "127.0.0.1:0",
                                            "--no-demo", "--quotes-csv", csv, "--fast-hash"};
    constexpr int kSent = 400;
    int acknowledged = 0;
    {
        QuorvexdChild server(serve);
        const std::uint16_t port = server.WaitListeningPort();
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
    QuorvexdChild server(serve);
    const std::uint16_t port = server.WaitListeningPort();
    ASSERT_NE(port, 0);
    TestClient client(port);
    ASSERT_EQ(Fields(client.Login("zoe", "pw"), ",,,")[0], "0");
    const auto orders = Records(client.Request(net::kCmdTodayOrders, "start=1-1-1"));
    EXPECT_GE(static_cast<int>(orders.size()), acknowledged);
    EXPECT_LE(static_cast<int>(orders.size()), kSent);
    // Every stored order still holds its funds: 950.00 + 5.00 commission + 0.01 transfer fee
    // (950.00 x 0.00001 = 0.0095, rounded to the cent, owed on the order's running total).
    const auto funds = Fields(client.Request(net::kCmdFunds));
    ASSERT_FALSE(orders.empty());
    EXPECT_NEAR(std::stod(funds[2]), 955.01 * static_cast<double>(orders.size()), 0.001);
    // Numbers go on past every stored order, those whose answers the kill cut off included.
    EXPECT_EQ(client.Request(net::kCmdOrder, "code=600000&price=9.50&num=100&name=x&type=1"),
              "0,委托已受理，合同编号" + std::to_string(orders.size() + 1));

    // The admin commands work on the same file while the server runs; the server follows.
    {
        QuorvexdChild admin({"rollover", "--db", db});
        EXPECT_EQ(admin.Wait(), 0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Fields(client.Request(net::kCmdFunds))[2] != "0.00" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Fields(client.Request(net::kCmdFunds))[2], "0.00"); // open orders expired
    {
        QuorvexdChild ranking({"ranking", "--db", db});
        EXPECT_NE(ranking.WaitLine("zoe").find("5000000.00"), std::string::npos);
    }
}

TEST(ServerDemoTest, PlainServeRunsADemoContestThatAdminCommandsCanExtend) {
    ScratchDir dir;
    QuorvexdChild server({"serve", "--listen", "127.0.0.1:0", "--fast-hash", "--tick-ms", "100"},
                         In(dir.Path().string()));
    EXPECT_NE(server.WaitLine("demo account").find("user demo, password demo123"), std::string::npos);
    const std::uint16_t port = server.WaitListeningPort();
    ASSERT_NE(port, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "data" / "quorvex.db"));
    TestClient demo(port);
    EXPECT_EQ(Fields(demo.Login("demo", "demo123"), ",,,")[0], "0");

    // An account added while the server runs can log in once the server has seen the change.
    {
        QuorvexdChild admin({"add-user", "late", "pw", "--data", "data", "--fast-hash"}, In(dir.Path().string()));
        EXPECT_EQ(admin.Wait(), 0);
    }
    // The password may come on standard input instead of the command line.
    {
        const std::string cwd = dir.Path().string();
        QuorvexdChild admin({"add-user", "quiet", "--data", "data", "--fast-hash"},
                            In(cwd, Hashes::kTestRun, "s3cret,ok?\n"));
        EXPECT_EQ(admin.Wait(), 2); // ',' is refused in a password, and nothing is added
        QuorvexdChild again({"add-user", "quiet", "-", "--data", "data", "--fast-hash"},
                            In(cwd, Hashes::kTestRun, "s3cret!\n"));
        EXPECT_EQ(again.Wait(), 0);
        QuorvexdChild empty({"add-user", "nothing", "--data", "data", "--fast-hash"}, In(cwd));
        EXPECT_EQ(empty.Wait(), 2);
    }
    // Any request starts a batch, and a batch first takes in what an admin command wrote.
    EXPECT_EQ(Fields(demo.Request(net::kCmdFunds)).size(), 10u);
    TestClient late(port);
    EXPECT_EQ(Fields(late.Login("late", "pw"), ",,,")[0], "0");
    TestClient quiet(port);
    EXPECT_EQ(Fields(quiet.Login("quiet", "s3cret!"), ",,,")[0], "0");
}

TEST(ServerDemoTest, CheapHashesAreRefusedOutsideTestRuns) {
    ScratchDir dir;
    for (const char* command : {"serve", "add-user"}) {
        std::vector<std::string> args = {command, "--listen", "127.0.0.1:0", "--fast-hash"};
        if (std::string(command) == "add-user")
            args = {command, "eve", "pw", "--fast-hash"};
        QuorvexdChild child(args, In(dir.Path().string(), Hashes::kProduction));
        EXPECT_EQ(child.WaitExit(std::chrono::seconds(20)), 2) << command;
        EXPECT_NE(child.WaitLine("--fast-hash").find("QUORVEXD_TEST_FAST_HASH=1"), std::string::npos) << command;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "data" / "quorvex.db")) << "nothing stored";

    // The bound port of `--listen HOST:0` is written to the port file once connections are taken.
    const auto portFile = dir.Path() / "port";
    QuorvexdChild server({"serve", "--listen", "127.0.0.1:0", "--port-file", portFile.string(), "--fast-hash"},
                         In(dir.Path().string()));
    const std::uint16_t announced = server.WaitListeningPort();
    ASSERT_NE(announced, 0);
    int written = 0;
    std::ifstream(portFile) >> written;
    EXPECT_EQ(written, announced);
    TestClient demo(announced);
    EXPECT_EQ(Fields(demo.Login("demo", "demo123"), ",,,")[0], "0");
}

} // namespace

namespace {

// Runs one admin command to its end; returns its exit status and, through `output`, the
// first line that contains `marker`.
int Admin(std::vector<std::string> args, const std::string& marker = {}, std::string* output = nullptr) {
    QuorvexdChild admin(std::move(args));
    if (!marker.empty() && output)
        *output = admin.WaitLine(marker);
    return admin.WaitExit(std::chrono::seconds(20));
}

} // namespace

TEST(AdminCommandTest, AddUserRefusesBadInputAndStoresNothingForIt) {
    ScratchDir dir;
    const std::string db = (dir.Path() / "contest.db").string();
    ASSERT_EQ(Admin({"add-user", "zoe", "pw", "--cash", "5000000", "--db", db, "--fast-hash"}), 0);
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"add-user", "a b", "pw"}, "user name"},
        {{"add-user", "a,b", "pw"}, "user name"},
        {{"add-user", "a|b", "pw"}, "user name"},
        {{"add-user", std::string(33, 'n'), "pw"}, "user name"},
        {{"add-user", "ann", ""}, "password"},
        {{"add-user", "ann", std::string(33, 'p')}, "password"},
        {{"add-user", "ann", "p|w"}, "password"},
        {{"add-user", "ann", "pw", "--cash", "-1"}, "--cash"},
        {{"add-user", "ann", "pw", "--cash", "ten"}, "--cash"},
        {{"add-user", "ann", "pw", "--cash", "1000000000.01"}, "--cash"},
        {{"add-user", "ann", "pw", "--sh", "A 1"}, "shareholder"},
        {{"add-user", "zoe", "other"}, "exists"},
        {{"add-user"}, "wrong number"},
        {{"add-user", "ann"}, "no password on standard input"}, // and none given on the line
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--db", db, "--fast-hash"});
        std::string line;
        EXPECT_EQ(Admin(args, "quorvexd:", &line), 2) << c.args[1];
        EXPECT_NE(line.find(c.says), std::string::npos) << line;
    }
    // Only zoe, with her own cash.
    QuorvexdChild ranking({"ranking", "--db", db});
    const std::string zoe = ranking.WaitLine("zoe");
    EXPECT_NE(zoe.find("5000000.00"), std::string::npos) << zoe;
    EXPECT_EQ(ranking.WaitLine("ann"), "");
    EXPECT_EQ(ranking.Wait(), 0);
}

TEST(AdminCommandTest, FreezeUnfreezeAndResetReachARunningServer) {
    ScratchDir dir;
    const std::string db = (dir.Path() / "contest.db").string();
    const std::string csv = (dir.Path() / "book.csv").string();
    std::ofstream(csv) << FixedBookCsv();
    ASSERT_EQ(Admin({"add-user", "zoe", "pw", "--cash", "5000000", "--db", db, "--fast-hash"}), 0);
    QuorvexdChild server(
        {"serve", "--db", db, "--listen", "127.0.0.1:0", "--no-demo", "--quotes-csv", csv, "--fast-hash"});
    const std::uint16_t port = server.WaitListeningPort();
    ASSERT_NE(port, 0);
    TestClient client(port);
    ASSERT_EQ(Fields(client.Login("zoe", "pw"), ",,,")[0], "0");
    const std::string buy = "code=600000&price=10.00&num=100&name=x&type=1";
    ASSERT_TRUE(client.Request(net::kCmdOrder, buy).starts_with("0,"));

    // Every request's batch first takes in what an admin command wrote, so the very next
    // order sees the change.
    ASSERT_EQ(Admin({"freeze", "zoe", "--db", db}), 0);
    const std::string refused = client.Request(net::kCmdOrder, buy);
    EXPECT_TRUE(refused.starts_with("1,")) << refused;
    EXPECT_NE(refused.find("冻结"), std::string::npos) << refused;
    ASSERT_EQ(Admin({"unfreeze", "zoe", "--db", db}), 0);
    EXPECT_TRUE(client.Request(net::kCmdOrder, buy).starts_with("0,"));
    EXPECT_EQ(Records(client.Request(net::kCmdPositions)).size(), 1u);

    // Reset: the opening cash, nothing held, no orders and no history.
    ASSERT_EQ(Admin({"reset", "zoe", "--db", db}), 0);
    const auto funds = Fields(client.Request(net::kCmdFunds));
    ASSERT_EQ(funds.size(), 10u);
    EXPECT_EQ(funds[0], "5000000.00");
    EXPECT_EQ(funds[2], "0.00");
    EXPECT_EQ(client.Request(net::kCmdPositions), "");
    EXPECT_EQ(client.Request(net::kCmdTodayOrders, "start=1-1-1"), "");
    EXPECT_EQ(client.Request(net::kCmdTodayTrades, "start=1-1-1"), "");

    // Commands on a name that does not exist change nothing and say so.
    for (const char* command : {"freeze", "unfreeze", "reset"}) {
        std::string line;
        EXPECT_EQ(Admin({command, "nobody", "--db", db}, "quorvexd:", &line), 2) << command;
        EXPECT_NE(line.find("no user nobody"), std::string::npos) << line;
    }
}

namespace {

// Starts the clock of the quorvexd processes run after it at `moment`; undone with the object.
class ClockAt final {
public:
    explicit ClockAt(const char* moment) { ::setenv("QUORVEXD_TEST_CLOCK", moment, 1); }
    ~ClockAt() { ::unsetenv("QUORVEXD_TEST_CLOCK"); }
    ClockAt(const ClockAt&) = delete;
    ClockAt& operator=(const ClockAt&) = delete;
};

// The first column of the first row, or "-" when there is none.
std::string FirstValue(const std::string& db, const char* sql) {
    const auto store = server::OpenStore(db);
    server::Statement s = store->Prepare(sql);
    return s.Step() ? s.Text(0) : "-";
}

} // namespace

// The contest keeps its calendar: a command that forgets --exchange-day neither closes a day
// early nor moves trading to a Saturday, a read writes nothing, and a contradicting flag is refused.
TEST(ContestSettingsTest, TheCalendarIsTheContestsOwnAndAReadWritesNothing) {
    ScratchDir dir;
    TestDatabase store(dir.Path());
    const std::string db = store.Location();
    const std::string holidays = (dir.Path() / "holidays.txt").string();
    const std::string other = (dir.Path() / "other.txt").string();
    std::ofstream(holidays) << "2026-03-09\n"; // the Monday after 2026-03-06, a Friday
    std::ofstream(other) << "2026-10-01\n";
    {
        ClockAt friday("2026-03-06 10:00:00");
        ASSERT_EQ(Admin({"init-db", "--db", db, "--exchange-day", "--holidays", holidays}), 0);
    }
    {
        ClockAt saturday("2026-03-07 10:00:00");
        std::string line;
        EXPECT_EQ(Admin({"ranking", "--db", db}, "rank", &line), 0) << line;
        EXPECT_EQ(FirstValue(db, "SELECT value FROM meta WHERE key='day'"), "2026-03-06") << "no rollover";
        EXPECT_EQ(FirstValue(db, "SELECT day FROM closed_days"), "-") << "no day closed";
    }
    {
        ClockAt fridayAfterTheClose("2026-03-06 15:10:00");
        std::string line;
        EXPECT_EQ(Admin({"rollover", "--db", db}, "closed", &line), 0);
        // Monday is the contest's holiday: Tuesday is next.
        EXPECT_NE(line.find("trading day is now 2026-03-10"), std::string::npos) << line;
        EXPECT_EQ(FirstValue(db, "SELECT closed_at FROM closed_days WHERE day='2026-03-06'").substr(0, 18),
                  "2026-03-06 15:10:0");

        // (The processes say first that their clock is a test's.)
        EXPECT_EQ(
            Admin({"serve", "--db", db, "--listen", "127.0.0.1:0", "--hours", "09:30-11:30"}, "exchange's day", &line),
            2);
        EXPECT_NE(line.find("leave out --hours"), std::string::npos) << line;
        EXPECT_EQ(Admin({"ranking", "--db", db, "--exchange-day", "--holidays", other}, "contradicts", &line), 2);
        EXPECT_NE(line.find("holidays"), std::string::npos) << line;
        EXPECT_NE(line.find("init-db"), std::string::npos) << line;
        EXPECT_EQ(FirstValue(db, "SELECT value FROM meta WHERE key='holidays'"), "2026-03-09");
        // init-db replaces the list; the others then agree with it.
        ASSERT_EQ(Admin({"init-db", "--db", db, "--exchange-day", "--holidays", other}), 0);
        EXPECT_EQ(FirstValue(db, "SELECT value FROM meta WHERE key='holidays'"), "2026-10-01");
        EXPECT_EQ(Admin({"ranking", "--db", db, "--exchange-day", "--holidays", other}), 0);
    }

    // A contest created for the calendar day is not served by the exchange's.
    ScratchDir plainDir;
    TestDatabase plain(plainDir.Path());
    ASSERT_EQ(Admin({"init-db", "--db", plain.Location()}), 0);
    std::string line;
    EXPECT_EQ(
        Admin({"serve", "--db", plain.Location(), "--listen", "127.0.0.1:0", "--exchange-day"}, "quorvexd:", &line), 2);
    EXPECT_NE(line.find("created without --exchange-day"), std::string::npos) << line;
}

TEST(ContestSettingsTest, AMistypedContestIsAnErrorAndNothingIsCreated) {
    ScratchDir dir;
    const std::string missing = (dir.Path() / "contset").string();
    for (const auto& args : std::vector<std::vector<std::string>>{{"ranking", "--data", missing},
                                                                  {"ranking", "--db", missing + ".db"},
                                                                  {"freeze", "zoe", "--db", missing + ".db"},
                                                                  {"rollover", "--data", missing}}) {
        std::string line;
        EXPECT_EQ(Admin(args, "quorvexd:", &line), 1) << args[0];
        EXPECT_NE(line.find("no contest"), std::string::npos) << line;
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FALSE(std::filesystem::exists(missing + ".db"));

    // An empty PostgreSQL database is no contest either, and stays empty.
    TestDatabase store(dir.Path());
    if (store.IsPostgres()) {
        std::string line;
        EXPECT_EQ(Admin({"ranking", "--db", store.Location()}, "quorvexd:", &line), 1);
        EXPECT_NE(line.find("no contest"), std::string::npos) << line;
        EXPECT_EQ(FirstValue(store.Location(), "SELECT to_regclass('schema_migrations') IS NULL"), "t");
    }
}

// Each command takes only its own options, each once and within its range, and a refusal
// names the option (or the file and line) at fault.
TEST(CommandLineTest, OptionsOutOfRangeRepeatedOrForeignAreRefusedByName) {
    ScratchDir dir;
    const std::string db = (dir.Path() / "contest.db").string();
    const std::string book = FixedBookCsv(); // previous close 10.00: main board limits 9.00-11.00
    const std::string level = ",10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,10.00,10.01,10.02,"
                              "10.03,10.04,300,200,1000,1000,1000\n";
    const std::string zeroLast = (dir.Path() / "zero.csv").string();
    const std::string highLast = (dir.Path() / "high.csv").string();
    std::ofstream(zeroLast) << "# tick,code,...\n0,600000,x,0.00" << level.substr(6);
    std::ofstream(highLast) << "0,000001,y,10.00" << level.substr(6) << "0,600000,x,11.01" << level.substr(6);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"serve", "--min-commission", "1e300"}, 2, "--min-commission"},
        {{"serve", "--commission", "nan"}, 2, "--commission"},
        {{"serve", "--stamp-duty", "0.1"}, 2, "--stamp-duty"},
        {{"serve", "--tick-ms", "5"}, 2, "--tick-ms"},
        {{"serve", "--limit-main", "100"}, 2, "--limit-main"},
        {{"serve", "--idle-seconds", "0"}, 2, "--idle-seconds"},
        {{"serve", "--log-limit-mb", "-1"}, 2, "--log-limit-mb"},
        {{"serve", "--synchronous", "off"}, 2, "--synchronous"},
        {{"serve", "--tick-ms", "100", "--tick-ms", "200"}, 2, "--tick-ms"},
        {{"serve", "--no-demo", "--no-demo"}, 2, "--no-demo"},
        {{"serve", "--http", "::1:0"}, 2, "--http"},
        {{"ranking", "--tick-ms", "100"}, 2, "--tick-ms"},
        {{"add-user", "ann", "pw", "--no-demo"}, 2, "--no-demo"},
        {{"ranking", "--db", db, "--data", dir.Path().string()}, 2, "--data"},
        {{"ranking", "--data", dir.Path().string(), "--db", db}, 2, "--data"},
        {{"serve", "--listen", "nosuchhost.invalid:0"}, 1, "no such host"},
        {{"serve", "--quotes-csv", zeroLast}, 1, zeroLast + ":2:"},
        {{"serve", "--quotes-csv", highLast}, 1, highLast + ":2:"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        if (std::find(args.begin(), args.end(), "--db") == args.end() &&
            std::find(args.begin(), args.end(), "--data") == args.end())
            args.insert(args.end(), {"--db", db});
        args.insert(args.end(), {"--listen", "127.0.0.1:0"});
        if (c.args[0] != "serve" || std::find(args.begin(), args.end(), "--listen") != args.end() - 2)
            args.resize(args.size() - 2); // only serve listens, and only once
        std::string line;
        EXPECT_EQ(Admin(args, "quorvexd:", &line), c.status) << c.args[1] << " " << line;
        EXPECT_NE(line.find(c.says), std::string::npos) << line;
    }
    EXPECT_FALSE(std::filesystem::exists(db)) << "a refused command touches no contest";
    const std::string ok = (dir.Path() / "ok.csv").string();
    std::ofstream(ok) << "0,600000,x,11.00" << level.substr(6); // the limit itself is a price
    QuorvexdChild fine({"serve", "--db", db, "--listen", "127.0.0.1:0", "--quotes-csv", ok, "--no-demo"});
    EXPECT_NE(fine.WaitLine("listening"), "");
}

TEST(CommandLineTest, TheRankingPageListensOnIpv6) {
    ScratchDir dir;
    QuorvexdChild server(
        {"serve", "--db", (dir.Path() / "c.db").string(), "--listen", "127.0.0.1:0", "--http", "[::1]:0", "--no-demo"});
    const std::string line = server.WaitLine("ranking page");
    const auto at = line.find("http://[::1]:");
    ASSERT_NE(at, std::string::npos) << line;
    const int port = std::stoi(line.substr(at + 13));
    ASSERT_NE(server.WaitLine("listening"), ""); // the contest is loaded
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<std::uint16_t>(port));
    address.sin6_addr = in6addr_loopback;
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string request = "GET /ranking.json HTTP/1.0\r\n\r\n";
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    std::string reply;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
        reply.append(chunk, static_cast<std::size_t>(n));
    ::close(fd);
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 200") << reply;
}

// The database (with a PostgreSQL URI's password) may come from the environment, out of the
// process list; an option on the line still beats it.
TEST(CommandLineTest, TheDatabaseComesFromTheEnvironmentWhenNoOptionNamesIt) {
    ScratchDir dir;
    TestDatabase store(dir.Path());
    ::setenv("QUORVEXD_DB", store.Location().c_str(), 1);
    std::string line;
    EXPECT_EQ(Admin({"add-user", "zoe", "pw", "--cash", "5000000", "--fast-hash"}), 0);
    EXPECT_EQ(Admin({"ranking"}, "zoe", &line), 0);
    EXPECT_NE(line.find("5000000.00"), std::string::npos) << line;
    EXPECT_EQ(Admin({"ranking", "--db", (dir.Path() / "other.db").string()}, "quorvexd:", &line), 1);
    EXPECT_NE(line.find("no contest"), std::string::npos) << line;
    ::unsetenv("QUORVEXD_DB");
    if (!store.IsPostgres())
        EXPECT_TRUE(std::filesystem::exists(store.Location()));
}
