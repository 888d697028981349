// quorvexd: the contest trading server and its administration commands.

#include "server/engine/Engine.h"
#include "server/engine/GbkCodec.h"
#include "server/engine/SecuritiesFile.h"
#include "server/http/HttpServer.h"
#include "server/ledger/Ledger.h"
#include "server/ledger/UserDirectory.h"
#include "server/network/Server.h"
#include "wire/HostPort.h"
#include "wire/PasswordRule.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
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
constexpr const char* kDatabaseVariable = "QUORVEXD_DB";

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

options of every command (each at most once; `quorvexd COMMAND --help` lists a command's own):
  --db FILE                  database file (default data/quorvex.db)
  --db postgresql://...      a PostgreSQL database instead (a libpq connection URI)
  --data DIR                 database DIR/quorvex.db (not with --db)
                             without either: the environment's QUORVEXD_DB (a file or a URI), so
                             that a URI's password stays out of the process list
  --fast-hash                cheapest password hashes, for tests only: refused unless the
                             environment sets QUORVEXD_TEST_FAST_HASH=1 (default argon2id interactive)
  --exchange-day, --holidays FILE   the contest's calendar (see serve); the contest keeps the one
                             it was created or first served with, and refuses one that contradicts it

options of serve:
  --listen HOST:PORT         (127.0.0.1:9690; an IPv6 address in brackets, [::1]:9690; a host name
                             is looked up); port 0 takes any free port, reported on the
                             "listening on" line and in --port-file
  --port-file FILE           write the bound port to FILE once the server accepts connections
  --seed N                   market simulation seed
  --tick-ms N                market tick and quote push period, 10 to 1000 (1000)
  --hours HH:MM-HH:MM,...    trading sessions (always open)
  --exchange-day             trade by the exchange's day: weekdays only, opening call 9:15-9:25
                             (no cancels from 9:20), one opening match at 9:25, sessions
                             9:30-11:30 and 13:00-14:57, closing call 14:57-15:00 with one match
                             at 15:00; the trading day rolls over at 15:30, not at midnight
                             (replaces --hours; kept by the contest once created or served)
  --holidays FILE            with --exchange-day: days closed besides weekends, one YYYY-MM-DD
                             a line, # starts a comment
  --quotes-csv FILE          replay quotes: tick,code,name,last,prev close,5 bid prices,5 bid volumes,
                             5 ask prices,5 ask volumes; a last price outside the day's limits is refused
  --securities FILE          trade these securities instead of the built-in ones: code,name,previous
                             close a line (UTF-8 or GBK, # starts a comment)
  --client-version TEXT      client version announced at login (20210223)
  --update-cmd TEXT          updater command line announced at login ("update URL")
  --welcome TEXT             text shown in the client's status bar
  --commission RATE --stamp-duty RATE --transfer-fee RATE    each from 0 to below 0.1
  --min-commission YUAN      0 to 10000
  --limit-main PERCENT --limit-growth PERCENT                 1 to 99
  --idle-seconds N           close logged-in connections that neither send a request nor take
                             what they are sent for this long, 1 to 86400 (300)
  --login-seconds N          close connections that have not logged in after this long, 1 to 3600 (30)
  --max-per-address N        connections allowed from one address, 1 to 1000000 (128)
  --max-per-account N        logged-in connections of one account; a further login closes the
                             account's oldest, 1 to 1000000 (8)
  --hash-cost contest|interactive  argon2id cost of new password hashes: contest (default, 3 passes
                             over 6 MiB, about 15 ms) or libsodium's interactive limits (64 MiB);
                             a hash of another cost is made anew at its next login
  --max-open-orders N        open orders one account may hold; more are refused, 1 to 100000000 (2000)
  --query-budget-kb N        kilobytes a second of answers to one account's queries of orders,
                             trades, funds flow and settlements, a second's worth at once; past
                             it its further queries wait, 0 (no limit) to 1048576 (2048)
  --max-connections N        connections in all; when full, a new one closes the oldest that has
                             not logged in, 1 to 10000000 (20000, at most the descriptors allowed)
  --synchronous full|normal  full (default): an acknowledged order survives a power cut;
                             normal: faster commits that survive a crash of the server only
  --log-limit-mb N           the write-ahead log is emptied in the background once copied, and
                             at once above this size, 1 to 1048576 (64)
  --no-demo                  do not create the demo account
  --http HOST:PORT           serve the live ranking page (/), /ranking.json, /metrics and /healthz
  --ranking-names full|masked  names on the public ranking (masked: 张**)
)";

// What the command line holds besides the server's options.
struct Invocation {
    std::string command;
    std::vector<std::string> positional;
    std::string cash;
    std::string sh;
    std::string sz;
};

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

CLI::Validator HostPort() {
    return CLI::Validator(
        [](std::string& text) {
            // Port 0 asks for any free one.
            return net::ParseHostPort(text) ? std::string()
                                            : "needs HOST:PORT (an IPv6 address in brackets: [::1]:9690)";
        },
        "HOST:PORT");
}

// A finite decimal number from `min` up to (below, when `openTop`) `max`.
CLI::Validator Decimal(double min, double max, bool openTop, std::string what) {
    return CLI::Validator(
        [=](std::string& text) {
            char* end = nullptr;
            const double d = std::strtod(text.c_str(), &end);
            const bool inRange = d >= min && (openTop ? d < max : d <= max);
            if (text.empty() || *end != '\0' || !std::isfinite(d) || !inRange)
                return "needs " + what;
            return std::string();
        },
        "NUMBER");
}

// A test clock set before the database's trading day cannot be honoured: the contest's day
// never goes back, so that day's opening call would be skipped without a word. Refused.
std::string TestClockBeforeTheContest(Engine& engine) {
    const char* text = std::getenv(kTestClockVariable);
    if (!text || !*text)
        return {};
    // The contest's own calendar, which the engine took from the database at Open.
    const auto& calendar = engine.Options().exchangeDay;
    std::string refusal;
    engine.RunNow([&](Ledger& ledger, const LocalTime& now) -> std::optional<std::string> {
        const std::string clockDay = calendar ? calendar->TradingDayAt(now) : now.day;
        if (clockDay < ledger.Day())
            refusal = std::string(kTestClockVariable) + " is on trading day " + clockDay +
                      ", before the database's trading day " + ledger.Day() + "; use a new database or a later moment";
        return std::nullopt;
    });
    return refusal;
}

// Declares the commands and their own options, filling `options` and `run`; returns an error
// text or an empty one. Throws CLI::ParseError for what the parser refuses itself.
std::string ParseCommandLine(int argc, char** argv, ServerOptions& options, Invocation& run) {
    CLI::App app("quorvexd: the contest trading server and its administration commands", "quorvexd");
    // A repeated option is a mistake, not a choice of the last one.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    app.require_subcommand(1, 1);
    app.set_help_flag(); // the top level's help is the usage text above

    std::string db;
    std::string data;
    std::string holidays;
    bool exchangeDay = false;
    bool fastHash = false;
    const auto contest = [&](const char* name, const char* what, bool names) {
        CLI::App* command = app.add_subcommand(name, what);
        command->set_help_flag("-h,--help", "this command's options");
        auto* dbOption = command->add_option("--db", db, "database file (data/quorvex.db) or a PostgreSQL URI");
        command->add_option("--data", data, "database DIR/quorvex.db")->excludes(dbOption);
        command
            ->add_flag("--fast-hash", fastHash,
                       "cheapest password hashes, for tests only (needs QUORVEXD_TEST_FAST_HASH=1)")
            ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        auto* exchange = command->add_flag("--exchange-day", exchangeDay, "trade by the exchange's day")
                             ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        command->add_option("--holidays", holidays, "with --exchange-day: days closed besides weekends")
            ->needs(exchange);
        if (names)
            command->add_option("arguments", run.positional, "NAME [PASSWORD]");
        return command;
    };
    CLI::App* serve = contest("serve", "run the contest server", false);
    contest("init-db", "create the database", false);
    CLI::App* addUser = contest("add-user", "add an account: NAME [PASSWORD]", true);
    contest("freeze", "freeze an account: NAME", true);
    contest("unfreeze", "unfreeze an account: NAME", true);
    contest("reset", "reset an account: NAME", true);
    contest("ranking", "list the accounts by total assets", false);
    CLI::App* rollover = contest("rollover", "close the trading day now", false);
    // The market's securities and prices: a rollover values the holdings with them.
    std::string securitiesFile;
    for (CLI::App* command : {serve, rollover}) {
        command->add_option("--quotes-csv", options.quotesCsv, "replay quotes from a CSV file");
        command->add_option("--securities", securitiesFile, "trade the securities of FILE: code,name,previous close");
    }

    addUser->add_option("--cash", run.cash, "initial cash in yuan (1000000)");
    addUser->add_option("--sh", run.sh, "Shanghai shareholder account");
    addUser->add_option("--sz", run.sz, "Shenzhen shareholder account");

    std::string listen;
    std::string http;
    std::string hours;
    std::string minCommission;
    std::string synchronous;
    std::string hashCost;
    std::string rankingNames;
    int logLimitMb = 0;
    std::size_t queryBudgetKb = options.queryBytesPerSecond / 1024;
    bool noDemo = false;
    serve->add_option("--listen", listen, "HOST:PORT (127.0.0.1:9690)")->check(HostPort());
    serve->add_option("--port-file", options.portFile, "write the bound port to FILE");
    serve->add_option("--seed", options.seed, "market simulation seed");
    serve->add_option("--tick-ms", options.tickMs, "market tick and quote push period")->check(CLI::Range(10, 1000));
    auto* hoursOption =
        serve->add_option("--hours", hours, "trading sessions HH:MM-HH:MM,... (always open)")
            ->check(CLI::Validator(
                [](std::string& text) {
                    return TradingHours::Parse(text) ? std::string() : "needs HH:MM-HH:MM[,HH:MM-HH:MM...]";
                },
                "HH:MM-HH:MM,..."));
    serve->add_option("--client-version", options.clientVersion, "client version announced at login");
    serve->add_option("--update-cmd", options.updateCommand, "updater command line announced at login");
    serve->add_option("--welcome", options.welcome, "text shown in the client's status bar");
    const auto rate = [](const char* name) {
        return Decimal(0, 0.1, true, std::string("a rate from 0 to below 0.1, such as 0.0003, for ") + name);
    };
    serve->add_option("--commission", options.fees.commissionRate, "commission rate")->check(rate("--commission"));
    serve->add_option("--stamp-duty", options.fees.stampDutyRate, "stamp duty rate")->check(rate("--stamp-duty"));
    serve->add_option("--transfer-fee", options.fees.transferFeeRate, "transfer fee rate")
        ->check(rate("--transfer-fee"));
    serve->add_option("--min-commission", minCommission, "least commission in yuan")
        ->check(Decimal(0, 10000, false, "an amount from 0 to 10000 yuan"));
    serve->add_option("--limit-main", options.mainLimitPercent, "main board price limit, percent")
        ->check(CLI::Range(1, 99));
    serve->add_option("--limit-growth", options.growthLimitPercent, "growth board price limit, percent")
        ->check(CLI::Range(1, 99));
    serve->add_option("--idle-seconds", options.idleSeconds, "close logged-in connections idle this long")
        ->check(CLI::Range(1, 86400));
    serve->add_option("--login-seconds", options.loginSeconds, "close connections not logged in after this long")
        ->check(CLI::Range(1, 3600));
    serve->add_option("--max-per-address", options.maxConnectionsPerAddress, "connections allowed from one address")
        ->check(CLI::Range(1, 1000000));
    serve->add_option("--max-per-account", options.maxConnectionsPerAccount, "logged-in connections of one account")
        ->check(CLI::Range(1, 1000000));
    serve->add_option("--hash-cost", hashCost, "contest or interactive")
        ->check(CLI::IsMember({"contest", "interactive"}));
    serve->add_option("--max-open-orders", options.maxOpenOrders, "open orders one account may hold")
        ->check(CLI::Range(1, 100000000));
    serve->add_option("--query-budget-kb", queryBudgetKb, "kilobytes a second of one account's query answers")
        ->check(CLI::Range(0, 1 << 20));
    serve->add_option("--max-connections", options.maxConnections, "connections in all")
        ->check(CLI::Range(1, 10000000));
    serve->add_option("--synchronous", synchronous, "full or normal")->check(CLI::IsMember({"full", "normal"}));
    serve->add_option("--log-limit-mb", logLimitMb, "write-ahead log size limit in megabytes")
        ->check(CLI::Range(1, 1 << 20));
    // (The parser lets a flag repeat unless told otherwise.)
    serve->add_flag("--no-demo", noDemo, "do not create the demo account")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    serve->add_option("--http", http, "serve the ranking page, JSON, metrics and health check on HOST:PORT")
        ->check(HostPort());
    serve->add_option("--ranking-names", rankingNames, "full or masked")->check(CLI::IsMember({"full", "masked"}));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout); // the chosen command's own options
        throw;
    }
    run.command = app.get_subcommands().front()->get_name();

    // A PostgreSQL URI may carry a password: the environment (or a service's environment file
    // readable by it alone) keeps it out of the process list.
    const char* fromEnvironment = std::getenv(kDatabaseVariable);
    if (!db.empty())
        options.dbPath = db;
    else if (!data.empty())
        options.dbPath = (std::filesystem::path(data) / "quorvex.db").string();
    else if (fromEnvironment && *fromEnvironment)
        options.dbPath = fromEnvironment;
    if (const auto address = net::ParseHostPort(listen)) {
        options.host = address->host;
        options.port = address->port;
    }
    if (const auto address = net::ParseHostPort(http)) {
        options.httpHost = address->host;
        options.httpPort = address->port;
    }
    if (!hours.empty()) {
        options.hours = *TradingHours::Parse(hours);
        options.hoursGiven = true;
    }
    if (!minCommission.empty())
        options.fees.minCommission = std::llround(std::strtod(minCommission.c_str(), nullptr) * 100);
    if (!hashCost.empty())
        options.hashCost = hashCost == "contest" ? HashCost::kContest : HashCost::kInteractive;
    if (!synchronous.empty())
        options.synchronous = synchronous == "full" ? Synchronous::kFull : Synchronous::kNormal;
    if (!rankingNames.empty())
        options.rankingFullNames = rankingNames == "full";
    options.queryBytesPerSecond = queryBudgetKb * 1024;
    if (logLimitMb > 0)
        options.logLimitBytes = static_cast<std::int64_t>(logLimitMb) * 1024 * 1024;
    options.createDemo = !noDemo;
    if (!securitiesFile.empty()) {
        std::string error;
        auto securities = LoadSecuritiesFile(securitiesFile, error);
        if (!securities)
            return error;
        options.securities = std::move(*securities);
    }
    if (exchangeDay && hoursOption->count() > 0)
        return "--exchange-day has its own sessions; leave out --hours";
    if (exchangeDay) {
        options.exchangeDay = ExchangeCalendar();
        if (!holidays.empty()) {
            std::string error;
            options.exchangeDay = ExchangeCalendar::LoadHolidays(holidays, error);
            if (!options.exchangeDay)
                return error;
            options.holidaysGiven = true;
        }
    }
    if (fastHash) {
        // Cheap hashes fall to a brute force within minutes: only a test run may store them.
        const char* allowed = std::getenv(kFastHashVariable);
        if (!allowed || std::string(allowed) != "1")
            return std::string("--fast-hash stores weak password hashes and is for tests only; set ") +
                   kFastHashVariable + "=1 to allow it";
        options.hashCost = HashCost::kMinimal;
    }
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

// Every client holds a descriptor: take the whole allowance the system grants, and keep
// the connection limit under it, so a full table sheds its oldest idle connection instead
// of failing to accept at all.
void RaiseDescriptorLimit(ServerOptions& options) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    // The database, its log, the listening sockets and the HTTP side's connections.
    constexpr rlim_t kReserved = 256;
    if (limit.rlim_cur != RLIM_INFINITY && options.maxConnections + kReserved > limit.rlim_cur) {
        options.maxConnections = limit.rlim_cur > 2 * kReserved ? limit.rlim_cur - kReserved : limit.rlim_cur / 2;
        std::printf("at most %zu connections (the system allows %llu descriptors)\n", options.maxConnections,
                    static_cast<unsigned long long>(limit.rlim_cur));
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

int Serve(ServerOptions options) {
    ListenEndpoint(options.host, options.port); // a mistyped host stops us before the contest is touched
    RaiseDescriptorLimit(options);
    UserDirectory directory;
    Engine engine(options, directory);
    // Up before the contest is loaded, so that a standby's health check says it stands by.
    HttpServer http(engine.Ranking(), engine.GetMetrics(), options.rankingFullNames);
    if (!options.httpHost.empty()) {
        http.Start(options.httpHost, options.httpPort);
        const bool v6 = options.httpHost.find(':') != std::string::npos;
        std::printf("ranking page http://%s%s%s:%u/\n", v6 ? "[" : "", options.httpHost.c_str(), v6 ? "]" : "",
                    http.Port());
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
    if (const std::string refusal = TestClockBeforeTheContest(engine); !refusal.empty()) {
        std::fprintf(stderr, "quorvexd: %s\n", refusal.c_str());
        return 2;
    }
    // Said, not done silently: the closed day's open orders expired without its closing call.
    if (const auto& change = engine.RolledOverAtOpen())
        std::printf("closed trading day %s at start, the server having been down when it ended; trading day is now "
                    "%s\n",
                    change->closed.c_str(), change->opened.c_str());
    std::fflush(stdout);
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
        std::fprintf(stderr, "quorvexd: the database can no longer be trusted from here; stopping so that a standby "
                             "(or a restart) serves\n");
        lost = true;
        http.SetServing(false);
        asio::post(io, [&] {
            server.Shutdown();
            io.stop();
        });
    });
    engine.OnAccountsChanged([&server] { server.AccountsChanged(); });
    engine.OnOrdersFilled([&server](const std::vector<std::int64_t>& userIds) { server.OrdersFilled(userIds); });
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

int Admin(const std::string& command, const Invocation& args, const ServerOptions& options) {
    const auto needName = [&](std::size_t count) {
        if (args.positional.size() != count)
            throw std::invalid_argument("wrong number of arguments for " + command);
    };
    UserDirectory directory;
    Engine engine(options, directory);
    engine.OpenForAdmin(command == "init-db"    ? Engine::AdminAccess::kInit
                        : command == "add-user" ? Engine::AdminAccess::kCreate
                        : command == "ranking"  ? Engine::AdminAccess::kRead
                                                : Engine::AdminAccess::kChange);
    const auto& calendar = engine.Options().exchangeDay; // the one the contest keeps
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
        if (net::CheckPassword(password) != net::PasswordProblem::kNone)
            throw std::invalid_argument("a password has 1 to 32 bytes without , | & = or control characters");
        Cents cash = 100'000'000;
        if (!args.cash.empty()) {
            const auto parsed = ParseCents(args.cash);
            if (!parsed || *parsed > 100'000'000'000LL)
                throw std::invalid_argument("--cash needs an amount in yuan, such as 1000000");
            cash = *parsed;
        }
        const std::string& sh = args.sh;
        const std::string& sz = args.sz;
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
        engine.ReadNow([&](Ledger& ledger, const LocalTime&) -> std::optional<std::string> {
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
            if (calendar) {
                // Closing a day before its opening call would skip it: its orders would carry
                // the next day's date and its purchases stay unsellable a day too long.
                if (closing > now.day || (closing == now.day && now.minuteOfDay < ExchangeCalendar::kOpeningCall)) {
                    std::fprintf(stderr, "trading day %s has not begun; nothing to close\n", closing.c_str());
                    rc = 1;
                    return std::nullopt;
                }
                const std::string due = calendar->TradingDayAt(now);
                next = due > closing ? due : calendar->NextTradingDay(closing);
            }
            ledger.Rollover(next, now);
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
    static const std::vector<std::string> kCommands = {"serve",    "init-db", "add-user", "freeze",
                                                       "unfreeze", "reset",   "ranking",  "rollover"};
    if (std::find(kCommands.begin(), kCommands.end(), argv[1]) == kCommands.end()) {
        std::fprintf(stderr, "quorvexd: unknown command %s (quorvexd --help lists them)\n", argv[1]);
        return 2;
    }
    Invocation args;
    ServerOptions options;
    std::string error;
    try {
        error = ParseCommandLine(argc, argv, options, args);
    } catch (const CLI::CallForHelp&) {
        return 0;
    } catch (const CLI::ParseError& e) {
        error = e.what();
    }
    if (!error.empty()) {
        std::fprintf(stderr, "quorvexd: %s\n", error.c_str());
        return 2;
    }
    const std::string& command = args.command;
    if (!InitPasswordHashing()) {
        std::fprintf(stderr, "quorvexd: libsodium cannot be initialised\n");
        return 1;
    }
    try {
        // Only the commands that may create a contest make its folder: a mistyped one is an error.
        if (command == "serve" || command == "init-db" || command == "add-user")
            EnsureFolder(options.dbPath);
        if (command == "serve")
            return Serve(options);
        return Admin(command, args, options);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "quorvexd: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvexd: %s\n", e.what());
        return 1;
    }
}
