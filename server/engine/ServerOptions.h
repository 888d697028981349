#pragma once

#include "server/ledger/PasswordHash.h"
#include "server/market/ExchangeCalendar.h"
#include "server/market/LocalTime.h"
#include "server/market/Securities.h"
#include "server/market/TradingHours.h"
#include "server/store/sqlite/SqliteStore.h"
#include "wire/Board.h"
#include "wire/FeeSchedule.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace server {

struct ServerOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 9690;
    std::string portFile; // receives the bound port once connections are accepted
    std::string dbPath = "data/quorvex.db";
    std::uint64_t seed = 20210223;
    int tickMs = 1000;
    TradingHours hours;
    // Set: trading follows the exchange's day (sessions, call auctions, weekends, holidays,
    // the day settled after the close) and `hours` is not used.
    std::optional<ExchangeCalendar> exchangeDay;
    // What the command line said, checked against the calendar the contest keeps.
    bool holidaysGiven = false;
    bool hoursGiven = false;
    std::string quotesCsv;
    // The organiser's securities (--securities); empty: the built-in list.
    std::vector<Security> securities;
    std::string clientVersion = "20210223";
    std::string updateCommand = "update http://127.0.0.1:8080/Tavix.zip";
    std::string welcome = "已登录"; // the client shows it in a narrow status pane
    net::FeeSchedule fees;
    int mainLimitPercent = net::kMainLimitPercent;
    int growthLimitPercent = net::kGrowthLimitPercent;
    HashCost hashCost = HashCost::kContest;
    // Requests count as activity, and so does the peer acknowledging what it is sent (a
    // client that receives quote pushes sends no heartbeats): the limit reclaims dead
    // connections, not watching users.
    int idleSeconds = 300;
    // A connection that has not logged in by then is closed.
    int loginSeconds = 30;
    std::size_t maxConnections = 20000;
    // Open orders one account may hold.
    std::size_t maxOpenOrders = 2000;
    // Bytes a second of answers to one account's queries over its stored days (today's orders
    // and trades, history, funds flow, settlements), a second's worth at once; past it the
    // account's further queries wait. 0: no limit.
    std::size_t queryBytesPerSecond = 2 * 1024 * 1024;
    // Logged-in connections of one account; a further login closes the account's oldest.
    std::size_t maxConnectionsPerAccount = 8;
    // Answers and pushes queued for all clients together; past it the slowest readers go.
    std::size_t outputBudgetBytes = 128 * 1024 * 1024;
    // A school lab shares one address; an attacker's single address cannot fill every slot.
    std::size_t maxConnectionsPerAddress = 128;
    bool createDemo = true;
    Synchronous synchronous = Synchronous::kFull;
    // Above this the engine empties the write-ahead log between batches; it is also the
    // size the emptied log file is cut back to.
    std::int64_t logLimitBytes = 64 * 1024 * 1024;
    // The ranking page, its JSON, the metrics and the health check; off without a host.
    std::string httpHost;
    std::uint16_t httpPort = 0;
    bool rankingFullNames = false; // the public page masks names unless asked not to
    // The engine's calendar and wall clock; tests move it to cross midnight. Unset: the system's.
    std::function<LocalTime()> clock;
    // The sync of a power-safe SQLite store's log; tests make it fail. Returns what failed, or
    // an empty text. Unset: the log file's fdatasync.
    std::function<std::string()> logSync;
};

} // namespace server
