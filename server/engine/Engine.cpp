#include "server/engine/Engine.h"

#include "server/engine/ContestCalendar.h"
#include "server/engine/GbkCodec.h"
#include "server/engine/LogSyncer.h"
#include "server/engine/Requests.h"
#include "server/store/sqlite/SqliteStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace server {
namespace {

// What a request is answered when its batch cannot be committed.
std::optional<Answer> Failure(std::optional<std::string> text) {
    if (!text)
        return std::nullopt;
    return Answer(std::move(*text), Answer::Outcome::kFailed);
}

} // namespace

Engine::Engine(const ServerOptions& options, UserDirectory& directory)
    : options_(options)
    , directory_(directory)
    , readerUsable_(QueryReader::CanRead(options.dbPath)) {}

Engine::~Engine() {
    Stop();
}

void Engine::Open(bool lead, const std::function<void()>& standingBy) {
    // Serving stores the calendar of a contest that keeps none yet, as creating one does.
    Load(StoreAccess::kCreate, lead, standingBy, AdminAccess::kCreate);
}

void Engine::OpenForAdmin(AdminAccess access) {
    const StoreAccess store = access == AdminAccess::kRead     ? StoreAccess::kReadOnly
                              : access == AdminAccess::kChange ? StoreAccess::kExisting
                                                               : StoreAccess::kCreate;
    Load(store, false, {}, access);
}

void Engine::Load(StoreAccess access, bool lead, const std::function<void()>& standingBy, AdminAccess purpose) {
    // A bad quotes file stops the start before the contest is touched.
    if (options_.securities.empty())
        market_ = std::make_unique<Market>(options_.seed, options_.mainLimitPercent, options_.growthLimitPercent);
    else
        market_ = std::make_unique<Market>(options_.seed, options_.mainLimitPercent, options_.growthLimitPercent,
                                           SecurityViews(options_.securities));
    if (!options_.quotesCsv.empty()) {
        std::string error;
        if (!market_->LoadCsv(options_.quotesCsv, error, GbkToUtf8))
            throw std::runtime_error(error);
    }
    // A power-safe file store commits without syncing, and the syncer makes each batch
    // durable before its answers go out while the engine goes on with the next one.
    const bool overlap = access != StoreAccess::kReadOnly && !IsPostgresLocation(options_.dbPath) &&
                         options_.synchronous == Synchronous::kFull;
    db_ = OpenStore(options_.dbPath, overlap ? Synchronous::kNormal : options_.synchronous, access);
    if (overlap) {
        auto failed = [this](const std::string& why) { Halt("cannot sync the write-ahead log (" + why + ")"); };
        syncer_ = options_.logSync ? std::make_unique<LogSyncer>(options_.logSync, failed)
                                   : std::make_unique<LogSyncer>(options_.dbPath + "-wal", failed);
    }
    if (lead && !db_->IsFile()) {
        // The lock belongs to this very connection, which every commit goes through: a
        // server whose connection is gone can no longer write, so two never serve at once.
        lease_ = std::make_unique<LeaderLease>(*db_);
        RateLimitedLog log;
        lease_->WaitForLock(standingBy, [&log](const std::string& line) { log.Write(line); });
    }
    const std::int64_t applied = db_->AppliedMigrations();
    if (access != StoreAccess::kCreate && applied == 0)
        throw DatabaseError("no contest in " + db_->Describe() + " (init-db creates one)");
    if (access == StoreAccess::kReadOnly && applied < db_->KnownMigrations())
        throw DatabaseError(db_->Describe() + " holds a contest of an older version; serve or init-db upgrades it");
    if (access != StoreAccess::kReadOnly)
        db_->Migrate();
    // A calendar is stored with a new contest, when serving, or by init-db; an administration
    // command on an older contest that keeps none goes by its flags without storing them.
    const CalendarWrite calendarWrite = access == StoreAccess::kReadOnly ? CalendarWrite::kNever
                                        : purpose == AdminAccess::kInit  ? CalendarWrite::kReplaceHolidays
                                        : applied == 0 || lead || purpose == AdminAccess::kCreate
                                            ? CalendarWrite::kWhenMissing
                                            : CalendarWrite::kNever;
    ledger_ = std::make_unique<Ledger>(*db_, *market_, options_.fees, &directory_);
    ledger_->SetMaxOpenOrders(options_.maxOpenOrders);
    const CalendarChoice choice{options_.exchangeDay, options_.holidaysGiven, options_.hoursGiven};
    if (access == StoreAccess::kReadOnly) {
        // One snapshot of the whole contest, and nothing written: no day set, no rollover.
        db_->Execute("BEGIN");
        try {
            options_.exchangeDay = SettleCalendar(*db_, choice, CalendarWrite::kNever);
            ledger_->Load();
            ledger_->RestorePrices();
            db_->Execute("ROLLBACK");
        } catch (...) {
            db_->Execute("ROLLBACK");
            throw;
        }
        return;
    }
    db_->Begin();
    try {
        options_.exchangeDay = SettleCalendar(*db_, choice, calendarWrite);
        ledger_->Load();
        const LocalTime now = Now();
        if (ledger_->Day().empty())
            ledger_->SetDay(TradingDay(now));
        ledger_->RestorePrices();
        const std::string stored = ledger_->Day();
        CatchUp(now);
        if (ledger_->Day() != stored)
            rolledOverAtOpen_ = DayChange{stored, ledger_->Day()};
        history_.Load(*db_, *market_, ledger_->Day());
        ledger_->Flush();
        db_->Commit();
    } catch (...) {
        db_->Rollback();
        history_.Discard();
        throw;
    }
    if (syncer_)
        syncer_->SyncNow();
    history_.Publish();
    dataVersion_ = db_->DataVersion();
    snapshot_ = BuildSnapshot(Now());
    buyFillsCounted_ = ledger_->BuyFills();
    sellFillsCounted_ = ledger_->SellFills();
    PublishRanking(LocalTime::Now());
}

void Engine::PublishRanking(const LocalTime& now) {
    ranking_.Publish(MakeRankingSnapshot(ledger_->Ranking(), ledger_->Day(), now.day + " " + now.time,
                                         ledger_->MarketHistory(), ledger_->IndexNow()));
    rankingPublished_ = std::chrono::steady_clock::now();
}

LocalTime Engine::Now() const {
    return options_.clock ? options_.clock() : LocalTime::Now();
}

void Engine::RunNow(const Work& work) {
    db_->Begin();
    try {
        work(*ledger_, Now());
        ledger_->Flush();
        db_->NoteAdminChange();
        db_->Commit();
    } catch (...) {
        db_->Rollback();
        throw;
    }
    if (syncer_)
        syncer_->SyncNow();
}

void Engine::Start(QuotesListener listener) {
    // The index starts from the market the contest is served with; the administration
    // commands, which never start the engine, may run without its options.
    RunNow([](Ledger& ledger, const LocalTime&) -> std::optional<std::string> {
        ledger.KeepIndexBase();
        return std::nullopt;
    });
    listener_ = std::move(listener);
    dataVersion_ = db_->DataVersion(); // what RunNow changed before is the engine's own
    if (lease_) {
        lease_->Take();
        leaseWatch_ = std::thread([this] { WatchLease(); });
    }
    if (readerUsable_)
        reader_ = std::make_unique<QueryReader>(
            options_.dbPath,
            [this](std::int64_t account) {
                {
                    std::lock_guard lock(mutex_);
                    queue_.Release(account);
                }
                wake_.notify_one();
            },
            options_.queryBytesPerSecond);
    thread_ = std::thread([this] { Run(); });
    if (db_->IsFile())
        checkpointer_ = std::thread([this] { Checkpoints(); });
}

void Engine::Checkpoints() {
    // Copies the log into the database in the background, so that the engine never has to.
    // Once it has copied nearly all of it, the engine pauses between two batches while the rest
    // is copied: a busy engine's next batch then finds the log all copied and starts it over
    // from its beginning (the file keeps its size: no cut, which takes tens of milliseconds for
    // a large file), and an idle engine's log file is emptied. Above the limit the log is
    // emptied anyway while the engine waits for it, so that it stays bounded however busy the
    // engine is. A failure (a full disk, say) is reported and tried again, never the end of it.
    RateLimitedLog log;
    std::unique_ptr<SqliteStore> db;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        checkpointWake_.wait_for(lock, std::chrono::milliseconds(500), [&] { return stopping_ || logTooLarge_; });
        if (stopping_)
            break;
        const bool tooLarge = logTooLarge_; // the engine waits for this round
        lock.unlock();
        try {
            // After a failed sync nothing more is copied from a log the disk may not hold.
            if (!db && !halted_)
                db = std::make_unique<SqliteStore>(options_.dbPath, options_.synchronous);
            const auto copied = halted_ ? std::nullopt : db->PassiveCheckpoint();
            if (copied)
                ++checkpoints_;
            // A reader (an organiser's query, a backup) pins the log: it is not waited for, the
            // engine stops asking for a second, and the log is emptied once the reader lets go.
            // The query reader reads back to back under a flood of queries, always holding the
            // log: it waits for the cut, which it would otherwise never let happen.
            std::string error;
            if (tooLarge && !halted_) {
                const auto held = reader_ ? reader_->HoldReads() : std::unique_lock<std::mutex>();
                if (!db->TruncateLog(std::chrono::milliseconds(0), error)) {
                    log.Write("write-ahead log above its limit, could not empty it: " + error);
                    std::lock_guard blocked(mutex_);
                    logRetryAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(1);
                }
            } else if (copied && copied->caughtUp) {
                struct Resume {
                    Engine& engine;
                    ~Resume() { engine.ResumeEngine(); }
                } resume{*this};
                if (const std::optional<bool> idle = PauseEngine()) {
                    if (*idle) {
                        const auto held = reader_ ? reader_->HoldReads() : std::unique_lock<std::mutex>();
                        db->TruncateLog(std::chrono::milliseconds(0), error); // else at the next round
                    } else {
                        db->PassiveCheckpoint();
                    }
                }
            }
        } catch (const CommitUncertain& e) {
            Halt(e.what());
        } catch (const std::exception& e) {
            ++checkpointFailures_;
            log.Write(std::string("checkpoint failed, will retry: ") + e.what());
            db.reset();
        }
        lock.lock();
        if (tooLarge) {
            logTooLarge_ = false;
            checkpointDone_.notify_all();
        }
    }
}

std::optional<bool> Engine::PauseEngine() {
    std::unique_lock lock(mutex_);
    pauseWanted_ = true;
    wake_.notify_all();
    checkpointWake_.wait_for(lock, std::chrono::milliseconds(100), [&] { return paused_ || stopping_; });
    return paused_ ? std::optional<bool>(pausedIdle_) : std::nullopt;
}

void Engine::ResumeEngine() {
    {
        std::lock_guard lock(mutex_);
        pauseWanted_ = false;
    }
    checkpointDone_.notify_all();
}

void Engine::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    checkpointWake_.notify_all();
    checkpointDone_.notify_all();
    if (thread_.joinable())
        thread_.join();
    // Only now: the watch is what frees an engine thread stuck on a dead network path.
    {
        std::lock_guard lock(mutex_);
        watchStopping_ = true;
    }
    leaseWake_.notify_all();
    if (leaseWatch_.joinable())
        leaseWatch_.join();
    if (checkpointer_.joinable())
        checkpointer_.join();
    syncer_.reset(); // the last answers, after their sync
    reader_.reset(); // after the queries it was given
}

void Engine::Queue(Job job) {
    {
        std::lock_guard lock(mutex_);
        queue_.Push(std::move(job));
    }
    wake_.notify_one();
}

void Engine::Post(Work work, Done done, std::optional<std::string> failure, bool readOnly, std::int64_t account) {
    Job job;
    job.account = account;
    job.work = [work = std::move(work)](Ledger& ledger, const LocalTime& now, Turn&) { return work(ledger, now); };
    job.done = std::move(done);
    job.failure = Failure(std::move(failure));
    job.readOnly = readOnly;
    Queue(std::move(job));
}

void Engine::PostSliced(std::int64_t account, Slice slice, Done done, std::optional<std::string> failure) {
    Job job;
    job.account = account;
    job.work = std::move(slice);
    job.done = std::move(done);
    job.failure = Failure(std::move(failure));
    Queue(std::move(job));
}

void Engine::PostQuery(std::int64_t account, Query query, Done done) {
    Job job;
    job.account = account;
    job.done = std::move(done);
    if (readerUsable_) {
        job.query = std::move(query);
    } else {
        // A store only this connection sees: the query reads it inside the batch.
        job.readOnly = true;
        job.work = [query = std::move(query)](Ledger& ledger, const LocalTime& now, Turn&) {
            const Read read = query(ledger, now);
            return read ? read(ledger.History()) : std::nullopt;
        };
    }
    Queue(std::move(job));
}

QuoteSnapshotPtr Engine::Snapshot() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
}

std::string Engine::TradingDay(const LocalTime& now) const {
    return options_.exchangeDay ? options_.exchangeDay->TradingDayAt(now) : now.day;
}

void Engine::CatchUp(const LocalTime& now) {
    // A new trading day (midnight passed, the exchange's day was settled, or the server was
    // down over night) rolls the contest over before anything else happens in it.
    const std::string day = TradingDay(now);
    if (day > ledger_->Day())
        ledger_->Rollover(day, now);
}

void Engine::HoldCallAuctions(const LocalTime& now) {
    // Each call auction of the day is held once, by the first batch at or after its moment;
    // the market takes one step to find the opening or closing price. A server that was down
    // then holds it when it is back before the session it opens (or the day's settlement); later,
    // its orders simply stay open for continuous trading.
    if (!options_.exchangeDay || ledger_->Day() != now.day)
        return;
    struct Call {
        int from;
        int until;
        std::string held;
    };
    for (const Call& call : {Call{ExchangeCalendar::kOpeningMatch, ExchangeCalendar::kMorningClose, now.day + " 1"},
                             Call{ExchangeCalendar::kClosingMatch, ExchangeCalendar::kSettled, now.day + " 2"}}) {
        if (now.minuteOfDay < call.from || now.minuteOfDay >= call.until || ledger_->CallsHeld() >= call.held)
            continue;
        market_->Advance();
        ledger_->MatchCall(now.time);
        ledger_->SetCallsHeld(call.held);
        ledger_->SavePrices();
        RecordBars(now);
    }
}

QuoteSnapshotPtr Engine::BuildSnapshot(const LocalTime& now) const {
    auto snapshot = std::make_shared<QuoteSnapshot>();
    snapshot->tick = market_->TickCount();
    if (options_.exchangeDay)
        snapshot->phase = PhaseText(options_.exchangeDay->PhaseAt(now));
    const std::vector<Quote>& quotes = market_->Quotes();
    snapshot->records.reserve(quotes.size());
    snapshot->board.reserve(quotes.size());
    for (const Quote& q : quotes) { // in code order, as the board lists them
        snapshot->records.emplace(q.code, Utf8ToGbk(Market::RecordText(q)));
        snapshot->board.push_back(Utf8ToGbk(Market::BoardText(q)));
    }
    return snapshot;
}

void Engine::RecordBars(const LocalTime& now) {
    history_.Record(*db_, *market_, ledger_->Day(), BarMinute(now.minuteOfDay, options_.exchangeDay.has_value()));
}

void Engine::RerunReadOnly(std::vector<Job>& batch, std::vector<std::optional<Answer>>& answers, const LocalTime& now) {
    // The batch's answers may tell of changes that were just rolled back; queries are
    // asked again of the state that stands.
    for (std::size_t i = 0; i < batch.size(); ++i) {
        answers[i].reset();
        Turn turn;
        if (batch[i].readOnly)
            answers[i] = batch[i].work(*ledger_, now, turn);
    }
}

void Engine::RunRequest(Job& job, std::optional<Answer>& answer, const LocalTime& now,
                        std::vector<std::int64_t>& paused) {
    job.goesOn = std::find(paused.begin(), paused.end(), job.account) != paused.end();
    if (job.goesOn)
        return;
    job.next = job.turn;
    job.next.more = false;
    answer = job.work(*ledger_, now, job.next);
    if (job.next.more) {
        job.goesOn = true;
        paused.push_back(job.account);
    }
}

bool Engine::ApplyBatch(std::vector<Job>& batch, std::vector<std::optional<Answer>>& answers, const LocalTime& now,
                        bool tick, bool isolated, std::vector<std::int64_t>& filledAccounts) {
    bool accountsChanged = false;
    db_->Begin();
    RenewLease(std::chrono::steady_clock::now()); // before the transaction reaches the database
    const std::int64_t version = db_->DataVersion();
    if (version != dataVersion_) {
        // An admin command wrote to the file: take its state as the truth.
        ledger_->Load();
        ledger_->RestorePrices();
        history_.Load(*db_, *market_, ledger_->Day());
        dataVersion_ = version;
        accountsChanged = true;
    }
    const auto day = ledger_->Day();
    CatchUp(now);
    if (ledger_->Day() != day) {
        // The closed day's bar was stored as a daily bar: take the bars afresh.
        history_.Load(*db_, *market_, ledger_->Day());
        accountsChanged = true;
    }
    // A call auction fills the orders of many accounts at one moment, unasked.
    const auto fillsBefore = ledger_->BuyFills() + ledger_->SellFills();
    HoldCallAuctions(now);
    accountsChanged = accountsChanged || ledger_->BuyFills() + ledger_->SellFills() != fillsBefore;
    if (isolated)
        ledger_->Flush();
    std::vector<std::int64_t> paused;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (!isolated) {
            RunRequest(batch[i], answers[i], now, paused);
            continue;
        }
        // Each request alone inside the transaction: one that fails is undone and answered
        // with its failure, and the others commit.
        Market::Checkpoint market = market_->Save();
        db_->Savepoint();
        try {
            RunRequest(batch[i], answers[i], now, paused);
            ledger_->Flush();
            db_->ReleaseSavepoint();
        } catch (const std::exception& e) {
            if (db_->Lost())
                throw;
            metrics_.requestsFailed.fetch_add(1, std::memory_order_relaxed);
            batchLog_.Write(std::string("request rolled back alone: ") + e.what());
            db_->RollbackToSavepoint();
            market_->Rewind(std::move(market));
            ledger_->Load(); // what the transaction holds without this request
            answers[i] = batch[i].committed ? batch[i].committed : batch[i].failure;
            batch[i].goesOn = false;
        }
    }
    if (tick) {
        const TradingWindow window = WindowAt(options_, now);
        if (window.marketMoves)
            market_->Advance();
        if (window.ordersMatch)
            filledAccounts = ledger_->MatchOpenOrders(now.time);
        RecordBars(now);
    }
    // Fills between ticks change the day's volume too.
    ledger_->SavePrices();
    ledger_->Flush();
    db_->Commit();
    history_.Publish();
    dataVersion_ = db_->DataVersion();
    return accountsChanged;
}

void Engine::Run() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(options_.tickMs > 0 ? options_.tickMs : 1000);
    auto nextTick = Clock::now() + period;
    for (;;) {
        Batch batch;
        if (!TakeBatch(batch, nextTick))
            return;
        if (StandAside(batch)) {
            if (batch.tick)
                nextTick = Clock::now() + period;
            continue;
        }
        const auto started = Clock::now();
        CommitBatch(batch);
        CountBatch(batch, started);
        if (!MayAnswer(batch.committed))
            continue;
        Deliver(batch);
        if (batch.committed && Clock::now() - rankingPublished_ >= std::chrono::milliseconds(500)) {
            try {
                PublishRanking(batch.now);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "quorvexd: ranking not published: %s\n", e.what());
            }
        }
        if (batch.tick) {
            PublishQuotes(batch.now);
            nextTick += period;
            if (nextTick < Clock::now())
                nextTick = Clock::now() + period;
        }
    }
}

bool Engine::TakeBatch(Batch& batch, std::chrono::steady_clock::time_point nextTick) {
    {
        std::unique_lock lock(mutex_);
        // The log passed its limit: let the checkpointer empty it before writing more.
        checkpointDone_.wait_for(lock, std::chrono::milliseconds(250), [&] { return !logTooLarge_ || stopping_; });
        for (;;) {
            wake_.wait_until(lock, nextTick, [&] { return stopping_ || queue_.Ready() || pauseWanted_; });
            if (!pauseWanted_ || stopping_)
                break;
            // The checkpointer copies the log's last frames while no batch runs (see Checkpoints).
            paused_ = true;
            pausedIdle_ = !queue_.Ready();
            checkpointWake_.notify_all();
            checkpointDone_.wait_for(lock, kPauseLimit, [&] { return !pauseWanted_ || stopping_; });
            paused_ = false;
            pauseWanted_ = false; // taken, however long the copy goes on
        }
        if (stopping_ && !queue_.Ready())
            return false;
        queue_.Take(batch.jobs, batch.queries);
    }
    batch.tick = std::chrono::steady_clock::now() >= nextTick;
    batch.now = Now();
    return true;
}

void Engine::CommitBatch(Batch& batch) {
    batch.answers.assign(batch.jobs.size(), std::nullopt);
    const Market::Checkpoint market = market_->Save();
    // The whole batch at once; when it fails, once more with each request alone, so that
    // one request that cannot be written (a name the store refuses, say) fails alone.
    for (const bool isolated : {false, true}) {
        try {
            batch.accountsChanged =
                ApplyBatch(batch.jobs, batch.answers, batch.now, batch.tick, isolated, batch.filledAccounts);
            batch.committed = true;
            return;
        } catch (const CommitUncertain& e) {
            // Neither its answers nor a refusal would be true: nothing is said, and the server stops.
            Halt(e.what());
            batch.answers.assign(batch.jobs.size(), std::nullopt);
            return;
        } catch (const std::exception& e) {
            if (isolated || batch.jobs.empty() || db_->Lost()) {
                metrics_.commitsFailed.fetch_add(1, std::memory_order_relaxed);
                // A full disk fails every batch: say so every few seconds, not every time.
                batchLog_.Write("batch of " + std::to_string(batch.jobs.size()) + " requests rolled back: " + e.what());
            }
            try {
                db_->Rollback();
            } catch (const std::exception&) {
            }
            if (db_->Lost())
                ConnectionLost();
            // Fills of the lost batch took book volume that nobody bought after all.
            market_->Rewind(market);
            history_.Discard();
            batch.filledAccounts.clear();
            // What the batch answered was rolled back: not a word of it goes out, even when
            // the reload below fails too (a lost connection), and then neither does a query's.
            batch.answers.assign(batch.jobs.size(), std::nullopt);
            try {
                ledger_->Load(); // back to what the database holds
                if (isolated || batch.jobs.empty() || db_->Lost() || !leading_) {
                    RerunReadOnly(batch.jobs, batch.answers, batch.now);
                    return;
                }
            } catch (const std::exception& again) {
                batchLog_.Write(std::string("reload failed: ") + again.what());
                return;
            }
        }
    }
}

void Engine::CountBatch(const Batch& batch, std::chrono::steady_clock::time_point started) {
    if (batch.committed) {
        if (!batch.jobs.empty()) {
            metrics_.batchSize.Observe(static_cast<double>(batch.jobs.size()));
            metrics_.commitSeconds.Observe(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        }
        metrics_.fillsBuy.fetch_add(ledger_->BuyFills() - buyFillsCounted_, std::memory_order_relaxed);
        metrics_.fillsSell.fetch_add(ledger_->SellFills() - sellFillsCounted_, std::memory_order_relaxed);
    }
    if (batch.committed && db_->LogBytes() > options_.logLimitBytes) {
        bool ask = false;
        {
            std::lock_guard lock(mutex_);
            ask = std::chrono::steady_clock::now() >= logRetryAt_;
            logTooLarge_ = logTooLarge_ || ask;
        }
        if (ask)
            checkpointWake_.notify_one();
    }
    buyFillsCounted_ = ledger_->BuyFills();
    sellFillsCounted_ = ledger_->SellFills();
}

Engine::Questions Engine::PrepareQueries(std::vector<Job>& queries, const LocalTime& now) {
    // Each account's queries come one after another; they go to the reader together.
    Questions questions;
    for (std::size_t i = 0; i < queries.size(); ++i) {
        Job& job = queries[i];
        if (i == 0 || queries[i - 1].account != job.account)
            questions.emplace_back(job.account, std::vector<QueryReader::Question>{});
        Read read = job.query(*ledger_, now);
        if (!read) // no answer, in its turn among the account's others
            read = [](AccountHistory&) -> std::optional<std::string> { return std::nullopt; };
        questions.back().second.push_back({std::move(read), std::move(job.done)});
    }
    return questions;
}

void Engine::Deliver(Batch& batch) {
    // A request that goes on takes its place again at the front of its account's line, with the
    // account's requests that waited behind it; its answer goes out with its last turn.
    std::vector<Job> later;
    std::vector<Job> answered;
    std::vector<std::optional<Answer>> texts;
    for (std::size_t i = 0; i < batch.jobs.size(); ++i) {
        Job& job = batch.jobs[i];
        if (batch.committed && job.goesOn) {
            if (batch.answers[i]) {
                job.turn = job.next;
                job.committed = std::move(batch.answers[i]);
            }
            later.push_back(std::move(job));
        } else {
            texts.push_back(batch.committed || batch.answers[i] ? std::move(batch.answers[i])
                            : job.committed                     ? job.committed
                                                                : job.failure);
            answered.push_back(std::move(job));
        }
    }
    if (!later.empty()) {
        std::lock_guard lock(mutex_);
        queue_.PushFront(later);
    }
    // Queries read the state after this batch (a call auction or a rollover it held), which is
    // durable by the time the reader gets them, after the answers of the account's requests.
    Questions questions = PrepareQueries(batch.queries, batch.now);
    auto deliver = [this, committed = batch.committed, changed = batch.committed && batch.accountsChanged,
                    jobs = std::move(answered), texts = std::move(texts), filled = std::move(batch.filledAccounts),
                    questions = std::move(questions)]() mutable {
        if (changed && accountsChanged_)
            accountsChanged_();
        else if (committed && !filled.empty() && ordersFilled_)
            ordersFilled_(filled);
        for (std::size_t i = 0; i < jobs.size(); ++i)
            jobs[i].done(std::move(texts[i]));
        for (auto& [account, asked] : questions)
            reader_->Ask(account, std::move(asked));
    };
    // Rolled-back batches wait their turn too, so that one connection's answers keep
    // their order.
    if (syncer_)
        syncer_->Hand(std::move(deliver), batch.committed);
    else
        deliver();
}

void Engine::PublishQuotes(const LocalTime& now) {
    QuoteSnapshotPtr snapshot = BuildSnapshot(now);
    {
        std::lock_guard lock(mutex_);
        snapshot_ = snapshot;
    }
    if (listener_)
        listener_(std::move(snapshot));
}

} // namespace server
