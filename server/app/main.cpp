// quorvexd: the contest trading server and its administration commands.

#include "server/engine/Engine.h"
#include "server/engine/GbkCodec.h"
#include "server/http/HttpServer.h"
#include "server/ledger/Ledger.h"
#include "server/ledger/UserDirectory.h"
#include "server/network/Server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace server;

namespace {

constexpr const char* kDemoUser = "demo";
constexpr const char* kDemoPassword = "demo123";
constexpr const char* kFastHashVariable = "QUORVEXD_TEST_FAST_HASH";
constexpr const char* kTestClockVariable = "QUORVEXD_TEST_CLOCK";

constexpr const char* kUsage = R"(usage: quorvexd COMMAND [options]

commands:
  serve                      run the contest server (default: a demo contest on 127.0.0.1:9690)
  init-db                    create the database
  add-user NAME [PASSWORD]   add an account [--cash YUAN] [--sh ACCOUNT] [--sz ACCOUNT]; without
                             PASSWORD (or with -) the password is read from standard input, so
                             it stays out of the process list and the shell history
  freeze NAME | unfreeze NAME
  reset NAME                 back to the initial cash, without positions, orders or history
  ranking                    list the accounts by total assets
  rollover                   close the trading day now (open orders expire, holdings become sellable)

options of every command:
  --db FILE                  database file (default data/quorvex.db)
  --db postgresql://...      a PostgreSQL database instead (a libpq connection URI)
  --data DIR                 database DIR/quorvex.db
  --fast-hash                cheapest password hashes, for tests only: refused unless the
                             environment sets QUORVEXD_TEST_FAST_HASH=1 (default argon2id interactive)

options of serve:
  --listen HOST:PORT         (127.0.0.1:9690); port 0 takes any free port, reported on the
                             "listening on" line and in --port-file
  --port-file FILE           write the bound port to FILE once the server accepts connections
  --seed N                   market simulation seed
  --tick-ms N                market tick and quote push period (1000)
  --hours HH:MM-HH:MM,...    trading sessions (always open)
  --exchange-day             trade by the exchange's day: weekdays only, opening call 9:15-9:25
                             (no cancels from 9:20), one opening match at 9:25, sessions
                             9:30-11:30 and 13:00-14:57, closing call 14:57-15:00 with one match
                             at 15:00; the trading day rolls over at 15:30, not at midnight
                             (replaces --hours; give it to the administration commands too)
  --holidays FILE            with --exchange-day: days closed besides weekends, one YYYY-MM-DD
                             a line, # starts a comment
  --quotes-csv FILE          replay quotes: tick,code,name,last,prev close,5 bid prices,5 bid volumes,
                             5 ask prices,5 ask volumes
  --client-version TEXT      client version announced at login (20210223)
  --update-cmd TEXT          updater command line announced at login ("update URL")
  --welcome TEXT             text shown in the client's status bar
  --commission RATE --min-commission YUAN --stamp-duty RATE --transfer-fee RATE
  --limit-main PERCENT --limit-growth PERCENT
  --idle-seconds N           close logged-in connections that send no request this long (300)
  --login-seconds N          close connections that have not logged in after this long (30)
  --max-per-address N        connections allowed from one address (128)
  --synchronous full|normal  full (default): an acknowledged order survives a power cut;
                             normal: faster commits that survive a crash of the server only
  --log-limit-mb N           the write-ahead log is emptied in the background once copied, and
                             at once above this size (64)
  --no-demo                  do not create the demo account
  --http HOST:PORT           serve the live ranking page (/), /ranking.json, /metrics and /healthz
  --ranking-names full|masked  names on the public ranking (masked: 张**)
)";

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    std::vector<std::string> flags;
};

bool IsFlag(const std::string& name) {
    return name == "--fast-hash" || name == "--no-demo" || name == "--exchange-day";
}

std::optional<Arguments> ParseArguments(int argc, char** argv, std::string& error) {
    Arguments args;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--")) {
            if (IsFlag(a)) {
                args.flags.push_back(a);
                continue;
            }
            if (i + 1 >= argc) {
                error = "missing value for " + a;
                return std::nullopt;
            }
            args.options[a] = argv[++i];
        } else {
            args.positional.push_back(a);
        }
    }
    return args;
}

bool Has(const Arguments& args, const char* flag) {
    for (const auto& f : args.flags)
        if (f == flag)
            return true;
    return false;
}

bool ParseDouble(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && out >= 0;
}

bool ParseInt(const std::string& text, long long min, long long max, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && end && *end == '\0' && out >= min && out <= max;
}

// Tests of the exchange's day start the server at a moment of their choosing, from which its
// clock runs at the real pace. A real contest never sets the variable.
std::string ApplyTestClock(ServerOptions& options) {
    const char* text = std::getenv(kTestClockVariable);
    if (!text || !*text)
        return {};
    const auto start = ParseMoment(text);
    if (!start)
        return std::string(kTestClockVariable) + " needs a moment such as 2026-03-06 09:20:00";
    const auto began = std::chrono::steady_clock::now();
    options.clock = [start = *start, began] {
        return LocalTimeOf(start +
                           std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - began));
    };
    std::fprintf(stderr, "quorvexd: test clock starting at %s (%s is set)\n", text, kTestClockVariable);
    return {};
}

// Fills `options` from the command line; returns an error text or an empty one.
std::string ApplyOptions(const Arguments& args, ServerOptions& options) {
    static const std::vector<std::string> kKnown = {"--db",
                                                    "--data",
                                                    "--listen",
                                                    "--seed",
                                                    "--tick-ms",
                                                    "--hours",
                                                    "--quotes-csv",
                                                    "--client-version",
                                                    "--update-cmd",
                                                    "--welcome",
                                                    "--commission",
                                                    "--min-commission",
                                                    "--stamp-duty",
                                                    "--transfer-fee",
                                                    "--limit-main",
                                                    "--limit-growth",
                                                    "--idle-seconds",
                                                    "--cash",
                                                    "--sh",
                                                    "--sz",
                                                    "--http",
                                                    "--ranking-names",
                                                    "--port-file",
                                                    "--login-seconds",
                                                    "--max-per-address",
                                                    "--synchronous",
                                                    "--log-limit-mb",
                                                    "--holidays"};
    for (const auto& [key, value] : args.options) {
        if (std::find(kKnown.begin(), kKnown.end(), key) == kKnown.end())
            return "unknown option " + key;
        long long n = 0;
        double d = 0;
        if (key == "--db") {
            options.dbPath = value;
        } else if (key == "--data") {
            options.dbPath = (std::filesystem::path(value) / "quorvex.db").string();
        } else if (key == "--listen") {
            const auto colon = value.rfind(':');
            if (colon == std::string::npos || !ParseInt(value.substr(colon + 1), 0, 65535, n))
                return "--listen needs HOST:PORT";
            options.host = value.substr(0, colon);
            options.port = static_cast<std::uint16_t>(n);
        } else if (key == "--http") {
            const auto colon = value.rfind(':');
            if (colon == std::string::npos || colon == 0 || !ParseInt(value.substr(colon + 1), 0, 65535, n))
                return "--http needs HOST:PORT";
            options.httpHost = value.substr(0, colon);
            options.httpPort = static_cast<std::uint16_t>(n);
        } else if (key == "--ranking-names") {
            if (value != "full" && value != "masked")
                return "--ranking-names needs full or masked";
            options.rankingFullNames = value == "full";
        } else if (key == "--port-file") {
            options.portFile = value;
        } else if (key == "--seed") {
            if (!ParseInt(value, 0, LLONG_MAX, n))
                return "--seed needs a number";
            options.seed = static_cast<std::uint64_t>(n);
        } else if (key == "--tick-ms") {
            if (!ParseInt(value, 10, 1000, n))
                return "--tick-ms needs 10 to 1000 (quotes go out at least once a second)";
            options.tickMs = static_cast<int>(n);
        } else if (key == "--hours") {
            const auto hours = TradingHours::Parse(value);
            if (!hours)
                return "--hours needs HH:MM-HH:MM[,HH:MM-HH:MM...]";
            options.hours = *hours;
        } else if (key == "--holidays") {
            std::string error;
            auto calendar = ExchangeCalendar::LoadHolidays(value, error);
            if (!calendar)
                return error;
            options.exchangeDay = std::move(calendar);
        } else if (key == "--quotes-csv") {
            options.quotesCsv = value;
        } else if (key == "--client-version") {
            options.clientVersion = value;
        } else if (key == "--update-cmd") {
            options.updateCommand = value;
        } else if (key == "--welcome") {
            options.welcome = value;
        } else if (key == "--commission" || key == "--stamp-duty" || key == "--transfer-fee" ||
                   key == "--min-commission") {
            if (!ParseDouble(value, d) || (key != "--min-commission" && d >= 0.1))
                return key + " needs a rate such as 0.0003 (or a yuan amount for --min-commission)";
            if (key == "--commission")
                options.fees.commissionRate = d;
            else if (key == "--stamp-duty")
                options.fees.stampDutyRate = d;
            else if (key == "--transfer-fee")
                options.fees.transferFeeRate = d;
            else
                options.fees.minCommission = static_cast<Cents>(d * 100 + 0.5);
        } else if (key == "--limit-main" || key == "--limit-growth") {
            if (!ParseInt(value, 1, 99, n))
                return key + " needs a percentage from 1 to 99";
            (key == "--limit-main" ? options.mainLimitPercent : options.growthLimitPercent) = static_cast<int>(n);
        } else if (key == "--idle-seconds") {
            if (!ParseInt(value, 1, 86400, n))
                return "--idle-seconds needs a number of seconds";
            options.idleSeconds = static_cast<int>(n);
        } else if (key == "--login-seconds") {
            if (!ParseInt(value, 1, 3600, n))
                return "--login-seconds needs a number of seconds from 1 to 3600";
            options.loginSeconds = static_cast<int>(n);
        } else if (key == "--max-per-address") {
            if (!ParseInt(value, 1, 1000000, n))
                return "--max-per-address needs a number of connections";
            options.maxConnectionsPerAddress = static_cast<std::size_t>(n);
        } else if (key == "--synchronous") {
            if (value != "full" && value != "normal")
                return "--synchronous needs full or normal";
            options.synchronous = value == "full" ? Synchronous::kFull : Synchronous::kNormal;
        } else if (key == "--log-limit-mb") {
            if (!ParseInt(value, 1, 1 << 20, n))
                return "--log-limit-mb needs a size in megabytes";
            options.logLimitBytes = static_cast<std::int64_t>(n) * 1024 * 1024;
        }
    }
    if (Has(args, "--fast-hash")) {
        // Cheap hashes fall to a brute force within minutes: only a test run may store them.
        const char* allowed = std::getenv(kFastHashVariable);
        if (!allowed || std::string(allowed) != "1")
            return std::string("--fast-hash stores weak password hashes and is for tests only; set ") +
                   kFastHashVariable + "=1 to allow it";
        options.hashCost = HashCost::kMinimal;
    }
    if (Has(args, "--no-demo"))
        options.createDemo = false;
    const bool exchangeDay = Has(args, "--exchange-day");
    if (options.exchangeDay && !exchangeDay)
        return "--holidays needs --exchange-day";
    if (exchangeDay && args.options.contains("--hours"))
        return "--exchange-day has its own sessions; leave out --hours";
    if (exchangeDay && !options.exchangeDay)
        options.exchangeDay = ExchangeCalendar();
    return ApplyTestClock(options);
}

bool ValidName(const std::string& name) {
    // Names travel as GBK: one that GBK cannot hold could never log in.
    if (name.empty() || name.size() > 32 || GbkToUtf8(Utf8ToGbk(name)) != name)
        return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x21 || c == ',' || c == '|' || c == '&' || c == '=' || c == ':' ||
            c == 0x7f)
            return false;
    return true;
}

bool ValidPassword(const std::string& password) {
    if (password.empty() || password.size() > 32)
        return false;
    for (char c : password)
        if (static_cast<unsigned char>(c) < 0x20 || c == ',' || c == '|' || c == '&' || c == '=' || c == 0x7f)
            return false;
    return true;
}

// One line of standard input, without echo when it is a terminal.
std::string ReadPassword() {
    const bool terminal = ::isatty(STDIN_FILENO) != 0;
    termios saved{};
    if (terminal) {
        std::fputs("password: ", stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    if (!got)
        throw std::invalid_argument("no password on standard input");
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void EnsureFolder(const std::string& dbPath) {
    if (IsPostgresLocation(dbPath))
        return;
    const auto parent = std::filesystem::path(dbPath).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent);
}

// Every client holds a descriptor: take the whole allowance the system grants.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Written beside the target and renamed over it, so a reader never sees a partial number.
void WritePortFile(const std::string& path, std::uint16_t port) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << port << '\n';
        if (!out.flush())
            throw std::runtime_error("cannot write the port file " + partial);
    }
    std::filesystem::rename(partial, path);
}

int Serve(const ServerOptions& options) {
    RaiseDescriptorLimit();
    UserDirectory directory;
    Engine engine(options, directory);
    // Up before the contest is loaded, so that a standby's health check says it stands by.
    HttpServer http(engine.Ranking(), engine.GetMetrics(), options.rankingFullNames);
    if (!options.httpHost.empty()) {
        http.Start(options.httpHost, options.httpPort);
        std::printf("ranking page http://%s:%u/\n", options.httpHost.c_str(), http.Port());
        std::fflush(stdout);
    }
    bool waited = false;
    engine.Open(true, [&] {
        std::printf("standby: another quorvexd serves this database; taking over when it stops\n");
        std::fflush(stdout);
        waited = true;
    });
    if (waited)
        std::printf("taking over the contest\n");
    if (options.createDemo) {
        bool created = false;
        engine.RunNow([&](Ledger& ledger, const LocalTime& now) -> std::optional<std::string> {
            if (!ledger.FindAccount(kDemoUser)) {
                ledger.AddUser(kDemoUser, HashPassword(kDemoPassword, options.hashCost), 100'000'000, "", "", now.day,
                               now.time);
                created = true;
            }
            return std::nullopt;
        });
        const auto auth = directory.Find(kDemoUser);
        if (created || (auth && VerifyPassword(auth->passwordHash, kDemoPassword)))
            std::printf("demo account: user %s, password %s\n", kDemoUser, kDemoPassword);
    }
    asio::io_context io(1);
    Server server(io, engine, directory, options);
    server.Listen();
    http.SetServing(true);
    if (!options.portFile.empty())
        WritePortFile(options.portFile, server.Port());
    std::atomic<bool> lost{false};
    engine.OnStoreLost([&] {
        std::fprintf(stderr, "quorvexd: lost the connection to the database; stopping so that a standby serves\n");
        lost = true;
        http.SetServing(false);
        asio::post(io, [&] {
            server.Shutdown();
            io.stop();
        });
    });
    engine.OnAccountsChanged([&server] { server.AccountsChanged(); });
    engine.Start([&server](QuoteSnapshotPtr snapshot) { server.QuotesReady(std::move(snapshot)); });
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code&, int) {
        server.Shutdown();
        io.stop();
    });
    std::printf("quorvexd listening on %s:%u, database %s\n", options.host.c_str(), server.Port(),
                IsPostgresLocation(options.dbPath) ? "(PostgreSQL)" : options.dbPath.c_str());
    std::fflush(stdout);
    io.run();
    http.SetServing(false);
    http.Stop();
    engine.Stop();
    return lost ? 3 : 0;
}

int Admin(const std::string& command, const Arguments& args, const ServerOptions& options) {
    const auto needName = [&](std::size_t count) {
        if (args.positional.size() != count)
            throw std::invalid_argument("wrong number of arguments for " + command);
    };
    UserDirectory directory;
    Engine engine(options, directory);
    engine.Open();
    int rc = 0;
    if (command == "init-db") {
        needName(0);
        // A PostgreSQL URI may carry a password: it is not echoed.
        std::printf("database %s ready\n",
                    IsPostgresLocation(options.dbPath) ? "(PostgreSQL)" : options.dbPath.c_str());
        return 0;
    }
    if (command == "add-user") {
        if (args.positional.size() != 1 && args.positional.size() != 2)
            throw std::invalid_argument("wrong number of arguments for " + command);
        const std::string& name = args.positional[0];
        const std::string password =
            args.positional.size() == 2 && args.positional[1] != "-" ? args.positional[1] : ReadPassword();
        if (!ValidName(name))
            throw std::invalid_argument("a user name has 1 to 32 bytes without blanks or , | & = :");
        if (!ValidPassword(password))
            throw std::invalid_argument("a password has 1 to 32 bytes without , | & = or control characters");
        Cents cash = 100'000'000;
        if (const auto it = args.options.find("--cash"); it != args.options.end()) {
            const auto parsed = ParseCents(it->second);
            if (!parsed || *parsed > 100'000'000'000LL)
                throw std::invalid_argument("--cash needs an amount in yuan, such as 1000000");
            cash = *parsed;
        }
        const auto opt = [&](const char* key) {
            const auto it = args.options.find(key);
            return it == args.options.end() ? std::string() : it->second;
        };
        const std::string sh = opt("--sh");
        const std::string sz = opt("--sz");
        if ((!sh.empty() && !ValidName(sh)) || (!sz.empty() && !ValidName(sz)))
            throw std::invalid_argument("shareholder accounts have 1 to 32 bytes without blanks or , | & = :");
        const std::string hash = HashPassword(password, options.hashCost);
        engine.RunNow([&](Ledger& ledger, const LocalTime& now) -> std::optional<std::string> {
            if (ledger.FindAccount(name))
                throw std::invalid_argument("user " + name + " exists already");
            ledger.AddUser(name, hash, cash, sh, sz, now.day, now.time);
            const Account* a = ledger.FindAccount(name);
            std::printf("added %s: cash %s, accounts %s:%s\n", name.c_str(), FormatCents(a->cash).c_str(),
                        a->shAccount.c_str(), a->szAccount.c_str());
            return std::nullopt;
        });
    } else if (command == "freeze" || command == "unfreeze" || command == "reset") {
        needName(1);
        const std::string& name = args.positional[0];
        engine.RunNow([&](Ledger& ledger, const LocalTime& now) -> std::optional<std::string> {
            Account* a = ledger.FindAccount(name);
            if (!a)
                throw std::invalid_argument("no user " + name);
            if (command == "reset")
                ledger.Reset(*a, now.day, now.time);
            else
                ledger.SetStatus(*a, command == "freeze" ? 1 : 0);
            std::printf("%s: %s done\n", name.c_str(), command.c_str());
            return std::nullopt;
        });
    } else if (command == "ranking") {
        needName(0);
        engine.RunNow([&](Ledger& ledger, const LocalTime&) -> std::optional<std::string> {
            std::printf("%-5s %-20s %16s %16s %16s %9s %s\n", "rank", "user", "total assets", "cash", "stock value",
                        "return%", "status");
            int rank = 0;
            for (const RankingRow& r : ledger.Ranking()) {
                const Cents total = r.cash + r.stockValue;
                const double ret =
                    r.initialCash > 0 ? 100.0 * static_cast<double>(total - r.initialCash) / r.initialCash : 0.0;
                std::printf("%-5d %-20s %16s %16s %16s %9.2f %s\n", ++rank, r.name.c_str(), FormatCents(total).c_str(),
                            FormatCents(r.cash).c_str(), FormatCents(r.stockValue).c_str(), ret,
                            r.status == 0 ? "normal" : "frozen");
            }
            return std::nullopt;
        });
    } else if (command == "rollover") {
        needName(0);
        engine.RunNow([&](Ledger& ledger, const LocalTime& now) -> std::optional<std::string> {
            const std::string closing = ledger.Day();
            std::string next = ledger.NextTradingDay(now.day);
            if (options.exchangeDay) {
                // Closing a day before its opening call would skip it: its orders would carry
                // the next day's date and its purchases stay unsellable a day too long.
                if (closing > now.day || (closing == now.day && now.minuteOfDay < ExchangeCalendar::kOpeningCall)) {
                    std::fprintf(stderr, "trading day %s has not begun; nothing to close\n", closing.c_str());
                    rc = 1;
                    return std::nullopt;
                }
                const std::string due = options.exchangeDay->TradingDayAt(now);
                next = due > closing ? due : options.exchangeDay->NextTradingDay(closing);
            }
            ledger.Rollover(next, now.time);
            std::printf("closed trading day %s; trading day is now %s\n", closing.c_str(), ledger.Day().c_str());
            return std::nullopt;
        });
    } else {
        std::fputs(kUsage, stderr);
        rc = 2;
    }
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::string command = argv[1];
    std::string error;
    const auto args = ParseArguments(argc, argv, error);
    ServerOptions options;
    if (args)
        error = ApplyOptions(*args, options);
    if (!error.empty()) {
        std::fprintf(stderr, "quorvexd: %s\n", error.c_str());
        return 2;
    }
    if (!InitPasswordHashing()) {
        std::fprintf(stderr, "quorvexd: libsodium cannot be initialised\n");
        return 1;
    }
    try {
        EnsureFolder(options.dbPath);
        if (command == "serve") {
            if (!args->positional.empty()) {
                std::fprintf(stderr, "quorvexd: serve takes no arguments besides options\n");
                return 2;
            }
            return Serve(options);
        }
        return Admin(command, *args, options);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "quorvexd: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvexd: %s\n", e.what());
        return 1;
    }
}
