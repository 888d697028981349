// The engine's side of leading a PostgreSQL contest: renewing the lease with the batches,
// answering nothing once it cannot be trusted, and riding out a lost connection; and stopping
// when a commit's outcome cannot be known (on either store).

#include "server/engine/Engine.h"

#include <cstdio>

namespace server {

using Clock = std::chrono::steady_clock;

void Engine::RenewLease(Clock::time_point began) {
    if (lease_ && !leading_)
        throw LeaseLost("no longer leading"); // nothing more is written
    renewing_ = lease_ && lease_->Due(began);
    if (!renewing_)
        return;
    renewalBegan_ = began;
    try {
        lease_->Renew();
    } catch (const LeaseLost& e) {
        LoseLeadership(e.what());
        throw;
    }
}

bool Engine::MayAnswer(bool committed) {
    if (halted_)
        return false;
    if (!lease_)
        return true;
    if (renewing_ && committed)
        lease_->Renewed(renewalBegan_);
    renewing_ = false;
    // Checked after the commit, right before the answers: a server stopped for longer than
    // its lease may have been replaced meanwhile, and then says nothing.
    if (lease_->Lapsed())
        LoseLeadership("the lease lapsed before the batch was answered");
    return leading_;
}

void Engine::ConnectionLost() {
    renewing_ = false;
    if (!leading_ || reconnecting_)
        return;
    if (!lease_ || lease_->Lapsed()) {
        LoseLeadership("lost the connection to the database after the lease lapsed");
        return;
    }
    std::fprintf(stderr,
                 "quorvexd: lost the connection to the database; answering busy while reconnecting (at most %lld s)\n",
                 static_cast<long long>(kReconnectLimit.count()));
    disconnectedAt_ = Clock::now();
    lastReconnect_ = {};
    reconnecting_ = true;
}

bool Engine::StandAside(Batch& batch) {
    if (halted_)
        return true; // nothing is answered any more
    if (!lease_)
        return false;
    if (leading_ && !reconnecting_ && lease_->Lapsed())
        LoseLeadership("the lease lapsed before the batch was applied");
    if (leading_ && !reconnecting_)
        return false;
    if (!leading_)
        return true; // nothing is answered any more
    // What the engine holds may include a batch that was never committed: nothing is read
    // from it, and nothing written, until the contest is loaded again.
    for (Job& job : batch.jobs)
        job.done(job.committed ? job.committed : job.failure);
    // Nor are the queries read: each is told so, and its account's line goes on.
    for (Job& job : batch.queries)
        job.done(job.failure);
    if (!batch.queries.empty()) {
        std::lock_guard lock(mutex_);
        for (const Job& job : batch.queries)
            queue_.Release(job.account);
    }
    const auto now = Clock::now();
    if (now - lastReconnect_ < std::chrono::seconds(1))
        return true;
    lastReconnect_ = now;
    try {
        if (lease_->Reclaim()) {
            std::fprintf(stderr, "quorvexd: reconnected to the database; serving again\n");
            reconnecting_ = false;
            dataVersion_ = -1; // the next batch loads the contest as the database holds it
            return true;
        }
    } catch (const LeaseLost& e) {
        LoseLeadership(e.what());
        return true;
    }
    if (now - disconnectedAt_ >= kReconnectLimit)
        LoseLeadership("the database stayed unreachable for " + std::to_string(kReconnectLimit.count()) + " s");
    return true;
}

void Engine::LoseLeadership(const std::string& why) {
    if (!leading_.exchange(false))
        return;
    std::fprintf(stderr, "quorvexd: no longer leading: %s\n", why.c_str());
    // A call waiting on a dead network path returns at once, and the session (with its lock)
    // goes, so that a standby need not wait for the database to notice.
    db_->Abandon();
    if (storeLost_)
        storeLost_();
}

void Engine::Halt(const std::string& why) {
    if (halted_.exchange(true))
        return;
    std::fprintf(stderr,
                 "quorvexd: %s: nothing that commit covered is answered; stopping, so that a restart (or a "
                 "standby) serves what the database holds\n",
                 why.c_str());
    // Closing must not copy the log into the database either: the next start recovers from
    // what the disk holds.
    if (file_)
        file_->KeepLogAtClose();
    if (storeLost_)
        storeLost_();
}

void Engine::WatchLease() {
    // The engine thread may be stuck on a dead network path and never get to check the lease:
    // this watch does, and ends the leadership when the lease lapses outside a reconnection.
    std::unique_lock lock(mutex_);
    while (!watchStopping_) {
        leaseWake_.wait_for(lock, std::chrono::milliseconds(100));
        if (watchStopping_ || !leading_ || reconnecting_ || !lease_->Lapsed())
            continue;
        lock.unlock();
        LoseLeadership("the lease was not renewed for " + std::to_string(LeaderLease::kTrusted.count()) +
                       " s: the database cannot be reached in time");
        lock.lock();
    }
}

} // namespace server
