#pragma once

#include "server/engine/FairQueue.h"
#include "server/engine/Metrics.h"
#include "server/engine/QueryReader.h"
#include "server/engine/RankingBoard.h"
#include "server/engine/ServerOptions.h"
#include "server/ledger/Ledger.h"
#include "server/ledger/MarketHistory.h"
#include "server/market/LocalTime.h"
#include "server/market/Market.h"
#include "server/market/QuoteSnapshot.h"
#include "server/store/LeaderLease.h"
#include "server/store/Store.h"
#include "server/store/sqlite/SqliteStore.h"

#include "server/engine/RateLimitedLog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace server {

class LogSyncer;
class UserDirectory;

// The one thread that owns the accounts, the market and the database. Requests queue up in
// one line per account; the thread takes a batch from the lines in turn, applies it, commits
// it in one transaction and hands out the answers only once that is durable, so nothing a
// client is told can be lost by a crash. On a power-safe SQLite store the log's sync runs on
// a thread of its own while the engine applies the next batch. Market ticks run in the same
// loop, and their quotes go out after the commit. Queries over an account's stored days are
// answered by a reader thread from the last commit, outside the batches.
class Engine final {
public:
    // Runs on the engine thread inside the batch's transaction; an empty result means
    // "no answer".
    using Work = std::function<std::optional<std::string>(Ledger&, const LocalTime&)>;
    // Where a request done in turns stands: what its committed turns did (a count, say), and
    // whether parts remain after this turn.
    struct Turn {
        std::int64_t progress = 0;
        bool more = false;
    };
    // One turn of a long request: does a bounded part, adds to `turn.progress` and sets
    // `turn.more` while parts remain, which go on in later batches. Returns the answer so far.
    using Slice = std::function<std::optional<std::string>(Ledger&, const LocalTime&, Turn& turn)>;
    // The part of a query that reads the store; runs on the reader, outside any batch.
    using Read = QueryReader::Read;
    // Runs on the engine thread when the query's turn comes: takes what the query needs of the
    // ledger (the trading day, the account's holder codes) and returns the part that reads the
    // store, or nothing for "no answer".
    using Query = std::function<Read(Ledger&, const LocalTime&)>;
    // Runs once the batch is durable, on the engine thread or (a power-safe SQLite store) on
    // the thread that syncs its log (on the reader for a query); must only hand the answer on.
    using Done = std::function<void(std::optional<std::string>)>;
    using QuotesListener = std::function<void(QuoteSnapshotPtr)>;

    Engine(const ServerOptions& options, UserDirectory& directory);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Opens the database and loads the contest; throws DatabaseError or std::runtime_error.
    // With `lead` on a PostgreSQL store, first becomes the one server that serves it: while
    // another one does, calls `standingBy` once and waits, through database errors, until that
    // one's connection is gone or its lease expired (see LeaderLease).
    // The contest's calendar is the one it keeps in its database (the options' choice is
    // stored when the contest is created or first served); options that contradict it throw
    // CalendarConflict.
    void Open(bool lead = false, const std::function<void()>& standingBy = {});
    // For the administration commands, which do not serve.
    enum class AdminAccess {
        kInit,   // creates a missing contest; its --holidays list replaces the stored one
        kCreate, // creates a missing contest
        kChange, // an existing contest only
        kRead,   // an existing contest, read-only: nothing created, migrated, rolled over or written
    };
    void OpenForAdmin(AdminAccess access);
    // The options, with the calendar the contest keeps once it is open.
    const ServerOptions& Options() const { return options_; }
    // The trading day that Open closed, because the clock had passed it (the server was down
    // when it ended), and the day opened instead; nothing when the contest stayed on its day.
    struct DayChange {
        std::string closed;
        std::string opened;
    };
    const std::optional<DayChange>& RolledOverAtOpen() const { return rolledOverAtOpen_; }
    // Runs `work` at once on the calling thread in a transaction (before Start).
    void RunNow(const Work& work);
    // Runs `work` on the contest as loaded, writing nothing (after OpenForAdmin(kRead)).
    void ReadNow(const Work& work) { work(*ledger_, Now()); }
    // Called once, on the engine thread or the lease's watch, when this server no longer leads
    // a PostgreSQL contest: its lease lapsed (it could not renew it in time), another server
    // took it, or the database stayed unreachable for kReconnectLimit. Called once too (on the
    // engine thread, the log's syncing thread or the checkpointer) when a commit's outcome
    // cannot be known: a sync of a SQLite store's files failed, or the connection broke while
    // PostgreSQL committed. From then on nothing is answered; the server should stop and let its
    // standby, or a restart that recovers from what the database holds, serve. Set before Start.
    void OnStoreLost(std::function<void()> handler) { storeLost_ = std::move(handler); }
    // How long a leader that lost its database connection answers "busy" while it reconnects.
    static constexpr std::chrono::seconds kReconnectLimit{60};
    // Called after a committed batch that changed accounts nobody asked about, once the batch
    // is durable (on the engine thread, or on a SQLite store's syncing thread): the day rolled
    // over, a call auction filled orders, or an admin command's writes were taken in. Set
    // before Start.
    void OnAccountsChanged(std::function<void()> handler) { accountsChanged_ = std::move(handler); }
    // Called after a committed tick whose matching filled resting orders, with the accounts
    // that own them, once the batch is durable (on the engine thread, or on a SQLite store's
    // syncing thread). Set before Start.
    void OnOrdersFilled(std::function<void(const std::vector<std::int64_t>&)> handler) {
        ordersFilled_ = std::move(handler);
    }
    void Start(QuotesListener listener);
    void Stop();

    // Called from any thread. `failure` is the answer when the batch cannot be committed.
    // A `readOnly` request whose batch could not be committed runs again against what
    // the database holds, so queries are answered even while the disk is full. `account`:
    // whose request it is (0: the server's own); each account's requests are taken in the
    // order they came, and accounts share the batches (see FairQueue).
    void Post(Work work, Done done, std::optional<std::string> failure = std::nullopt, bool readOnly = false,
              std::int64_t account = 0);
    // A request done in turns (a cancel-all of thousands of orders), each turn in its own batch
    // so that other accounts' requests go between them. When a turn's batch fails, the answer
    // is the last committed turn's, or `failure` when none was.
    void PostSliced(std::int64_t account, Slice slice, Done done, std::optional<std::string> failure);
    // A query over what the store holds of an account's days: answered by the reader from a
    // durable commit that holds every earlier request of the account, while the engine goes on
    // with others' orders.
    void PostQuery(std::int64_t account, Query query, Done done);

    // Background checkpoints that went through (for tests and monitoring).
    std::uint64_t CheckpointCount() const { return checkpoints_.load(); }
    std::uint64_t CheckpointFailures() const { return checkpointFailures_.load(); }

    QuoteSnapshotPtr Snapshot() const;

    // At most this many of one account's requests go into a batch while another account's
    // wait: a flood of one account waits behind itself, not in front of everyone else.
    static constexpr std::size_t kAccountShare = 32;

    // Counted by the engine and by the network side; read by the HTTP side.
    Metrics& GetMetrics() { return metrics_; }
    // The standings, republished after a batch at most every half second.
    const RankingBoard& Ranking() const { return ranking_; }
    // The bars of every security, read from any thread.
    const MarketHistory& History() const { return history_; }

private:
    struct Job {
        std::int64_t account = 0;
        Slice work;  // runs in the batch
        Query query; // or: answered by the reader
        Done done;
        std::optional<std::string> failure;
        bool readOnly = false;
        Turn turn;                            // a sliced request's, as of its last committed turn
        Turn next;                            // ... and as of this batch's
        std::optional<std::string> committed; // its answer as of its last committed turn
        bool goesOn = false;                  // its account's turn ended before it ran or finished
        bool ForReader() const { return static_cast<bool>(query); }
    };
    // What one round of the loop takes and makes.
    struct Batch {
        std::vector<Job> jobs;
        std::vector<Job> queries; // for the reader, after this batch
        std::vector<std::optional<std::string>> answers;
        LocalTime now;
        bool tick = false;
        bool committed = false;
        bool accountsChanged = false; // accounts changed that nobody asked about
        std::vector<std::int64_t> filledAccounts;
    };

    void Load(StoreAccess access, bool lead, const std::function<void()>& standingBy, AdminAccess purpose);
    void Queue(Job job);
    // The batch loop, in its steps.
    void Run();
    bool TakeBatch(Batch& batch, std::chrono::steady_clock::time_point nextTick);
    void CommitBatch(Batch& batch);
    void CountBatch(const Batch& batch, std::chrono::steady_clock::time_point started);
    void Deliver(Batch& batch);
    void PublishQuotes(const LocalTime& now);
    // One transaction for the batch; throws when it cannot be committed. `isolated` puts each
    // request in a savepoint of its own. True when accounts changed that nobody asked about;
    // `filledAccounts` gets the accounts whose resting orders the tick filled.
    bool ApplyBatch(std::vector<Job>& batch, std::vector<std::optional<std::string>>& answers, const LocalTime& now,
                    bool tick, bool isolated, std::vector<std::int64_t>& filledAccounts);
    // One request of the batch; a request that goes on in a later batch holds back the
    // requests of its account behind it (`paused`), so that they still come after it.
    void RunRequest(Job& job, std::optional<std::string>& answer, const LocalTime& now,
                    std::vector<std::int64_t>& paused);
    // Each account's queries, with what they need of the ledger taken now, for the reader.
    using Questions = std::vector<std::pair<std::int64_t, std::vector<QueryReader::Question>>>;
    Questions PrepareQueries(std::vector<Job>& queries, const LocalTime& now);
    // Leadership of a PostgreSQL contest (EngineLeadership.cpp). Each is a no-op without a lease.
    // Inside the batch's transaction when due; a lease taken by another server ends the leadership.
    void RenewLease(std::chrono::steady_clock::time_point began);
    // After a batch: whether its answers may go out (the lease is still trusted).
    bool MayAnswer(bool committed);
    // After a failed batch whose connection is gone: reconnects while the lease was still ours.
    void ConnectionLost();
    // While the connection is being won back (or the leadership is gone): answers the batch
    // without applying it and tries to reconnect; true when it did.
    bool StandAside(Batch& batch);
    void LoseLeadership(const std::string& why);
    // A commit's outcome cannot be known (see OnStoreLost): nothing more is applied or answered.
    void Halt(const std::string& why);
    void WatchLease();
    LocalTime Now() const;
    void Checkpoints();
    // The checkpointer's: waits for the engine to pause between two batches; whether it was
    // idle then, or nothing when it did not pause in time. ResumeEngine lets it go on.
    std::optional<bool> PauseEngine();
    void ResumeEngine();
    // The longest the engine pauses for the checkpointer; then it goes on while the copy does.
    static constexpr std::chrono::milliseconds kPauseLimit{5};
    void RerunReadOnly(std::vector<Job>& batch, std::vector<std::optional<std::string>>& answers, const LocalTime& now);
    void CatchUp(const LocalTime& now);
    std::string TradingDay(const LocalTime& now) const;
    void HoldCallAuctions(const LocalTime& now);
    QuoteSnapshotPtr BuildSnapshot(const LocalTime& now) const;
    void RecordBars(const LocalTime& now);
    void PublishRanking(const LocalTime& now);

    ServerOptions options_; // its calendar replaced by the contest's own at Open
    UserDirectory& directory_;
    std::unique_ptr<Store> db_;
    SqliteStore* file_ = nullptr; // db_ when it is a SQLite file
    std::unique_ptr<Market> market_;
    std::unique_ptr<Ledger> ledger_;
    std::int64_t dataVersion_ = 0;
    Metrics metrics_;
    RankingBoard ranking_;
    MarketHistory history_;
    std::chrono::steady_clock::time_point rankingPublished_;
    std::uint64_t buyFillsCounted_ = 0;
    std::uint64_t sellFillsCounted_ = 0;
    std::optional<DayChange> rolledOverAtOpen_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable checkpointWake_;
    std::condition_variable checkpointDone_;
    FairQueue<Job> queue_{kAccountShare};
    const bool readerUsable_; // the store can be read from another connection
    std::unique_ptr<QueryReader> reader_;
    bool stopping_ = false;
    bool logTooLarge_ = false; // the checkpointer should empty the log now
    bool pauseWanted_ = false; // the checkpointer asks the engine to pause between batches
    bool paused_ = false;      // ... which it does now
    bool pausedIdle_ = false;  // ... with nothing to do
    // Readers held the log at the last try: the engine does not ask again before this.
    std::chrono::steady_clock::time_point logRetryAt_;
    QuoteSnapshotPtr snapshot_;
    QuotesListener listener_;
    std::function<void()> accountsChanged_;
    std::function<void(const std::vector<std::int64_t>&)> ordersFilled_;
    std::function<void()> storeLost_;
    std::unique_ptr<LeaderLease> lease_; // a PostgreSQL contest this server serves
    bool renewing_ = false;              // the batch in hand renews the lease
    std::chrono::steady_clock::time_point renewalBegan_;
    std::atomic<bool> reconnecting_{false};
    std::atomic<bool> leading_{true};
    std::atomic<bool> halted_{false};
    bool watchStopping_ = false; // under mutex_; set once the engine thread has ended
    std::condition_variable leaseWake_;
    std::chrono::steady_clock::time_point disconnectedAt_;
    std::chrono::steady_clock::time_point lastReconnect_;
    std::thread thread_;
    std::thread leaseWatch_;
    std::thread checkpointer_;
    std::unique_ptr<LogSyncer> syncer_; // a power-safe SQLite store's

    std::atomic<std::uint64_t> checkpoints_{0};
    std::atomic<std::uint64_t> checkpointFailures_{0};
    RateLimitedLog batchLog_;
};

} // namespace server
