// quorvex_load: drives a real quorvexd over loopback and reports what it sustains.
//
//   quorvex_load quotes  [--clients 1000] [--codes 10] [--seconds 10]
//   quorvex_load orders  [--clients 20] [--window 32] [--orders 100000]
//   quorvex_load latency [--rate 1000] [--seconds 10] [--clients 8] [--reader 1]
//                        --reader: a read transaction held open on the SQLite file meanwhile
//   quorvex_load logins  [--clients 50] [--users 8] [--burst 1]  --burst: every user's first
//                        login at once, as at the opening bell; how many are answered in 10 s
//   quorvex_load guesses [--clients 60]       parallel wrong passwords for one name
//   quorvex_load flood   [--queries 20000] [--rate 200] [--seconds 5] [--connections 1]
//                        [--resting N] [--prefill N] [--cancel-all 1 [--cap 2000]]
//                        bench0 places --prefill resting orders, then floods with today's-orders
//                        queries (or N resting orders, or fills its --cap open orders and cancels
//                        them all, again and again) over its connections; bench1's order latency
//                        is measured
//   quorvex_load wal     [--clients 20] [--window 32] [--seconds 60]  log size under load
//   quorvex_load crowd   [--attack 0..5] [--connections 512] [--addresses 4] [--seconds 25]
//                        a hostile crowd while bench0 trades: 0 connections that send heartbeats
//                        and never log in nor read, 1 bench1's logged-in connections asking for
//                        funds and never reading, 2 as many idle connections as the system
//                        allows (--addresses 158) against --max-connections 10000, and bench0
//                        logging in 8 times meanwhile;
//                        reports the server's peak RSS and bench0's answers;
//                        3 a rival behind bench0's address, at another computer, guesses its
//                        password (10 at once, then one a second): how long bench0 takes to
//                        get in from there;
//                        4 64 addresses guess bench0's password: how many guesses are checked;
//                        5 144 connections (128 from one address) guess names at the real hash
//                        cost: how long bench0's and bench1's first logins take
//   quorvex_load standing [--accounts 10000] [--days 60] [--standing-rate 1000] [--rate 200]
//                         [--seconds 10]   order latency alone, then beside a stream of
//                                          command 23 (where I stand) on a crowded contest
//   any mode: --sync-normal 1 serves with --synchronous normal (default full); --log-limit-mb N
//             serves with that limit on the SQLite log (64)
//   quorvex_load market  [--securities 5000] [--clients 4] [--window 8] [--seconds 10]
//                                              the quote board (command 20) over every security
//                                              and 1,024 daily bars (command 22), answers/s
//   quotes and market: --securities N serves N securities from a --securities file
//   quorvex_load stores  --pg URI [--orders 20000] [--rate 1000] [--seconds 10]
//   quorvex_load takeover --pg URI [--runs 10] [--fault kill|stop|partition|outage]
//                         [--pg-state STATE --outage-seconds 30]   (--silent 1: --fault stop)
//
// stores runs the orders and latency modes on a SQLite file and then on a PostgreSQL
// database; takeover starts two servers on one PostgreSQL database, fails the serving one and
// times how long until a server accepts an order again: kill (SIGKILL),
// stop (SIGSTOP), partition (its path to the database, through a proxy, holds every byte; the
// cluster must be on this machine) or outage (the database stopped for --outage-seconds and
// started again, timed from its return; the cluster must be one of scripts/pg-test-cluster.sh,
// named by its STATE file, which also gives the URI).
// URI is the libpq URI of a maintenance database ("…/postgres?…"): each run creates a
// database of its own beside it and drops it afterwards.
//
// Each client logs in as an account of its own (bench0, bench1, …), so the figures are those
// of many contestants, not of one account's many connections; a client that is not logged in
// within the deadline ends the run with a message instead of a hang. A --window above the
// server's in-flight limit per connection is refused: the server would silently stop reading.
//
// It starts its own quorvexd (the one built beside it, or --server PATH) on a scratch
// database, so runs are bounded, repeatable and touch nothing else. Except in the logins
// mode, logins use the cheapest password hashes (--fast-hash): those figures are about
// quotes and orders; the logins mode measures the real argon2id cost, once per user (a
// user's later logins are answered from the server's cache of verified passwords).

#include "server/engine/GbkCodec.h"
#include "server/market/Securities.h"
#include "server/store/Store.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/ProtocolClient.h"
#include "tests/support/QuorvexdChild.h"
#include "tests/support/TestDatabase.h"
#include "wire/Commands.h"
#include "wire/Frame.h"
#include "wire/MarketRecords.h"

#include <asio.hpp>
#ifndef QUORVEXD_NO_POSTGRESQL
#include <libpq-fe.h>
#endif
#include <sqlite3.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kPassword = "benchpw";
constexpr auto kStartWait = std::chrono::seconds(30);
using tavix::test::ProtocolClient;
using tavix::test::QuorvexdChild;
// The server answers at most this many requests of one connection at a time and stops
// reading it meanwhile (server/Session.cpp).
constexpr long kServerInFlight = 32;

std::string AccountName(long i) {
    return "bench" + std::to_string(i);
}

// The loopback address client `i` connects from (127.0.0.2 to .251): contestants come from
// many addresses, and the server bounds the password checks one address may have waiting.
std::uint32_t ContestantHost(long i) {
    return 2 + static_cast<std::uint32_t>(i % 250);
}

// ---- the server under test --------------------------------------------------------

// quorvexd with its stdout on a pipe (the port and the standby's word come from there). The
// throughput modes log in with cheap hashes; the server allows them only for test runs.
QuorvexdChild::Options Using(const std::string& binary) {
    QuorvexdChild::Options options;
    options.binary = binary;
    options.pipeStderr = false;
    return options;
}

// Seconds of CPU the process has used (user + system).
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    std::string field;
    for (char c : stat.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() < 13)
        return 0;
    return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// ---- one protocol client on the shared io_context ----------------------------------

class Client final : public std::enable_shared_from_this<Client> {
public:
    using OnFrame = std::function<void(Client&, const net::Frame&)>;

    Client(asio::io_context& io, OnFrame onFrame, std::string user = AccountName(0))
        : socket_(io)
        , onFrame_(std::move(onFrame))
        , protocol_(std::move(user), kPassword) {}

    // `sourceHost` > 0 connects from 127.0.0.0 + sourceHost, as a crowd from many addresses.
    void Connect(std::uint16_t port, std::uint32_t sourceHost = 0) {
        if (sourceHost > 0) {
            socket_.open(asio::ip::tcp::v4());
            socket_.bind({asio::ip::address_v4((127u << 24) | sourceHost), 0});
        }
        socket_.async_connect({asio::ip::make_address("127.0.0.1"), port},
                              [self = shared_from_this()](const asio::error_code& ec) {
                                  if (ec) {
                                      std::fprintf(stderr, "connect: %s\n", ec.message().c_str());
                                      return;
                                  }
                                  self->socket_.set_option(asio::ip::tcp::no_delay(true));
                                  self->Login();
                                  self->Read();
                              });
    }
    void Login() { Write(protocol_.LoginFrame("BENCH")); }
    // Logs in again on this connection after `wait`, as a client does after a refusal.
    void LoginAfter(Clock::duration wait) {
        auto timer = std::make_shared<asio::steady_timer>(socket_.get_executor(), wait);
        timer->async_wait([self = shared_from_this(), timer](const asio::error_code& ec) {
            if (!ec)
                self->Login();
        });
    }
    void Send(int command, const std::string& body) { Write(protocol_.RequestFrame(command, body)); }
    const std::string& User() const { return protocol_.User(); }
    bool loggedIn = false;
    std::size_t counter = 0;
    Clock::time_point lastPush{};
    double maxGapMs = 0;

private:
    void Write(const std::string& frame) {
        const bool idle = pending_.empty() && writing_.empty();
        pending_ += frame;
        if (idle)
            Flush();
    }
    void Flush() {
        if (pending_.empty() || !writing_.empty())
            return;
        writing_.swap(pending_);
        asio::async_write(socket_, asio::buffer(writing_),
                          [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                              self->writing_.clear();
                              if (!ec)
                                  self->Flush();
                          });
    }
    void Read() {
        socket_.async_read_some(
            asio::buffer(buffer_), [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                if (ec) {
                    if (!self->loggedIn)
                        std::fprintf(stderr,
                                     "quorvex_load: %s's connection ended before its "
                                     "login: %s\n",
                                     self->User().c_str(), ec.message().c_str());
                    return;
                }
                self->protocol_.Received(self->buffer_.data(), n);
                net::Frame frame;
                while (self->protocol_.Next(frame) == net::FrameDecoder::Status::kFrame) {
                    if (frame.command == net::kCmdLogin && !ProtocolClient::LoginAccepted(frame.body))
                        std::fprintf(stderr, "quorvex_load: %s's login refused: %s\n", self->User().c_str(),
                                     server::GbkToUtf8(frame.body).value_or(frame.body).c_str());
                    self->onFrame_(*self, frame);
                }
                self->Read();
            });
    }

    asio::ip::tcp::socket socket_;
    OnFrame onFrame_;
    ProtocolClient protocol_;
    std::array<char, 65536> buffer_{};
    std::string pending_;
    std::string writing_;
};

// ---- modes --------------------------------------------------------------------------

std::map<std::string, long> g_options;
std::string g_pg; // maintenance database URI of a PostgreSQL cluster

long Option(const char* name, long fallback) {
    const auto it = g_options.find(name);
    return it == g_options.end() ? fallback : it->second;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Runs `io` until `loggedIn` reaches `wanted`; false (with a message) after the deadline,
// which grows with the number of clients (each first login checks one password hash).
bool AwaitLogins(asio::io_context& io, const long& loggedIn, long wanted) {
    const auto deadline = Clock::now() + std::chrono::seconds(20) + std::chrono::milliseconds(50) * wanted;
    while (loggedIn < wanted && Clock::now() < deadline)
        io.run_for(std::chrono::milliseconds(5));
    if (loggedIn >= wanted)
        return true;
    std::fprintf(stderr, "quorvex_load: only %ld of %ld clients logged in before the deadline\n", loggedIn, wanted);
    return false;
}

int RunQuotes(QuorvexdChild& server, std::uint16_t port) {
    const long clients = Option("--clients", 1000);
    const long codesEach = Option("--codes", 10);
    const long seconds = Option("--seconds", 10);
    std::vector<std::string> securities;
    for (const server::SecurityInfo& s : server::DefaultSecurities())
        securities.emplace_back(s.code);
    if (const long listed = Option("--securities", 0); listed > 0) {
        securities.clear();
        for (long k = 0; k < listed; ++k)
            securities.push_back(std::to_string(600000 + k));
    }
    asio::io_context io;
    std::vector<std::shared_ptr<Client>> all;
    bool measuring = false;
    long loggedIn = 0;
    for (long i = 0; i < clients; ++i) {
        auto c = std::make_shared<Client>(
            io,
            [&, i](Client& self, const net::Frame& f) {
                if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body)) {
                    self.loggedIn = true;
                    ++loggedIn;
                    std::string list;
                    for (long k = 0; k < codesEach; ++k) {
                        if (k)
                            list += ',';
                        list += securities[static_cast<std::size_t>(i + k) % securities.size()];
                    }
                    self.Send(net::kCmdQuoteSubscribe, "code=" + list);
                } else if (f.command == net::kCmdQuoteUpdate && measuring) {
                    const auto now = Clock::now();
                    if (self.lastPush != Clock::time_point{})
                        self.maxGapMs = std::max(
                            self.maxGapMs, std::chrono::duration<double, std::milli>(now - self.lastPush).count());
                    self.lastPush = now;
                    self.counter += static_cast<std::size_t>(std::count(f.body.begin(), f.body.end(), '|'));
                }
            },
            AccountName(i));
        c->Connect(port, ContestantHost(i));
        all.push_back(c);
    }
    // Log everyone in first; then measure a steady window; a heartbeat every 5 s keeps
    // the connections alive as a real client's requests would.
    if (!AwaitLogins(io, loggedIn, clients))
        return 1;
    io.run_for(std::chrono::seconds(2));
    measuring = true;
    const double cpu0 = CpuSeconds(server.Pid());
    const auto t0 = Clock::now();
    auto nextBeat = t0;
    while (Clock::now() - t0 < std::chrono::seconds(seconds)) {
        if (Clock::now() >= nextBeat) {
            for (auto& c : all)
                c->Send(net::kCmdHeartbeat, "user_name=" + c->User() + "&pwd=" + kPassword);
            nextBeat += std::chrono::seconds(5);
        }
        io.run_for(std::chrono::milliseconds(100));
    }
    const double wall = Seconds(Clock::now() - t0);
    const double cpu = CpuSeconds(server.Pid()) - cpu0;
    std::size_t records = 0;
    double worstGap = 0;
    long starved = 0;
    for (auto& c : all) {
        records += c->counter;
        worstGap = std::max(worstGap, c->maxGapMs);
        starved += c->counter == 0;
    }
    std::printf("quotes: %ld clients logged in, %ld codes each, %.1f s measured\n", loggedIn, codesEach, wall);
    std::printf("  quote records received: %zu (%.1f per client per second)\n", records,
                static_cast<double>(records) / wall / static_cast<double>(std::max(loggedIn, 1L)));
    std::printf("  longest gap between two pushes to one client: %.0f ms; clients without pushes: %ld\n", worstGap,
                starved);
    std::printf("  server CPU: %.1f%% of one core\n", 100.0 * cpu / wall);
    return loggedIn == clients && starved == 0 ? 0 : 1;
}

// A securities file of `count` made-up securities, codes from 600000 up, prices 1.00 to 100.99.
std::string WriteSecuritiesFile(const std::filesystem::path& dir, long count) {
    const std::string path = (dir / "securities.txt").string();
    std::ofstream out(path);
    static constexpr const char* kWords[] = {"华夏", "中原", "东方", "科技", "银行", "电力", "医药", "汽车"};
    for (long i = 0; i < count; ++i)
        out << 600000 + i << ',' << kWords[i % 8] << kWords[(i / 8) % 8] << i % 100 << ',' << 1 + i % 100 << '.'
            << (i * 7) % 100 << '\n';
    return path;
}

// Keeps `window` requests of one command in flight per client for `seconds`; returns answers
// and the '|'-records they held.
std::pair<std::size_t, std::size_t> Hammer(std::uint16_t port, int command,
                                           const std::function<std::string(Client&)>& next, long clients, long window,
                                           long seconds) {
    asio::io_context io;
    std::vector<std::shared_ptr<Client>> all;
    std::size_t answers = 0;
    std::size_t records = 0;
    long loggedIn = 0;
    bool measuring = false;
    for (long i = 0; i < clients; ++i) {
        auto c = std::make_shared<Client>(io, [&](Client& self, const net::Frame& f) {
            if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body)) {
                ++loggedIn;
            } else if (f.command == command) {
                if (measuring) {
                    ++answers;
                    records += static_cast<std::size_t>(std::count(f.body.begin(), f.body.end(), '|'));
                }
                self.counter = static_cast<std::size_t>(std::count(f.body.begin(), f.body.end(), '|'));
                self.Send(command, next(self));
            }
        });
        c->Connect(port);
        all.push_back(c);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (loggedIn <= i && Clock::now() < deadline)
            io.run_for(std::chrono::milliseconds(5));
    }
    for (auto& c : all)
        for (long k = 0; k < window; ++k)
            c->Send(command, next(*c));
    io.run_for(std::chrono::seconds(1));
    measuring = true;
    io.run_for(std::chrono::seconds(seconds));
    return {answers, records};
}

int RunMarket(QuorvexdChild& server, std::uint16_t port, long securities) {
    const long clients = Option("--clients", 4);
    const long window = Option("--window", 8);
    const long seconds = Option("--seconds", 10);
    double cpu0 = CpuSeconds(server.Pid());
    std::this_thread::sleep_for(std::chrono::seconds(5));
    std::printf("market: %ld securities; server CPU with no client (ticks, day figures, bars): %.1f%% of one core\n",
                securities, 100.0 * (CpuSeconds(server.Pid()) - cpu0) / 5.0);

    // Each client walks the whole board page after page, starting the next page where the
    // last answer's records ended.
    std::map<Client*, long> position;
    cpu0 = CpuSeconds(server.Pid());
    const auto board = Hammer(
        port, net::kCmdQuoteBoard,
        [&](Client& c) {
            long& at = position[&c];
            at = c.counter == 0 ? 0 : at + static_cast<long>(c.counter);
            c.counter = 0;
            return "start=" + std::to_string(at) + "&count=" + std::to_string(net::kMaxBoardRecords);
        },
        clients, window, seconds);
    const double boardCpu = CpuSeconds(server.Pid()) - cpu0;
    std::printf("  command 20 (count=1000): %.0f answers/s, %.0f records/s (%.1f full boards/s), %ld clients x %ld "
                "in flight, server CPU %.0f%%\n",
                static_cast<double>(board.first) / static_cast<double>(seconds),
                static_cast<double>(board.second) / static_cast<double>(seconds),
                static_cast<double>(board.second) / static_cast<double>(seconds) / static_cast<double>(securities),
                clients, window, 100.0 * boardCpu / static_cast<double>(seconds));

    cpu0 = CpuSeconds(server.Pid());
    const auto bars = Hammer(
        port, net::kCmdBars, [](Client&) { return std::string("code=600000&period=d&count=1024"); }, clients, window,
        seconds);
    const double barsCpu = CpuSeconds(server.Pid()) - cpu0;
    std::printf("  command 22 (1,024 daily bars): %.0f answers/s, %.1f bars per answer, server CPU %.0f%%\n",
                static_cast<double>(bars.first) / static_cast<double>(seconds),
                bars.first ? static_cast<double>(bars.second) / static_cast<double>(bars.first) : 0.0,
                100.0 * barsCpu / static_cast<double>(seconds));
    return board.first > 0 && bars.first > 0 && bars.second == bars.first * 1024 ? 0 : 1;
}

// 1,024 daily bars of 600000 before the server starts, as past contest days would have left.
bool SeedDailyBars(const std::string& db) {
    sqlite3* handle = nullptr;
    if (sqlite3_open(db.c_str(), &handle) != SQLITE_OK)
        return false;
    std::string sql = "BEGIN;";
    for (int i = 0; i < 1024; ++i) {
        const int day = (2020 + i / 336) * 10000 + (1 + i / 28 % 12) * 100 + 1 + i % 28; // 28-day months
        sql += "INSERT INTO daily_bars VALUES('600000'," + std::to_string(day) + ",1000,1100,950," +
               std::to_string(1000 + i % 50) + "," + std::to_string(100000 + i) + ");";
    }
    sql += "COMMIT;";
    const bool ok = sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(handle);
    return ok;
}

std::int64_t CountOrders(const std::string& db) {
    if (server::IsPostgresLocation(db)) {
        const auto store = server::OpenStore(db);
        server::Statement count = store->Prepare("SELECT COUNT(*) FROM orders");
        return count.Step() ? count.Int(0) : -1;
    }
    sqlite3* h = nullptr;
    std::int64_t n = -1;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(h, "SELECT COUNT(*) FROM orders", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            n = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(h);
    return n;
}

const char* kOrderBody = "code=600000&price=9.50&num=100&name=bench&type=1"; // rests below the ask

int RunOrders(QuorvexdChild& server, std::uint16_t port, const std::string& db) {
    const long clients = Option("--clients", 20);
    const long window = Option("--window", kServerInFlight);
    const long total = Option("--orders", 100000);
    const long perClient = total / clients;
    asio::io_context io;
    std::vector<std::shared_ptr<Client>> all;
    long loggedIn = 0;
    long accepted = 0;
    long rejected = 0;
    bool started = false;
    Clock::time_point t0;
    Clock::time_point tLast;
    for (long i = 0; i < clients; ++i) {
        auto c = std::make_shared<Client>(
            io,
            [&](Client& self, const net::Frame& f) {
                if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body)) {
                    ++loggedIn;
                    self.loggedIn = true;
                } else if (f.command == net::kCmdOrder) {
                    f.body.starts_with("0,") ? ++accepted : ++rejected;
                    tLast = Clock::now();
                    if (self.counter < static_cast<std::size_t>(perClient)) {
                        ++self.counter;
                        self.Send(net::kCmdOrder, kOrderBody);
                    }
                }
            },
            AccountName(i));
        c->Connect(port, ContestantHost(i));
        all.push_back(c);
    }
    if (!AwaitLogins(io, loggedIn, clients))
        return 1;
    const double cpu0 = CpuSeconds(server.Pid());
    const double ownCpu0 = CpuSeconds(::getpid());
    t0 = Clock::now();
    started = true;
    for (auto& c : all)
        for (long k = 0; k < std::min(window, perClient); ++k) {
            ++c->counter;
            c->Send(net::kCmdOrder, kOrderBody);
        }
    const long expected = perClient * clients;
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (accepted + rejected < expected && Clock::now() < deadline)
        io.run_for(std::chrono::milliseconds(20));
    // The server's CPU time and the wall time cover the same span: from the first send
    // until every answer is in.
    const double cpu = CpuSeconds(server.Pid()) - cpu0;
    const double ownCpu = CpuSeconds(::getpid()) - ownCpu0;
    const double span = Seconds(Clock::now() - t0);
    const double wall = Seconds(tLast - t0);
    (void)started;
    server.Kill(SIGKILL); // what was answered must be in the file regardless
    const std::int64_t stored = CountOrders(db);
    std::printf("orders: %ld clients, %ld in flight each, %ld orders\n", clients, window, expected);
    std::printf("  accepted %ld, rejected %ld in %.2f s: %.0f orders/s end to end\n", accepted, rejected, wall,
                static_cast<double>(accepted) / wall);
    std::printf("  orders in the database after SIGKILL: %lld\n", static_cast<long long>(stored));
    if (span < 1.0)
        std::printf("  server CPU: not reported, %.2f s is too short for the 10 ms ticks of /proc (use --orders)\n",
                    span);
    else
        std::printf("  server CPU (all its threads): %.2f s over the %.2f s run = %.0f%% of one core; this tool's: "
                    "%.0f%%\n",
                    cpu, span, 100.0 * cpu / span, 100.0 * ownCpu / span);
    return accepted == expected && stored >= accepted ? 0 : 1;
}

// Orders for a fixed time; the write-ahead log's size is sampled all along.
int RunWal(std::uint16_t port, const std::string& db) {
    const long clients = Option("--clients", 20);
    const long window = Option("--window", kServerInFlight);
    const long seconds = Option("--seconds", 60);
    asio::io_context io;
    std::vector<std::shared_ptr<Client>> all;
    long loggedIn = 0;
    long accepted = 0;
    bool running = true;
    for (long i = 0; i < clients; ++i) {
        auto c = std::make_shared<Client>(
            io,
            [&](Client& self, const net::Frame& f) {
                if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body)) {
                    ++loggedIn;
                    self.loggedIn = true;
                } else if (f.command == net::kCmdOrder) {
                    accepted += f.body.starts_with("0,");
                    if (running)
                        self.Send(net::kCmdOrder, kOrderBody);
                }
            },
            AccountName(i));
        c->Connect(port, ContestantHost(i));
        all.push_back(c);
    }
    if (!AwaitLogins(io, loggedIn, clients))
        return 1;
    for (auto& c : all)
        for (long k = 0; k < window; ++k)
            c->Send(net::kCmdOrder, kOrderBody);
    const auto t0 = Clock::now();
    std::uintmax_t largest = 0;
    std::error_code ec;
    while (Clock::now() - t0 < std::chrono::seconds(seconds)) {
        io.run_for(std::chrono::milliseconds(100));
        largest = std::max(largest, std::filesystem::file_size(db + "-wal", ec));
    }
    running = false;
    const std::uintmax_t wal = std::filesystem::file_size(db + "-wal", ec);
    const std::uintmax_t file = std::filesystem::file_size(db, ec);
    std::printf("wal: %ld clients, %ld in flight each, %ld s: %ld orders accepted (%.0f/s)\n", clients, window, seconds,
                accepted, static_cast<double>(accepted) / static_cast<double>(seconds));
    std::printf("  write-ahead log at the end %.1f MB, largest seen %.1f MB; database %.1f MB\n", wal / 1048576.0,
                largest / 1048576.0, file / 1048576.0);
    return 0;
}

// Paced orders spread over --clients accounts (8): one connection's 32 requests in flight
// would cap a busy day's rate at 32 per commit.
int RunLatency(std::uint16_t port, const std::string& db) {
    const long rate = Option("--rate", 1000);
    const long seconds = Option("--seconds", 10);
    const long clients = Option("--clients", 8);
    // --reader 1: an organiser's sqlite3 shell (or a backup) holds a read transaction on the
    // contest file the whole time, as `sqlite3 FILE` with "BEGIN; SELECT count(*) FROM orders;".
    const bool reader = Option("--reader", 0) != 0 && !server::IsPostgresLocation(db);
    asio::io_context io;
    std::vector<std::deque<Clock::time_point>> inFlight(static_cast<std::size_t>(clients));
    std::vector<double> latencies;
    long rejected = 0;
    long loggedIn = 0;
    std::vector<std::shared_ptr<Client>> all;
    for (long i = 0; i < clients; ++i) {
        auto& mine = inFlight[static_cast<std::size_t>(i)];
        all.push_back(std::make_shared<Client>(
            io,
            [&](Client& self, const net::Frame& f) {
                if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body)) {
                    self.loggedIn = true;
                    ++loggedIn;
                } else if (f.command == net::kCmdOrder && !mine.empty()) {
                    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - mine.front()).count());
                    mine.pop_front();
                    rejected += !f.body.starts_with("0,");
                }
            },
            AccountName(i)));
        all.back()->Connect(port, ContestantHost(i));
    }
    if (!AwaitLogins(io, loggedIn, clients))
        return 1;
    sqlite3* held = nullptr;
    if (reader && (sqlite3_open_v2(db.c_str(), &held, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
                   sqlite3_exec(held, "BEGIN; SELECT count(*) FROM orders;", nullptr, nullptr, nullptr) != SQLITE_OK)) {
        std::fprintf(stderr, "quorvex_load: the reader could not open %s\n", db.c_str());
        return 1;
    }
    // Paced sends: order n leaves at t0 + n / rate, from client n mod clients.
    const auto t0 = Clock::now();
    const long total = rate * seconds;
    long sent = 0;
    asio::steady_timer timer(io);
    std::function<void()> pace = [&] {
        const auto now = Clock::now();
        const long due = std::min(total, static_cast<long>(Seconds(now - t0) * static_cast<double>(rate)) + 1);
        for (; sent < due; ++sent) {
            const auto k = static_cast<std::size_t>(sent % clients);
            inFlight[k].push_back(Clock::now());
            all[k]->Send(net::kCmdOrder, kOrderBody);
        }
        if (sent < total) {
            timer.expires_after(std::chrono::microseconds(500));
            timer.async_wait([&](const asio::error_code&) { pace(); });
        }
    };
    pace();
    const auto deadline = Clock::now() + std::chrono::seconds(seconds + 30);
    while (static_cast<long>(latencies.size()) < total && Clock::now() < deadline)
        io.run_for(std::chrono::milliseconds(20));
    if (held) {
        std::error_code ec;
        std::printf("latency: a reader held the file throughout; the log grew to %.1f MB\n",
                    static_cast<double>(std::filesystem::file_size(db + "-wal", ec)) / 1e6);
        sqlite3_close(held); // its transaction ends with it
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty()
                   ? 0.0
                   : latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(q * latencies.size()))];
    };
    std::printf("latency: %ld orders at %ld/s from %ld accounts, %zu answered, %ld rejected\n", total, rate, clients,
                latencies.size(), rejected);
    std::printf("  order answer latency: median %.0f us, p99 %.0f us, max %.0f us\n", at(0.5), at(0.99),
                latencies.empty() ? 0.0 : latencies.back());
    return static_cast<long>(latencies.size()) == total && rejected == 0 ? 0 : 1;
}

// Fills a contest (a SQLite file the server has not opened yet) with `accounts` accounts of
// varied totals and `days` settled days each, as a long contest has them.
bool AddCrowd(const std::string& db, long accounts, long days) {
    sqlite3* handle = nullptr;
    if (sqlite3_open(db.c_str(), &handle) != SQLITE_OK)
        return false;
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<long long> cents(9'000'000, 11'000'000);
    bool ok = sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* user = nullptr;
    sqlite3_stmt* total = nullptr;
    sqlite3_stmt* market = nullptr;
    ok = ok &&
         sqlite3_prepare_v2(handle,
                            "INSERT INTO users(name, pwhash, sh_account, sz_account, initial_cash, cash) "
                            "VALUES(?, 'x', ?, ?, 10000000, ?)",
                            -1, &user, nullptr) == SQLITE_OK &&
         sqlite3_prepare_v2(handle, "INSERT INTO daily_totals(user_id, day, total) VALUES(?, ?, ?)", -1, &total,
                            nullptr) == SQLITE_OK &&
         sqlite3_prepare_v2(handle, "INSERT INTO daily_market(day, index_close, median_return) VALUES(?, 100000, 0)",
                            -1, &market, nullptr) == SQLITE_OK;
    std::vector<std::string> dayTexts;
    for (long d = 0; d < days; ++d) {
        char text[16];
        std::snprintf(text, sizeof text, "2020-%02ld-%02ld", 1 + d / 28 % 12, 1 + d % 28);
        dayTexts.emplace_back(text);
        sqlite3_bind_text(market, 1, text, -1, SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(market) == SQLITE_DONE;
        sqlite3_reset(market);
    }
    for (long a = 0; ok && a < accounts; ++a) {
        const std::string name = "c" + std::to_string(a);
        const std::string account = "B" + std::to_string(100000000 + a);
        sqlite3_bind_text(user, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(user, 2, account.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(user, 3, account.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(user, 4, cents(rng));
        ok = sqlite3_step(user) == SQLITE_DONE;
        sqlite3_reset(user);
        const sqlite3_int64 id = sqlite3_last_insert_rowid(handle);
        for (const std::string& day : dayTexts) {
            sqlite3_bind_int64(total, 1, id);
            sqlite3_bind_text(total, 2, day.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(total, 3, cents(rng));
            ok = ok && sqlite3_step(total) == SQLITE_DONE;
            sqlite3_reset(total);
        }
    }
    sqlite3_finalize(user);
    sqlite3_finalize(total);
    sqlite3_finalize(market);
    ok = ok && sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(handle);
    return ok;
}

// Order latency at --rate for --seconds, alone and then while a second connection of the
// same account asks command 23 at --standing-rate (cycling the four periods, 100 records).
int RunStanding(std::uint16_t port) {
    const long rate = Option("--rate", 200);
    const long standingRate = Option("--standing-rate", 1000);
    const long seconds = Option("--seconds", 10);
    const auto percentile = [](std::vector<double>& v, double q) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, static_cast<std::size_t>(q * v.size()))];
    };
    int rc = 0;
    for (const bool withStanding : {false, true}) {
        asio::io_context io;
        std::deque<Clock::time_point> ordersInFlight;
        std::deque<Clock::time_point> standingInFlight;
        std::vector<double> orderLatencies;
        std::vector<double> standingLatencies;
        std::size_t standingBytes = 0;
        const auto answer = [](std::deque<Clock::time_point>& q, std::vector<double>& out) {
            if (q.empty())
                return;
            out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - q.front()).count());
            q.pop_front();
        };
        auto trader = std::make_shared<Client>(io, [&](Client& self, const net::Frame& f) {
            if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body))
                self.loggedIn = true;
            else if (f.command == net::kCmdOrder)
                answer(ordersInFlight, orderLatencies);
        });
        auto watcher = std::make_shared<Client>(io, [&](Client& self, const net::Frame& f) {
            if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body)) {
                self.loggedIn = true;
            } else if (f.command == net::kCmdStanding) {
                standingBytes += f.body.size();
                answer(standingInFlight, standingLatencies);
            }
        });
        trader->Connect(port);
        watcher->Connect(port);
        while (!trader->loggedIn || !watcher->loggedIn)
            io.run_for(std::chrono::milliseconds(20));
        const char* periods[] = {"period=day&count=100", "period=week&count=100", "period=month&count=100",
                                 "period=all&count=100"};
        const auto t0 = Clock::now();
        long orders = 0;
        long asks = 0;
        asio::steady_timer timer(io);
        std::function<void()> pace = [&] {
            const double elapsed = Seconds(Clock::now() - t0);
            const long ordersDue = std::min(rate * seconds, static_cast<long>(elapsed * static_cast<double>(rate)) + 1);
            for (; orders < ordersDue; ++orders) {
                ordersInFlight.push_back(Clock::now());
                trader->Send(net::kCmdOrder, kOrderBody);
            }
            const long asksDue =
                withStanding ? std::min(standingRate * seconds, static_cast<long>(elapsed * standingRate) + 1) : 0;
            for (; asks < asksDue; ++asks) {
                standingInFlight.push_back(Clock::now());
                watcher->Send(net::kCmdStanding, periods[asks % 4]);
            }
            if (elapsed < static_cast<double>(seconds)) {
                timer.expires_after(std::chrono::microseconds(500));
                timer.async_wait([&](const asio::error_code&) { pace(); });
            }
        };
        pace();
        const auto deadline = Clock::now() + std::chrono::seconds(seconds + 30);
        while ((Seconds(Clock::now() - t0) < static_cast<double>(seconds) ||
                static_cast<long>(orderLatencies.size()) < orders ||
                static_cast<long>(standingLatencies.size()) < asks) &&
               Clock::now() < deadline)
            io.run_for(std::chrono::milliseconds(20));
        const double took = Seconds(Clock::now() - t0);
        std::printf("%s: %ld orders at %ld/s, %zu answered; order latency median %.0f us, p99 %.0f us\n",
                    withStanding ? "with standing" : "orders alone", orders, rate, orderLatencies.size(),
                    percentile(orderLatencies, 0.5), percentile(orderLatencies, 0.99));
        if (withStanding) {
            std::printf("  command 23: %ld asked at %ld/s, %zu answered (%.0f/s, %.0f bytes each), "
                        "answer latency median %.0f us, p99 %.0f us\n",
                        asks, standingRate, standingLatencies.size(),
                        static_cast<double>(standingLatencies.size()) / took,
                        standingLatencies.empty() ? 0.0 : static_cast<double>(standingBytes) / standingLatencies.size(),
                        percentile(standingLatencies, 0.5), percentile(standingLatencies, 0.99));
            rc |= static_cast<long>(standingLatencies.size()) == asks ? 0 : 1;
        }
        rc |= static_cast<long>(orderLatencies.size()) == orders ? 0 : 1;
    }
    return rc;
}

// Sixty connections guess one user's password at once: how many guesses get checked?
int RunGuesses(std::uint16_t port) {
    const long clients = Option("--clients", 60);
    asio::io_context io;
    long wrong = 0;
    long refused = 0;
    long other = 0;
    std::vector<std::shared_ptr<asio::ip::tcp::socket>> sockets;
    std::vector<std::shared_ptr<std::array<char, 4096>>> buffers;
    for (long i = 0; i < clients; ++i) {
        auto socket = std::make_shared<asio::ip::tcp::socket>(io);
        socket->connect({asio::ip::make_address("127.0.0.1"), port});
        const std::string frame =
            net::FormatFrame(net::kCmdLogin, tavix::test::LoginBody(AccountName(0), "guess" + std::to_string(i)));
        asio::write(*socket, asio::buffer(frame));
        sockets.push_back(socket);
    }
    const auto t0 = Clock::now();
    for (auto& socket : sockets) {
        auto buffer = std::make_shared<std::array<char, 4096>>();
        socket->async_read_some(asio::buffer(*buffer), [&, buffer](const asio::error_code& ec, std::size_t n) {
            const std::string text = ec ? std::string() : std::string(buffer->data(), n);
            // Answers are GBK; the two outcomes differ in their ASCII-free text, so compare
            // against the encoded forms the server sends.
            if (text.find("\xd3\xc3\xbb\xa7\xc3\xfb\xbb\xf2\xc3\xdc\xc2\xeb\xb4\xed\xce\xf3") != std::string::npos)
                ++wrong; // 用户名或密码错误: the guess was checked
            else if (text.find("\xb4\xce\xca\xfd\xb9\xfd\xb6\xe0") != std::string::npos)
                ++refused; // 次数过多: refused unchecked
            else
                ++other;
        });
    }
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (wrong + refused + other < clients && Clock::now() < deadline)
        io.run_for(std::chrono::milliseconds(20));
    std::printf("guesses: %ld parallel wrong passwords for one name from one address\n", clients);
    std::printf("  checked %ld, refused unchecked %ld, other %ld, in %.2f s\n", wrong, refused, other,
                Seconds(Clock::now() - t0));
    return 0;
}

// One account floods over its connections from a thread of its own; another account sends
// paced orders from another thread meanwhile, so the flooder's answers never delay the
// victim's reading of its own. Every flooder connection must log in (a refused login is tried
// again a second later) and the flood must be answered while the victim is measured, or the
// run is reported invalid and fails: a figure taken without the flood says nothing.
int RunFlood(std::uint16_t port) {
    const long queries = Option("--queries", 20000);
    const long rate = Option("--rate", 200);
    const long seconds = Option("--seconds", 5);
    const long connections = std::max(1L, Option("--connections", 1));
    const long resting = Option("--resting", 0);
    const long prefill = Option("--prefill", 0);
    const bool cancelAll = Option("--cancel-all", 0) != 0;
    const long cap = Option("--cap", 2000); // the server's default cap on an account's open orders
    // The flooder (bench0) runs on a thread of its own, the victim (bench1) on this one.
    asio::io_context floodIo;
    std::atomic<long> floodSent{0};     // requests of the flood proper, cancel-alls included
    std::atomic<long> floodAnswered{0}; // ... answered
    std::atomic<long> floodAccepted{0}; // orders and cancel-alls whose answer starts with 0
    std::atomic<long> floodersIn{0};
    std::atomic<long> loginRefusals{0};
    std::atomic<long> prefilled{0};
    std::atomic<long> prefillAccepted{0};
    std::atomic<long> cancelAllsSent{0};
    std::atomic<long> cancelAlls{0};
    std::atomic<bool> measuring{false};
    std::atomic<long> answeredWhileMeasured{0};
    std::vector<std::shared_ptr<Client>> flooders;
    long cycleAnswers = 0; // flood thread only
    const auto send = [&](long i, int command, const char* body) {
        ++floodSent;
        flooders[static_cast<std::size_t>(i % connections)]->Send(command, body);
    };
    const auto placeOrders = [&](long n) {
        for (long i = 0; i < n; ++i)
            send(i, net::kCmdOrder, kOrderBody);
    };
    const auto cancelEverything = [&] {
        ++cancelAllsSent;
        send(0, net::kCmdCancelAll, "");
    };
    for (long i = 0; i < connections; ++i) {
        flooders.push_back(std::make_shared<Client>(
            floodIo,
            [&](Client& self, const net::Frame& f) {
                const bool accepted = f.body.starts_with("0,");
                if (f.command == net::kCmdLogin) {
                    if (ProtocolClient::LoginAccepted(f.body)) {
                        self.loggedIn = true;
                        ++floodersIn;
                    } else {
                        ++loginRefusals;
                        self.LoginAfter(std::chrono::seconds(1));
                    }
                } else if (prefilled < prefill && f.command == net::kCmdOrder) {
                    ++prefilled;
                    prefillAccepted += accepted;
                } else if (f.command == net::kCmdTodayOrders || f.command == net::kCmdOrder ||
                           f.command == net::kCmdCancelAll) {
                    ++floodAnswered;
                    floodAccepted += accepted;
                    answeredWhileMeasured += measuring.load();
                    if (!cancelAll)
                        return;
                    // Fill up to the cap, cancel everything once every order is answered, again.
                    if (f.command == net::kCmdCancelAll) {
                        ++cancelAlls;
                        cycleAnswers = 0;
                        placeOrders(cap);
                    } else if (++cycleAnswers == cap) {
                        cancelEverything();
                    }
                }
            },
            AccountName(0)));
    }
    for (auto& flooder : flooders)
        flooder->Connect(port);
    auto guard = asio::make_work_guard(floodIo);
    std::thread floodThread([&] { floodIo.run(); });
    const auto stopFlood = [&] {
        guard.reset();
        floodIo.stop();
        floodThread.join();
    };
    const auto loginDeadline = Clock::now() + std::chrono::seconds(30);
    while (floodersIn < connections && Clock::now() < loginDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (floodersIn < connections) {
        stopFlood();
        std::fprintf(stderr, "flood: INVALID, only %ld of bench0's %ld connections logged in (%ld refusals)\n",
                     floodersIn.load(), connections, loginRefusals.load());
        return 1;
    }
    if (prefill > 0) {
        asio::post(floodIo, [&] {
            for (long i = 0; i < prefill; ++i)
                flooders[static_cast<std::size_t>(i % connections)]->Send(net::kCmdOrder, kOrderBody);
        });
        const auto prefillDeadline = Clock::now() + std::chrono::seconds(60);
        while (prefilled < prefill && Clock::now() < prefillDeadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    asio::io_context io;
    std::deque<Clock::time_point> inFlight;
    std::vector<double> latencies;
    long victimIn = 0;
    auto victim = std::make_shared<Client>(
        io,
        [&](Client& self, const net::Frame& f) {
            if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body)) {
                self.loggedIn = true;
                ++victimIn;
            } else if (f.command == net::kCmdOrder && !inFlight.empty()) {
                latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - inFlight.front()).count());
                inFlight.pop_front();
            }
        },
        AccountName(1));
    victim->Connect(port);
    if (!AwaitLogins(io, victimIn, 1)) {
        stopFlood();
        return 1;
    }
    // Some stored orders make each query read a little.
    for (int i = 0; i < 50; ++i)
        victim->Send(net::kCmdOrder, kOrderBody);
    for (int i = 0; i < 50; ++i)
        inFlight.push_back(Clock::now());
    const auto seedDeadline = Clock::now() + std::chrono::seconds(30);
    while (latencies.size() < 50 && Clock::now() < seedDeadline)
        io.run_for(std::chrono::milliseconds(20));
    latencies.clear();
    // --resting N: the flooder places N resting orders spread over its connections; otherwise
    // it pipelines today's-orders queries, or fills and cancels its book.
    asio::post(floodIo, [&] {
        if (cancelAll) {
            cycleAnswers = prefill;
            if (cap > prefill)
                placeOrders(cap - prefill);
            else
                cancelEverything();
            return;
        }
        for (long i = 0; i < (resting > 0 ? resting : queries); ++i)
            send(i, resting > 0 ? net::kCmdOrder : net::kCmdTodayOrders, resting > 0 ? kOrderBody : "start=2000-1-1");
    });
    measuring = true;
    const auto t0 = Clock::now();
    const long total = rate * seconds;
    long sent = 0;
    asio::steady_timer timer(io);
    std::function<void()> pace = [&] {
        const long due = std::min(total, static_cast<long>(Seconds(Clock::now() - t0) * static_cast<double>(rate)) + 1);
        for (; sent < due; ++sent) {
            inFlight.push_back(Clock::now());
            victim->Send(net::kCmdOrder, kOrderBody);
        }
        if (sent < total) {
            timer.expires_after(std::chrono::milliseconds(1));
            timer.async_wait([&](const asio::error_code&) { pace(); });
        }
    };
    pace();
    const auto deadline = Clock::now() + std::chrono::seconds(seconds + 120);
    while (static_cast<long>(latencies.size()) < total && Clock::now() < deadline)
        io.run_for(std::chrono::milliseconds(20));
    measuring = false;
    const double measured = Seconds(Clock::now() - t0);
    // Whether the flood was still going when the victim's last order was answered.
    const bool floodOutlasted = floodAnswered < floodSent;
    stopFlood();
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty()
                   ? 0.0
                   : latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(q * latencies.size()))];
    };
    if (cancelAll)
        std::printf("flood: bench0 fills its %ld open orders and cancels them all, again and again, over %ld "
                    "connections",
                    cap, connections);
    else
        std::printf("flood: bench0 pipelines %ld %s over %ld connections", resting > 0 ? resting : queries,
                    resting > 0 ? "resting orders" : "today's-orders queries", connections);
    std::printf(" after %ld resting orders (%ld accepted); bench1 sends %ld orders/s for %ld s\n", prefill,
                prefillAccepted.load(), rate, seconds);
    std::printf("  bench1's order answers: median %.1f ms, p99 %.1f ms, max %.1f ms\n", at(0.5), at(0.99),
                latencies.empty() ? 0.0 : latencies.back());
    std::printf("  bench0: %ld connections logged in (%ld refusals); %ld of its %ld requests answered (%ld while "
                "bench1 was measured, %.1f s), %ld accepted",
                floodersIn.load(), loginRefusals.load(), floodAnswered.load(), floodSent.load(),
                answeredWhileMeasured.load(), measured, floodAccepted.load());
    if (cancelAll)
        std::printf("; %ld of %ld cancel-alls answered", cancelAlls.load(), cancelAllsSent.load());
    std::printf("%s\n", floodOutlasted ? "; still flooding at the end" : "; the flood was over before the end");
    // The flood that was asked for must have reached the server while bench1 was measured.
    const char* invalid = nullptr;
    if (prefill > 0 && prefillAccepted < prefill)
        invalid = "not every resting order of the prefill was accepted";
    else if (cancelAll && cancelAlls == 0)
        invalid = "no cancel-all was answered";
    else if ((cancelAll || resting > 0 || queries > 0) && answeredWhileMeasured == 0)
        invalid = "none of bench0's flood was answered while bench1 was measured";
    if (invalid)
        std::fprintf(stderr, "flood: INVALID, %s\n", invalid);
    return static_cast<long>(latencies.size()) == total && !invalid ? 0 : 1;
}

// Every user's first login checks the password against its argon2id hash; later logins of
// the same user and password are answered from the server's cache of verified passwords.
int RunLogins(std::uint16_t port, long users) {
    const long clients = Option("--clients", 50);
    asio::io_context io;
    const auto login = [&](const std::string& user) -> double {
        bool done = false;
        double ms = -1;
        const auto t0 = Clock::now();
        auto c = std::make_shared<Client>(
            io,
            [&](Client&, const net::Frame& f) {
                if (f.command == net::kCmdLogin) {
                    done = ProtocolClient::LoginAccepted(f.body);
                    ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                }
            },
            user);
        c->Connect(port);
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (ms < 0 && Clock::now() < deadline)
            io.run_for(std::chrono::milliseconds(1));
        return done ? ms : -1;
    };
    const auto summary = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        char text[96];
        std::snprintf(text, sizeof text, "median %.2f ms, min %.2f ms, max %.2f ms", v[v.size() / 2], v.front(),
                      v.back());
        return std::string(text);
    };
    if (Option("--burst", 0) != 0) {
        // The opening bell: every user connects and logs in at the same moment.
        std::vector<double> answered;
        std::vector<std::shared_ptr<Client>> all;
        const auto t0 = Clock::now();
        for (long u = 0; u < users; ++u) {
            auto c = std::make_shared<Client>(
                io,
                [&](Client&, const net::Frame& f) {
                    if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body))
                        answered.push_back(Seconds(Clock::now() - t0));
                },
                AccountName(u));
            c->Connect(port, 2 + static_cast<std::uint32_t>(u % 250)); // two contestants an address
            all.push_back(c);
        }
        while (static_cast<long>(answered.size()) < users && Clock::now() - t0 < std::chrono::seconds(120))
            io.run_for(std::chrono::milliseconds(5));
        std::sort(answered.begin(), answered.end());
        const long inTime = std::count_if(answered.begin(), answered.end(), [](double s) { return s <= 10; });
        std::printf("logins: %ld first logins in one burst: %ld logged in within 10 s, %zu in all, the last after "
                    "%.2f s\n",
                    users, inTime, answered.size(), answered.empty() ? 0.0 : answered.back());
        return 0;
    }
    std::vector<double> checked;
    for (long u = 0; u < users; ++u) {
        const double ms = login(AccountName(u));
        if (ms < 0) {
            std::fprintf(stderr, "quorvex_load: first login of user %ld failed\n", u);
            return 1;
        }
        checked.push_back(ms);
    }
    std::vector<double> cached;
    for (long i = 0; i < clients; ++i) {
        const double ms = login(AccountName(i % users));
        if (ms < 0) {
            std::fprintf(stderr, "quorvex_load: login %ld failed\n", i);
            return 1;
        }
        cached.push_back(ms);
    }
    std::printf("logins: first login of each of %ld users (argon2id interactive check): %s\n", users,
                summary(checked).c_str());
    std::printf("  %ld further logins of those users (verified-password cache): %s\n", clients,
                summary(cached).c_str());
    return 0;
}

// The server's resident memory in megabytes, from /proc.
double ResidentMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with("VmRSS:"))
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// A connection from 127.0.0.`host` that never reads; -1 when the system has no descriptor.
int HostileConnection(std::uint16_t port, int host) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = htonl((127u << 24) | static_cast<std::uint32_t>(host));
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0 && errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int RunCrowd(QuorvexdChild& server, std::uint16_t port) {
    const long attack = Option("--attack", 0);
    const long connections = Option("--connections", attack == 2 ? 1000000 : 512);
    const long addresses = std::max(1L, Option("--addresses", attack == 2 ? 158 : 4));
    const long seconds = Option("--seconds", 25);
    asio::io_context io; // before the crowd takes every descriptor
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const long spare = static_cast<long>(limit.rlim_cur) - 300;
    std::vector<int> crowd;
    const std::string attackerLogin = net::FormatFrame(net::kCmdLogin, tavix::test::LoginBody("bench1", kPassword));
    for (long i = 0; i < std::min(connections, spare); ++i) {
        const int fd = HostileConnection(port, 2 + static_cast<int>(i % addresses));
        if (fd < 0)
            break;
        crowd.push_back(fd);
        if (attack == 1)
            (void)::send(fd, attackerLogin.data(), attackerLogin.size(), MSG_NOSIGNAL);
    }
    std::string burst;
    for (int i = 0; i < 64; ++i)
        burst += attack == 0 ? net::FormatFrame(net::kCmdHeartbeat, "")
                             : ProtocolClient("bench1", kPassword).RequestFrame(net::kCmdFunds, "");

    // bench0 trades meanwhile: an order every 20 ms, each answer timed; in the slots attack it
    // also logs in again on a fresh connection every few seconds.
    std::deque<Clock::time_point> inFlight;
    std::vector<double> latencies;
    long sent = 0;
    auto trader = std::make_shared<Client>(
        io,
        [&](Client& self, const net::Frame& f) {
            if (f.command == net::kCmdLogin && ProtocolClient::LoginAccepted(f.body)) {
                self.loggedIn = true;
            } else if (f.command == net::kCmdOrder && !inFlight.empty()) {
                latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - inFlight.front()).count());
                inFlight.pop_front();
            }
        },
        "bench0");
    trader->Connect(port);
    int loginsTried = 0;
    int loginsOk = 0;
    std::vector<std::shared_ptr<Client>> relogins;
    double peakMb = 0;
    const auto t0 = Clock::now();
    auto nextOrder = t0;
    auto nextLogin = t0 + std::chrono::seconds(1);
    while (Clock::now() - t0 < std::chrono::seconds(seconds)) {
        for (const int fd : crowd)
            if (fd >= 0 && attack != 2)
                (void)::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (trader->loggedIn && Clock::now() >= nextOrder) {
            nextOrder += std::chrono::milliseconds(20);
            inFlight.push_back(Clock::now());
            trader->Send(net::kCmdOrder, kOrderBody);
            ++sent;
        }
        if (attack == 2 && loginsTried < 8 && Clock::now() >= nextLogin) {
            nextLogin += std::chrono::seconds(2);
            ++loginsTried;
            auto c = std::make_shared<Client>(
                io,
                [&](Client&, const net::Frame& f) {
                    if (f.command == net::kCmdLogin)
                        loginsOk += ProtocolClient::LoginAccepted(f.body);
                },
                "bench0");
            c->Connect(port);
            relogins.push_back(c);
        }
        io.run_for(std::chrono::milliseconds(5));
        peakMb = std::max(peakMb, ResidentMb(server.Pid()));
    }
    const auto drainUntil = Clock::now() + std::chrono::seconds(5);
    while (!inFlight.empty() && Clock::now() < drainUntil)
        io.run_for(std::chrono::milliseconds(5));
    for (const int fd : crowd)
        ::close(fd);
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty()
                   ? 0.0
                   : latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(q * latencies.size()))];
    };
    const char* what[] = {"heartbeats, never logged in", "bench1 logged in, asking for funds", "idle"};
    std::printf("crowd: %zu connections from %ld addresses (%s), not reading, for %ld s\n", crowd.size(), addresses,
                what[std::clamp(attack, 0L, 2L)], seconds);
    std::printf("  server peak RSS %.0f MB; bench0's orders: %zu of %ld answered, median %.1f ms, p99 %.1f ms\n",
                peakMb, latencies.size(), sent, at(0.5), at(0.99));
    if (attack == 2)
        std::printf("  bench0's logins on fresh connections during the attack: %d of %d\n", loginsOk, loginsTried);
    return 0;
}

// One login on a connection of its own from 127.0.0.`host`, from the computer `machine`; the
// answer (UTF-8), empty when none.
std::string LoginOnce(std::uint16_t port, int host, const std::string& user, const std::string& password,
                      const std::string& machine = "BENCH") {
    const int fd = HostileConnection(port, host);
    if (fd < 0)
        return {};
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 5000);
    const std::string frame = net::FormatFrame(net::kCmdLogin, tavix::test::LoginBody(user, password, machine));
    (void)::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    ProtocolClient decoder;
    net::Frame reply;
    std::string answer;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (answer.empty() && Clock::now() < deadline) {
        p = {fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        decoder.Received(chunk, static_cast<std::size_t>(n));
        while (decoder.Next(reply) == net::FrameDecoder::Status::kFrame)
            if (reply.command == net::kCmdLogin)
                answer = server::GbkToUtf8(reply.body).value_or("?");
    }
    ::close(fd);
    return answer;
}

int RunGuessers(std::uint16_t port, long attack) {
    const long seconds = Option("--seconds", 60);
    std::atomic<long> checked{0};
    std::atomic<long> refused{0};
    std::atomic<bool> stop{false};
    const auto guess = [&](int host, int i, const std::string& name = "bench0") {
        const std::string answer = LoginOnce(port, host, name, "guess" + std::to_string(i), "RIVAL");
        (answer.find("用户名或密码错误") != std::string::npos ? checked : refused) += 1;
    };
    if (attack == 3) {
        // The rival shares 127.0.0.2 with bench0, at another computer of that lab.
        std::vector<std::thread> burst;
        for (int i = 0; i < 10; ++i)
            burst.emplace_back(guess, 2, i);
        for (auto& t : burst)
            t.join();
        std::thread rival([&] {
            for (int i = 10; !stop; ++i) {
                guess(2, i);
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        });
        const auto t0 = Clock::now();
        int tries = 0;
        bool in = false;
        std::map<std::string, int> answers; // what bench0 was told, how often
        while (!in && Clock::now() - t0 < std::chrono::seconds(seconds)) {
            ++tries;
            const std::string answer = LoginOnce(port, 2, "bench0", kPassword, "BENCH0");
            in = ProtocolClient::LoginAccepted(answer);
            if (!in)
                ++answers[answer.empty() ? "(no answer)" : answer];
            if (!in)
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        const double took = Seconds(Clock::now() - t0);
        stop = true;
        rival.join();
        std::printf("crowd: a rival behind bench0's address guessed 10 at once, then one a second\n");
        std::printf(
            "  bench0 from that address: %s after %.2f s (%d tries); rival's guesses checked %ld, refused %ld\n",
            in ? "in" : "still refused", took, tries, checked.load(), refused.load());
        for (const auto& [answer, count] : answers)
            std::printf("  bench0 was told %d times: %s\n", count, answer.c_str());
        return in ? 0 : 1;
    }
    if (attack == 5) {
        // 128 connections from 127.0.0.2 and 16 from others keep trying names, each a password
        // check at the server's real cost; bench0 and then bench1 log in for the first time.
        std::vector<std::thread> flood;
        for (int i = 0; i < 144; ++i)
            flood.emplace_back([&, i] {
                for (int k = 0; !stop; ++k)
                    guess(i < 128 ? 2 : 3 + i % 16, k, "nobody" + std::to_string(i * 1000000 + k));
            });
        std::this_thread::sleep_for(std::chrono::seconds(3));
        int rc = 0;
        for (const char* user : {"bench0", "bench1"}) {
            const auto t0 = Clock::now();
            const bool in = LoginOnce(port, 250, user, kPassword).starts_with("0,,,");
            std::printf("crowd: %s's first login from 127.0.0.250 while 144 connections guess: %s after %.0f ms\n",
                        user, in ? "in" : "refused", Seconds(Clock::now() - t0) * 1000);
            rc |= in ? 0 : 1;
            std::this_thread::sleep_for(std::chrono::seconds(2));
        }
        stop = true;
        for (auto& t : flood)
            t.join();
        std::printf("  the guesses meanwhile: %ld checked, %ld refused unchecked\n", checked.load(), refused.load());
        return rc;
    }
    std::vector<std::thread> guessers;
    const auto t0 = Clock::now();
    for (int a = 0; a < 64; ++a)
        guessers.emplace_back([&, a] {
            for (int i = 0; Clock::now() - t0 < std::chrono::seconds(seconds); ++i) {
                guess(256 + a, a * 100000 + i);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    for (auto& t : guessers)
        t.join();
    std::printf("crowd: 64 addresses guessed bench0's password for %ld s: %ld checked, %ld refused unchecked\n",
                seconds, checked.load(), refused.load());
    return 0;
}

// The leader's database URI through `path`, a proxy to the cluster of g_pg (a local socket
// or a port on this machine).
std::string Through(const tavix::test::TestDatabase& db, std::unique_ptr<tavix::test::FaultProxy>& path) {
#ifdef QUORVEXD_NO_POSTGRESQL
    (void)db;
    (void)path;
    throw std::runtime_error("quorvex_load was built without PostgreSQL");
#else
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(g_pg.c_str()), &PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(conn.get()));
    const std::string host = PQhost(conn.get());
    const std::string port = PQport(conn.get());
    path = host.starts_with("/") ? std::make_unique<tavix::test::FaultProxy>(host + "/.s.PGSQL." + port)
                                 : std::make_unique<tavix::test::FaultProxy>(std::stoi(port));
    return "postgresql:///" + db.Name() + "?host=127.0.0.1&port=" + std::to_string(path->Port()) +
           "&user=" + PQuser(conn.get());
#endif
}

// When an order is first accepted after `after`: on the client already logged in to the
// leader (when there is one), or on the standby once it listens. Each logged-in client sends
// an order every 20 ms.
std::optional<Clock::time_point> FirstAcceptedAfter(Clock::time_point after, asio::io_context& io,
                                                    std::vector<std::shared_ptr<Client>>& clients,
                                                    std::optional<Clock::time_point>& acceptedAt,
                                                    QuorvexdChild& standby,
                                                    const std::function<void(std::uint16_t)>& watch) {
    bool watching = false;
    acceptedAt.reset();
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (!acceptedAt && Clock::now() < deadline) {
        if (!watching)
            if (const std::uint16_t port = standby.WaitListeningPort(std::chrono::milliseconds(5)); port != 0) {
                watch(port);
                watching = true;
            }
        for (const auto& client : clients)
            if (client->loggedIn)
                client->Send(net::kCmdOrder, kOrderBody);
        io.run_for(std::chrono::milliseconds(20));
    }
    return acceptedAt && *acceptedAt > after ? acceptedAt : std::nullopt;
}

// kill: SIGKILL to the leader; stop: SIGSTOP; partition: its path to the database holds every
// byte; outage: the database (a cluster of scripts/pg-test-cluster.sh, --pg-state) stopped for
// --outage-seconds, timed from its return to the first order whichever server serves accepts.
int RunTakeovers(const std::string& binary, const std::filesystem::path& dir, const std::string& fault,
                 const std::string& clusterState) {
    const long runs = Option("--runs", 10);
    const std::string csv = (dir / "book.csv").string();
    std::ofstream(csv) << "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,100,100,100,100,100,"
                          "10.00,10.01,10.02,10.03,10.04,100,100,100,100,100\n";
    const auto cluster = [&](const char* action) {
        return std::system(("bash " PG_CLUSTER_SCRIPT " " + std::string(action) + " " + clusterState).c_str());
    };
    std::vector<double> ms;
    for (long run = 1; run <= runs; ++run) {
        tavix::test::TestDatabase db(g_pg, "quorvex_load");
        QuorvexdChild add(
            {"add-user", AccountName(0), kPassword, "--cash", "900000000", "--db", db.Location(), "--fast-hash"},
            Using(binary));
        if (add.Wait() != 0) {
            std::fprintf(stderr, "quorvex_load: add-user failed\n");
            return 1;
        }
        const auto serve = [&](const std::string& location) {
            return std::vector<std::string>{"serve",     "--db",        location,       "--listen", "127.0.0.1:0",
                                            "--no-demo", "--fast-hash", "--quotes-csv", csv};
        };
        std::unique_ptr<tavix::test::FaultProxy> path;
        QuorvexdChild first(serve(fault == "partition" ? Through(db, path) : db.Location()), Using(binary));
        const std::uint16_t firstPort = first.WaitListeningPort(kStartWait);
        if (firstPort == 0) {
            std::fprintf(stderr, "quorvex_load: the first server did not start\n");
            return 1;
        }
        QuorvexdChild second(serve(db.Location()), Using(binary)); // only now, so that the first one leads
        if (second.WaitLine("standby", kStartWait).empty()) {
            std::fprintf(stderr, "quorvex_load: the two servers did not start as leader and standby\n");
            return 1;
        }
        asio::io_context io;
        const auto busy = asio::make_work_guard(io); // run_for waits even before a client connects
        std::optional<Clock::time_point> acceptedAt;
        std::vector<std::shared_ptr<Client>> clients;
        const auto watch = [&](std::uint16_t port) {
            clients.push_back(std::make_shared<Client>(io, [&](Client& self, const net::Frame& f) {
                if (f.command == net::kCmdLogin)
                    self.loggedIn = ProtocolClient::LoginAccepted(f.body);
                else if (f.command == net::kCmdOrder && f.body.starts_with("0,") && !acceptedAt)
                    acceptedAt = Clock::now();
            }));
            clients.back()->Connect(port);
        };
        Clock::time_point faultAt;
        if (fault == "outage") {
            // A leader that wins its lease back serves its connected clients again.
            watch(firstPort);
            io.run_for(std::chrono::milliseconds(500));
            if (!clients.back()->loggedIn) {
                std::fprintf(stderr, "quorvex_load: no login on the leader\n");
                return 1;
            }
            if (cluster("down") != 0)
                return 1;
            std::this_thread::sleep_for(std::chrono::seconds(Option("--outage-seconds", 30)));
            if (cluster("up") != 0)
                return 1;
        } else if (fault == "partition") {
            path->SetHolding(true);
        } else if (fault == "stop") {
            first.Pause();
        } else {
            first.Kill(SIGKILL);
        }
        faultAt = Clock::now();
        const auto servedAt = FirstAcceptedAfter(faultAt, io, clients, acceptedAt, second, watch);
        if (fault == "stop")
            first.Kill(SIGKILL);
        if (!servedAt) {
            std::fprintf(stderr, "quorvex_load: no server served again\n");
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(*servedAt - faultAt).count());
        std::printf("  run %ld: first order accepted %.0f ms after the %s\n", run, ms.back(),
                    fault == "outage" ? "database's return" : fault.c_str());
        std::fflush(stdout);
    }
    std::sort(ms.begin(), ms.end());
    const std::size_t n = ms.size();
    const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    std::printf(
        "takeover after %s: %zu runs, to the first order accepted by a serving server: median %.0f ms, min %.0f ms, "
        "max %.0f ms\n",
        fault == "outage" ? "an outage" : fault.c_str(), n, median, ms.front(), ms.back());
    return 0;
}

// How many write-and-sync rounds of one 8 KiB page the disk under `dir` does per second now:
// the ceiling a power-safe store's commits meet, printed beside each store's figures because
// this machine's disk switches between fast and slow modes.
double FsyncRate(const std::filesystem::path& dir) {
    const std::string path = (dir / "fsync-probe").string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return 0;
    const std::string page(8192, 'x');
    long rounds = 0;
    const auto t0 = Clock::now();
    while (Clock::now() - t0 < std::chrono::seconds(1)) {
        if (::pwrite(fd, page.data(), page.size(), 0) < 0 || ::fdatasync(fd) != 0)
            break;
        ++rounds;
    }
    const double rate = static_cast<double>(rounds) / Seconds(Clock::now() - t0);
    ::close(fd);
    ::unlink(path.c_str());
    return rate;
}

// One account per client, so that no figure is that of one account's many connections.
long AccountsFor(const std::string& mode) {
    if (mode == "quotes")
        return Option("--clients", 1000);
    if (mode == "orders" || mode == "wal")
        return Option("--clients", 20);
    if (mode == "logins")
        return std::max(1L, Option("--users", 8));
    if (mode == "flood" || mode == "crowd")
        return 2;
    if (mode == "latency")
        return Option("--clients", 8);
    return 1;
}

int RunMode(const std::string& binary, const std::string& mode, const std::string& db,
            const std::filesystem::path& dir) {
    int rc = 1;
    {
        // The attack on first logins (crowd --attack 5) needs the real cost too.
        const bool fastHash = mode != "logins" && mode != "guesses" && !(mode == "crowd" && Option("--attack", 0) == 5);
        const long users = AccountsFor(mode);
        // A few add-user commands at a time (each is a process of its own), after a first one
        // alone that makes the tables.
        for (long first = 0, next = 1; first < users; first = next, next = first + 4) {
            std::vector<std::unique_ptr<QuorvexdChild>> adding;
            for (long u = first; u < std::min(users, next); ++u) {
                std::vector<std::string> addArgs = {"add-user",  AccountName(u), kPassword, "--cash",
                                                    "900000000", "--db",         db};
                if (fastHash)
                    addArgs.push_back("--fast-hash");
                adding.push_back(std::make_unique<QuorvexdChild>(addArgs, Using(binary)));
            }
            for (auto& add : adding)
                if (add->Wait() != 0) {
                    std::fprintf(stderr, "quorvex_load: add-user failed\n");
                    return 1;
                }
        }
        std::vector<std::string> args = {"serve",     "--db",           db,   "--listen", "127.0.0.1:0",
                                         "--no-demo", "--idle-seconds", "600"};
        const long securities = Option("--securities", mode == "market" ? 5000 : 0);
        if (securities > 0)
            args.insert(args.end(), {"--securities", WriteSecuritiesFile(dir, securities)});
        if (mode == "market" && !SeedDailyBars(db)) {
            std::fprintf(stderr, "quorvex_load: could not store the daily bars\n");
            return 1;
        }
        if (fastHash)
            args.push_back("--fast-hash");
        // Every simulated client comes from 127.0.0.1; the attacks keep the per-address limit.
        if (mode != "crowd" && mode != "flood" && mode != "logins" && mode != "guesses")
            args.insert(args.end(), {"--max-per-address", "1000000"});
        if (mode != "crowd" && mode != "flood") // the throughput modes' accounts keep every order they place
            args.insert(args.end(), {"--max-per-account", "1000000", "--max-open-orders", "100000000"});
        else if (Option("--attack", 0) == 2) // a table the crowd can fill, with descriptors to spare
            args.insert(args.end(), {"--max-connections", "10000"});
        if (Option("--sync-normal", 0) != 0)
            args.insert(args.end(), {"--synchronous", "normal"});
        if (const long limit = Option("--log-limit-mb", 0); limit > 0)
            args.insert(args.end(), {"--log-limit-mb", std::to_string(limit)});
        if (mode != "quotes" && mode != "market") {
            // A fixed book: 600000 at 10.00, so the orders' price stays inside the limits.
            const std::string csv = (dir / "book.csv").string();
            std::ofstream(csv) << "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,100,100,100,100,100,"
                                  "10.00,10.01,10.02,10.03,10.04,100,100,100,100,100\n";
            args.insert(args.end(), {"--quotes-csv", csv});
        }
        if (mode == "standing" &&
            !AddCrowd(db, std::max(1L, Option("--accounts", 10000)) - 1, std::max(0L, Option("--days", 60)))) {
            std::fprintf(stderr, "quorvex_load: could not fill the contest\n");
            return 1;
        }
        QuorvexdChild server(args, Using(binary));
        const std::uint16_t port = server.WaitListeningPort(kStartWait);
        if (port == 0) {
            std::fprintf(stderr, "quorvex_load: quorvexd did not start\n");
        } else if (mode == "quotes") {
            rc = RunQuotes(server, port);
        } else if (mode == "market") {
            rc = RunMarket(server, port, securities);
        } else if (mode == "orders") {
            rc = RunOrders(server, port, db);
        } else if (mode == "latency") {
            rc = RunLatency(port, db);
        } else if (mode == "logins") {
            rc = RunLogins(port, std::max(1L, Option("--users", 8)));
        } else if (mode == "guesses") {
            rc = RunGuesses(port);
        } else if (mode == "flood") {
            rc = RunFlood(port);
        } else if (mode == "wal") {
            rc = RunWal(port, db);
        } else if (mode == "crowd") {
            rc = Option("--attack", 0) >= 3 ? RunGuessers(port, Option("--attack", 0)) : RunCrowd(server, port);
        } else if (mode == "standing") {
            rc = RunStanding(port);
        } else {
            std::fprintf(stderr, "quorvex_load: unknown mode %s\n", mode.c_str());
            rc = 2;
        }
    }
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2) {
        std::fprintf(
            stderr,
            "usage: quorvex_load quotes|market|orders|latency|logins|guesses|flood|wal|crowd|standing|stores|takeover "
            "[--clients N] "
            "[--codes N] [--seconds N] "
            "[--window N] [--orders N] [--rate N] [--users N] [--pg URI] [--server PATH] "
            "[--fault kill|stop|partition|outage] [--pg-state STATE]\n");
        return 2;
    }
    const std::string mode = argv[1];
    std::string binary = tavix::test::QuorvexdPath();
    std::string fault = "kill";
    std::string clusterState;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--server")
            binary = argv[i + 1];
        else if (std::string(argv[i]) == "--pg")
            g_pg = argv[i + 1];
        else if (std::string(argv[i]) == "--fault")
            fault = argv[i + 1];
        else if (std::string(argv[i]) == "--pg-state")
            clusterState = argv[i + 1];
        else
            g_options[argv[i]] = std::stol(argv[i + 1]);
    }
    if (Option("--window", kServerInFlight) > kServerInFlight) {
        std::fprintf(stderr,
                     "quorvex_load: --window %ld is above the server's %ld requests in flight per connection; "
                     "it would silently mean %ld (use more --clients)\n",
                     Option("--window", 0), kServerInFlight, kServerInFlight);
        return 2;
    }
    const auto dir = std::filesystem::temp_directory_path() / ("quorvex-load-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    int rc = 1;
    if (Option("--silent", 0) != 0)
        fault = "stop"; // a frozen leader: its connection to the store stays open and says nothing
    if (g_pg.empty() && !clusterState.empty()) {
        std::ifstream state(clusterState);
        std::getline(state, g_pg); // the cluster's folder
        std::getline(state, g_pg); // its maintenance database
    }
    if (mode == "takeover" && (fault != "kill" && fault != "stop" && fault != "partition" && fault != "outage")) {
        std::fprintf(stderr, "quorvex_load: --fault is kill, stop, partition or outage\n");
        rc = 2;
    } else if (mode == "takeover" && fault == "outage" && clusterState.empty()) {
        std::fprintf(stderr,
                     "quorvex_load: --fault outage needs --pg-state STATE (scripts/pg-test-cluster.sh start STATE)\n");
        rc = 2;
    } else if (mode == "stores" || mode == "takeover") {
        if (g_pg.empty()) {
            std::fprintf(stderr, "quorvex_load: %s needs --pg URI\n", mode.c_str());
            rc = 2;
        } else if (mode == "takeover") {
            rc = RunTakeovers(binary, dir, fault, clusterState);
        } else {
            rc = 0;
            // Latency at the rates asked for, or at a quiet and a busy day's.
            std::vector<long> rates = {1000, 5000};
            if (g_options.contains("--rate"))
                rates = {Option("--rate", 1000)};
            for (const bool pg : {false, true}) {
                std::printf("== %s ==\n", pg ? "PostgreSQL 15" : "SQLite (WAL)");
                int run = 0;
                for (const long rate : rates) {
                    for (const char* m : {"orders", "latency"}) {
                        if (std::string(m) == "orders" && rate != rates.front())
                            continue;
                        g_options["--rate"] = rate;
                        std::printf("  (disk now: %.0f fsyncs/s)\n", FsyncRate(dir));
                        std::fflush(stdout);
                        if (pg) {
                            tavix::test::TestDatabase db(g_pg, "quorvex_load");
                            rc |= RunMode(binary, m, db.Location(), dir);
                        } else {
                            rc |= RunMode(binary, m, (dir / (std::to_string(++run) + ".db")).string(), dir);
                        }
                    }
                }
            }
        }
    } else {
        rc = RunMode(binary, mode, (dir / "load.db").string(), dir);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
