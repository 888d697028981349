#include "server/Engine.h"

#include "server/Database.h"
#include "server/PgStore.h"
#include "server/GbkCodec.h"

#include <chrono>
#include <cstdio>

namespace server {

Engine::Engine(const ServerOptions& options, UserDirectory& directory)
    : options_(options)
    , directory_(directory) {}

Engine::~Engine() {
    Stop();
}

void Engine::Open(bool lead, const std::function<void()>& standingBy) {
    db_ = OpenStore(options_.dbPath);
    if (auto* pg = dynamic_cast<PgStore*>(db_.get()); pg && lead && !pg->TryToLead()) {
        // The lock belongs to this very connection, which every commit goes through: a
        // server whose connection is gone can no longer write, so two never serve at once.
        if (standingBy)
            standingBy();
        pg->WaitToLead();
    }
    db_->Migrate();
    market_ = std::make_unique<Market>(options_.seed, options_.mainLimitPercent, options_.growthLimitPercent);
    if (!options_.quotesCsv.empty()) {
        std::string error;
        if (!market_->LoadCsv(options_.quotesCsv, error))
            throw std::runtime_error(error);
    }
    ledger_ = std::make_unique<Ledger>(*db_, *market_, options_.fees, &directory_);
    db_->Begin();
    try {
        ledger_->Load();
        const LocalTime now = Now();
        if (ledger_->Day().empty())
            ledger_->SetDay(now.day);
        ledger_->RestorePrices();
        CatchUp(now);
        db_->Commit();
    } catch (...) {
        db_->Rollback();
        throw;
    }
    dataVersion_ = db_->DataVersion();
    snapshot_ = BuildSnapshot();
    buyFillsCounted_ = ledger_->BuyFills();
    sellFillsCounted_ = ledger_->SellFills();
    PublishRanking(LocalTime::Now());
}

void Engine::PublishRanking(const LocalTime& now) {
    ranking_.Publish(MakeRankingSnapshot(ledger_->Ranking(), ledger_->Day(), now.day + " " + now.time));
    rankingPublished_ = std::chrono::steady_clock::now();
}

LocalTime Engine::Now() const {
    return options_.clock ? options_.clock() : LocalTime::Now();
}

void Engine::RunNow(const Work& work) {
    db_->Begin();
    try {
        work(*ledger_, Now());
        db_->NoteAdminChange();
        db_->Commit();
    } catch (...) {
        db_->Rollback();
        throw;
    }
}

void Engine::Start(QuotesListener listener) {
    listener_ = std::move(listener);
    dataVersion_ = db_->DataVersion(); // what RunNow changed before is the engine's own
    // The engine's commits never copy the log back into the database file themselves:
    // that copy ends in an fsync, which would stall every answer of the batch behind it.
    if (db_->IsFile())
        db_->Execute("PRAGMA wal_autocheckpoint=0");
    thread_ = std::thread([this] { Run(); });
    if (db_->IsFile())
        checkpointer_ = std::thread([this] { Checkpoints(); });
}

void Engine::Checkpoints() {
    try {
        Database db(options_.dbPath);
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            checkpointWake_.wait_for(lock, std::chrono::milliseconds(500));
            if (stopping_)
                break;
            lock.unlock();
            db.Execute("PRAGMA wal_checkpoint(PASSIVE)");
            lock.lock();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvexd: checkpoints stopped: %s\n", e.what());
    }
}

void Engine::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    checkpointWake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (checkpointer_.joinable())
        checkpointer_.join();
}

void Engine::Post(Work work, Done done, std::optional<std::string> failure) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(work), std::move(done), std::move(failure)});
    }
    wake_.notify_one();
}

QuoteSnapshotPtr Engine::Snapshot() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
}

void Engine::CatchUp(const LocalTime& now) {
    // A new calendar day (midnight passed, or the server was down over night) rolls the
    // contest over before anything else happens in it.
    if (now.day > ledger_->Day())
        ledger_->Rollover(now.day, now.time);
}

QuoteSnapshotPtr Engine::BuildSnapshot() const {
    auto snapshot = std::make_shared<QuoteSnapshot>();
    snapshot->tick = market_->TickCount();
    for (const Quote& q : market_->Quotes())
        snapshot->records.emplace(q.code, Utf8ToGbk(Market::RecordText(q)));
    return snapshot;
}

void Engine::Run() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(options_.tickMs > 0 ? options_.tickMs : 1000);
    auto nextTick = Clock::now() + period;
    std::vector<Job> batch;
    std::vector<std::optional<std::string>> answers;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_until(lock, nextTick, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_ && queue_.empty())
                return;
            batch.swap(queue_);
        }
        const bool tick = Clock::now() >= nextTick;
        const LocalTime now = Now();
        answers.assign(batch.size(), std::nullopt);
        Market::Checkpoint market = market_->Save();
        bool committed = false;
        const auto batchStart = Clock::now();
        try {
            db_->Begin();
            const std::int64_t version = db_->DataVersion();
            if (version != dataVersion_) {
                // An admin command wrote to the file: take its state as the truth.
                ledger_->Load();
                ledger_->RestorePrices();
                dataVersion_ = version;
            }
            CatchUp(now);
            for (std::size_t i = 0; i < batch.size(); ++i)
                answers[i] = batch[i].work(*ledger_, now);
            if (tick) {
                market_->Advance();
                if (options_.hours.IsOpen(now.minuteOfDay))
                    ledger_->MatchOpenOrders(now.time);
                ledger_->SavePrices();
            }
            db_->Commit();
            committed = true;
            dataVersion_ = db_->DataVersion();
            if (!batch.empty()) {
                metrics_.batchSize.Observe(static_cast<double>(batch.size()));
                metrics_.commitSeconds.Observe(std::chrono::duration<double>(Clock::now() - batchStart).count());
            }
            metrics_.fillsBuy.fetch_add(ledger_->BuyFills() - buyFillsCounted_, std::memory_order_relaxed);
            metrics_.fillsSell.fetch_add(ledger_->SellFills() - sellFillsCounted_, std::memory_order_relaxed);
        } catch (const std::exception& e) {
            metrics_.commitsFailed.fetch_add(1, std::memory_order_relaxed);
            std::fprintf(stderr, "quorvexd: batch of %zu requests rolled back: %s\n", batch.size(), e.what());
            try {
                db_->Rollback();
            } catch (const std::exception&) {
            }
            // Fills of the lost batch took book volume that nobody bought after all.
            market_->Rewind(std::move(market));
            try {
                ledger_->Load(); // back to what the database holds
            } catch (const std::exception& again) {
                std::fprintf(stderr, "quorvexd: reload failed: %s\n", again.what());
            }
        }
        buyFillsCounted_ = ledger_->BuyFills();
        sellFillsCounted_ = ledger_->SellFills();
        for (std::size_t i = 0; i < batch.size(); ++i)
            batch[i].done(committed ? std::move(answers[i]) : batch[i].failure);
        if (committed && Clock::now() - rankingPublished_ >= std::chrono::milliseconds(500)) {
            try {
                PublishRanking(now);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "quorvexd: ranking not published: %s\n", e.what());
            }
        }
        batch.clear();
        if (tick) {
            QuoteSnapshotPtr snapshot = BuildSnapshot();
            {
                std::lock_guard lock(mutex_);
                snapshot_ = snapshot;
            }
            if (listener_)
                listener_(std::move(snapshot));
            nextTick += period;
            if (nextTick < Clock::now())
                nextTick = Clock::now() + period;
        }
    }
}

} // namespace server
