// quorvex_load: drives a real quorvexd over loopback and reports what it sustains.
//
//   quorvex_load quotes  [--clients 1000] [--codes 10] [--seconds 10]
//   quorvex_load orders  [--clients 20] [--window 32] [--orders 100000]
//   quorvex_load latency [--rate 1000] [--seconds 10] [--clients 8]
//   quorvex_load logins  [--clients 50] [--users 8]
//   quorvex_load guesses [--clients 60]       parallel wrong passwords for one name
//   quorvex_load flood   [--queries 20000] [--rate 200] [--seconds 5]  one client floods,
//                                              another's order latency is measured
//   quorvex_load wal     [--clients 20] [--window 32] [--seconds 60]  log size under load
//   any mode: --sync-normal 1 serves with --synchronous normal (default full)
//   quorvex_load stores  --pg URI [--orders 20000] [--rate 1000] [--seconds 10]
//   quorvex_load takeover --pg URI [--runs 10] [--silent 1]   (--silent: freeze the leader first)
//
// stores runs the orders and latency modes on a SQLite file and then on a PostgreSQL
// database; takeover starts two servers on one PostgreSQL database, kills the serving one
// with SIGKILL and times how long until a client gets its first quote from the standby.
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

#include "server/market/Securities.h"
#include "server/store/Store.h"
#include "server/store/pg/PgStore.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <asio.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kPassword = "benchpw";
// The server answers at most this many requests of one connection at a time and stops
// reading it meanwhile (server/Session.cpp).
constexpr long kServerInFlight = 32;

std::string AccountName(long i) {
    return "bench" + std::to_string(i);
}

// ---- the server under test --------------------------------------------------------

class ServerProcess final {
public:
    ServerProcess(const std::string& binary, std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            // The throughput modes log in with cheap hashes; the server allows them only for test runs.
            ::setenv("QUORVEXD_TEST_FAST_HASH", "1", 1);
            std::vector<char*> argv{const_cast<char*>(binary.c_str())};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(binary.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        fd_ = out[0];
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0)
            ::close(fd_);
    }
    pid_t Pid() const { return pid_; }
    int WaitExit() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Kill(int signal) {
        ::kill(pid_, signal);
        WaitExit();
    }
    // The port from the "listening on HOST:PORT" line, 0 when it never comes.
    std::uint16_t Port() {
        if (!WaitFor("listening on 127.0.0.1:", ','))
            return 0;
        return static_cast<std::uint16_t>(std::stoi(text_.substr(text_.find("listening on 127.0.0.1:") + 23)));
    }
    // True once the output holds `what` followed somewhere by `then`.
    bool WaitFor(const std::string& what, char then = '\n') {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < deadline) {
            const auto at = text_.find(what);
            if (at != std::string::npos && text_.find(then, at) != std::string::npos)
                return true;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            text_.append(chunk, static_cast<std::size_t>(n));
        }
        return false;
    }
    // Seconds of CPU the process has used (user + system).
    double CpuSeconds() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
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

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string text_;
};

// ---- one protocol client on the shared io_context ----------------------------------

class Client final : public std::enable_shared_from_this<Client> {
public:
    using OnFrame = std::function<void(Client&, const net::Frame&)>;

    Client(asio::io_context& io, OnFrame onFrame, std::string user)
        : socket_(io)
        , onFrame_(std::move(onFrame))
        , user_(std::move(user)) {}

    void Connect(std::uint16_t port) {
        socket_.async_connect(
            {asio::ip::make_address("127.0.0.1"), port}, [self = shared_from_this()](const asio::error_code& ec) {
                if (ec) {
                    std::fprintf(stderr, "connect: %s\n", ec.message().c_str());
                    return;
                }
                self->socket_.set_option(asio::ip::tcp::no_delay(true));
                self->Send(net::kCmdLogin, "user_name=" + self->user_ + "&pwd=" + kPassword + "&yjm=BENCH");
                self->Read();
            });
    }
    void Send(int command, const std::string& body) {
        const bool idle = pending_.empty() && writing_.empty();
        pending_ += net::FormatFrame(command, net::WithCredentials(body, user_, kPassword));
        if (idle)
            Flush();
    }
    const std::string& User() const { return user_; }
    bool loggedIn = false;
    std::size_t counter = 0;
    Clock::time_point lastPush{};
    double maxGapMs = 0;

private:
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
        socket_.async_read_some(asio::buffer(buffer_),
                                [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                                    if (ec)
                                        return;
                                    self->decoder_.Append(self->buffer_.data(), n);
                                    net::Frame frame;
                                    while (self->decoder_.Next(frame) == net::FrameDecoder::Status::kFrame)
                                        self->onFrame_(*self, frame);
                                    self->Read();
                                });
    }

    asio::ip::tcp::socket socket_;
    OnFrame onFrame_;
    std::string user_;
    std::array<char, 65536> buffer_{};
    net::FrameDecoder decoder_;
    std::string pending_;
    std::string writing_;
};

// ---- modes --------------------------------------------------------------------------

std::map<std::string, long> g_options;
std::string g_pg; // maintenance database URI of a PostgreSQL cluster

// A database of its own in the cluster of g_pg for one run, dropped afterwards.
class ScratchDatabase final {
public:
    ScratchDatabase() {
        static int counter = 0;
        name_ = "quorvex_load_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        server::PgStore admin(g_pg);
        admin.Execute(("DROP DATABASE IF EXISTS " + name_).c_str());
        admin.Execute(("CREATE DATABASE " + name_).c_str());
        const auto at = g_pg.find("/postgres");
        location_ = g_pg.substr(0, at) + "/" + name_ + g_pg.substr(at + 9);
    }
    ~ScratchDatabase() {
        try {
            server::PgStore admin(g_pg);
            admin.Execute(("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)").c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quorvex_load: %s\n", e.what());
        }
    }
    const std::string& Location() const { return location_; }

private:
    std::string name_;
    std::string location_;
};

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

int RunQuotes(ServerProcess& server, std::uint16_t port) {
    const long clients = Option("--clients", 1000);
    const long codesEach = Option("--codes", 10);
    const long seconds = Option("--seconds", 10);
    const auto securities = server::DefaultSecurities();
    asio::io_context io;
    std::vector<std::shared_ptr<Client>> all;
    bool measuring = false;
    long loggedIn = 0;
    for (long i = 0; i < clients; ++i) {
        auto c = std::make_shared<Client>(
            io,
            [&, i](Client& self, const net::Frame& f) {
                if (f.command == net::kCmdLogin && f.body.starts_with("0,,,")) {
                    self.loggedIn = true;
                    ++loggedIn;
                    std::string list;
                    for (long k = 0; k < codesEach; ++k) {
                        if (k)
                            list += ',';
                        list += securities[static_cast<std::size_t>(i + k) % securities.size()].code;
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
        c->Connect(port);
        all.push_back(c);
    }
    // Log everyone in first; then measure a steady window; a heartbeat every 5 s keeps
    // the connections alive as a real client's requests would.
    if (!AwaitLogins(io, loggedIn, clients))
        return 1;
    io.run_for(std::chrono::seconds(2));
    measuring = true;
    const double cpu0 = server.CpuSeconds();
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
    const double cpu = server.CpuSeconds() - cpu0;
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

std::int64_t CountOrders(const std::string& db) {
    if (server::IsPostgresLocation(db)) {
        server::PgStore store(db);
        server::Statement count = store.Prepare("SELECT COUNT(*) FROM orders");
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

int RunOrders(ServerProcess& server, std::uint16_t port, const std::string& db) {
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
                if (f.command == net::kCmdLogin && f.body.starts_with("0,,,")) {
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
        c->Connect(port);
        all.push_back(c);
    }
    if (!AwaitLogins(io, loggedIn, clients))
        return 1;
    const double cpu0 = server.CpuSeconds();
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
    const double cpu = server.CpuSeconds() - cpu0;
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
        std::printf("  server CPU (all its threads): %.2f s over the %.2f s run = %.0f%% of one core\n", cpu, span,
                    100.0 * cpu / span);
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
                if (f.command == net::kCmdLogin && f.body.starts_with("0,,,")) {
                    ++loggedIn;
                    self.loggedIn = true;
                } else if (f.command == net::kCmdOrder) {
                    accepted += f.body.starts_with("0,");
                    if (running)
                        self.Send(net::kCmdOrder, kOrderBody);
                }
            },
            AccountName(i));
        c->Connect(port);
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
int RunLatency(std::uint16_t port) {
    const long rate = Option("--rate", 1000);
    const long seconds = Option("--seconds", 10);
    const long clients = Option("--clients", 8);
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
                if (f.command == net::kCmdLogin && f.body.starts_with("0,,,")) {
                    self.loggedIn = true;
                    ++loggedIn;
                } else if (f.command == net::kCmdOrder && !mine.empty()) {
                    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - mine.front()).count());
                    mine.pop_front();
                    rejected += !f.body.starts_with("0,");
                }
            },
            AccountName(i)));
        all.back()->Connect(port);
    }
    if (!AwaitLogins(io, loggedIn, clients))
        return 1;
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
            net::FormatFrame(net::kCmdLogin, "user_name=" + AccountName(0) + "&pwd=guess" + std::to_string(i));
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

// One account pipelines many queries from a thread of its own; another account sends paced
// orders from another thread meanwhile, so the flooder's answers never delay the victim's
// reading of its own.
int RunFlood(std::uint16_t port) {
    const long queries = Option("--queries", 20000);
    const long rate = Option("--rate", 200);
    const long seconds = Option("--seconds", 5);
    asio::io_context floodIo;
    std::atomic<long> flooded{0};
    long flooderIn = 0;
    long seeded = 0;
    auto flooder = std::make_shared<Client>(
        floodIo,
        [&](Client& self, const net::Frame& f) {
            if (f.command == net::kCmdLogin && f.body.starts_with("0,,,")) {
                self.loggedIn = true;
                ++flooderIn;
            } else if (f.command == net::kCmdTodayOrders) {
                ++flooded;
            } else if (f.command == net::kCmdOrder) {
                ++seeded;
            }
        },
        AccountName(1));
    asio::io_context io;
    std::deque<Clock::time_point> inFlight;
    std::vector<double> latencies;
    long victimIn = 0;
    auto victim = std::make_shared<Client>(
        io,
        [&](Client& self, const net::Frame& f) {
            if (f.command == net::kCmdLogin && f.body.starts_with("0,,,")) {
                self.loggedIn = true;
                ++victimIn;
            } else if (f.command == net::kCmdOrder && !inFlight.empty()) {
                latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - inFlight.front()).count());
                inFlight.pop_front();
            }
        },
        AccountName(0));
    flooder->Connect(port);
    victim->Connect(port);
    if (!AwaitLogins(floodIo, flooderIn, 1) || !AwaitLogins(io, victimIn, 1))
        return 1;
    // Some stored orders of the flooder make each of its queries read a little.
    for (int i = 0; i < 50; ++i)
        flooder->Send(net::kCmdOrder, kOrderBody);
    const auto seedDeadline = Clock::now() + std::chrono::seconds(30);
    while (seeded < 50 && Clock::now() < seedDeadline)
        floodIo.run_for(std::chrono::milliseconds(5));
    for (long i = 0; i < queries; ++i)
        flooder->Send(net::kCmdTodayOrders, "start=2000-1-1");
    auto work = asio::make_work_guard(floodIo);
    std::thread floodThread([&] { floodIo.run(); });
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
    work.reset();
    floodIo.stop();
    floodThread.join();
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty()
                   ? 0.0
                   : latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(q * latencies.size()))];
    };
    std::printf("flood: %ld pipelined queries from one account; another sends %ld orders/s for %ld s\n", queries, rate,
                seconds);
    std::printf("  the other's order answers: median %.1f ms, p99 %.1f ms, max %.1f ms; flooder answered %ld\n",
                at(0.5), at(0.99), latencies.empty() ? 0.0 : latencies.back(), flooded.load());
    return static_cast<long>(latencies.size()) == total ? 0 : 1;
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
                    done = f.body.starts_with("0,,,");
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

int RunTakeovers(const std::string& binary, const std::filesystem::path& dir) {
    const long runs = Option("--runs", 10);
    const std::string csv = (dir / "book.csv").string();
    std::ofstream(csv) << "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,100,100,100,100,100,"
                          "10.00,10.01,10.02,10.03,10.04,100,100,100,100,100\n";
    std::vector<double> ms;
    for (long run = 1; run <= runs; ++run) {
        ScratchDatabase db;
        ServerProcess add(binary, {"add-user", AccountName(0), kPassword, "--cash", "900000000", "--db", db.Location(),
                                   "--fast-hash"});
        if (add.WaitExit() != 0) {
            std::fprintf(stderr, "quorvex_load: add-user failed\n");
            return 1;
        }
        const std::vector<std::string> args = {"serve",     "--db",        db.Location(),  "--listen", "127.0.0.1:0",
                                               "--no-demo", "--fast-hash", "--quotes-csv", csv};
        ServerProcess first(binary, args);
        if (first.Port() == 0) {
            std::fprintf(stderr, "quorvex_load: the first server did not start\n");
            return 1;
        }
        ServerProcess second(binary, args); // only now, so that the first one leads
        if (!second.WaitFor("standby")) {
            std::fprintf(stderr, "quorvex_load: the two servers did not start as leader and standby\n");
            return 1;
        }
        auto killedAt = Clock::now();
        std::uint16_t port = 0;
        if (Option("--silent", 0) != 0) {
            // A frozen leader (a hung machine): its connection to the store stays open and
            // says nothing. Does the standby take over?
            ::kill(first.Pid(), SIGSTOP);
            port = second.Port();
            if (port == 0) {
                std::printf("  run %ld: the standby did not take over within 30 s of the leader freezing; "
                            "killing the frozen leader\n",
                            run);
                killedAt = Clock::now();
            } else {
                std::printf("  run %ld: the standby took over %.0f ms after the leader froze\n", run,
                            std::chrono::duration<double, std::milli>(Clock::now() - killedAt).count());
            }
        }
        first.Kill(SIGKILL);
        if (port == 0)
            port = second.Port();
        if (port == 0) {
            std::fprintf(stderr, "quorvex_load: the standby did not take over\n");
            return 1;
        }
        asio::io_context io;
        std::optional<Clock::time_point> quotedAt;
        auto client = std::make_shared<Client>(
            io,
            [&](Client& self, const net::Frame& f) {
                if (f.command == net::kCmdLogin && f.body.starts_with("0,,,"))
                    self.Send(net::kCmdQuoteSubscribe, "code=600000");
                else if (f.command == net::kCmdQuoteUpdate && !quotedAt)
                    quotedAt = Clock::now();
            },
            AccountName(0));
        client->Connect(port);
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!quotedAt && Clock::now() < deadline)
            io.run_for(std::chrono::milliseconds(2));
        if (!quotedAt) {
            std::fprintf(stderr, "quorvex_load: no quote from the standby\n");
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(*quotedAt - killedAt).count());
        std::printf("  run %ld: first quote from the standby %.0f ms after SIGKILL\n", run, ms.back());
        std::fflush(stdout);
    }
    std::sort(ms.begin(), ms.end());
    const std::size_t n = ms.size();
    const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    std::printf("takeover: %zu runs, SIGKILL to the first quote from the standby: median %.0f ms, min %.0f ms, "
                "max %.0f ms\n",
                n, median, ms.front(), ms.back());
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
    if (mode == "flood")
        return 2;
    if (mode == "latency")
        return Option("--clients", 8);
    return 1;
}

int RunMode(const std::string& binary, const std::string& mode, const std::string& db,
            const std::filesystem::path& dir) {
    int rc = 1;
    {
        const bool fastHash = mode != "logins" && mode != "guesses";
        const long users = AccountsFor(mode);
        // A few add-user commands at a time (each is a process of its own), after a first one
        // alone that makes the tables.
        for (long first = 0, next = 1; first < users; first = next, next = first + 4) {
            std::vector<std::unique_ptr<ServerProcess>> adding;
            for (long u = first; u < std::min(users, next); ++u) {
                std::vector<std::string> addArgs = {"add-user",  AccountName(u), kPassword, "--cash",
                                                    "900000000", "--db",         db};
                if (fastHash)
                    addArgs.push_back("--fast-hash");
                adding.push_back(std::make_unique<ServerProcess>(binary, addArgs));
            }
            for (auto& add : adding)
                if (add->WaitExit() != 0) {
                    std::fprintf(stderr, "quorvex_load: add-user failed\n");
                    return 1;
                }
        }
        std::vector<std::string> args = {"serve",     "--db",           db,   "--listen", "127.0.0.1:0",
                                         "--no-demo", "--idle-seconds", "600"};
        if (fastHash)
            args.push_back("--fast-hash");
        // Every simulated client comes from 127.0.0.1.
        args.insert(args.end(), {"--max-per-address", "1000000"});
        if (Option("--sync-normal", 0) != 0)
            args.insert(args.end(), {"--synchronous", "normal"});
        if (mode != "quotes") {
            // A fixed book: 600000 at 10.00, so the orders' price stays inside the limits.
            const std::string csv = (dir / "book.csv").string();
            std::ofstream(csv) << "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,100,100,100,100,100,"
                                  "10.00,10.01,10.02,10.03,10.04,100,100,100,100,100\n";
            args.insert(args.end(), {"--quotes-csv", csv});
        }
        ServerProcess server(binary, args);
        const std::uint16_t port = server.Port();
        if (port == 0) {
            std::fprintf(stderr, "quorvex_load: quorvexd did not start\n");
        } else if (mode == "quotes") {
            rc = RunQuotes(server, port);
        } else if (mode == "orders") {
            rc = RunOrders(server, port, db);
        } else if (mode == "latency") {
            rc = RunLatency(port);
        } else if (mode == "logins") {
            rc = RunLogins(port, std::max(1L, Option("--users", 8)));
        } else if (mode == "guesses") {
            rc = RunGuesses(port);
        } else if (mode == "flood") {
            rc = RunFlood(port);
        } else if (mode == "wal") {
            rc = RunWal(port, db);
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
        std::fprintf(stderr,
                     "usage: quorvex_load quotes|orders|latency|logins|guesses|flood|wal|stores|takeover [--clients N] "
                     "[--codes N] [--seconds N] "
                     "[--window N] [--orders N] [--rate N] [--users N] [--pg URI] [--server PATH]\n");
        return 2;
    }
    const std::string mode = argv[1];
    std::string binary = QUORVEXD_PATH;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--server")
            binary = argv[i + 1];
        else if (std::string(argv[i]) == "--pg")
            g_pg = argv[i + 1];
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
    if (mode == "stores" || mode == "takeover") {
        if (g_pg.empty()) {
            std::fprintf(stderr, "quorvex_load: %s needs --pg URI\n", mode.c_str());
            rc = 2;
        } else if (mode == "takeover") {
            rc = RunTakeovers(binary, dir);
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
                            ScratchDatabase db;
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
