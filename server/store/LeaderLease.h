#pragma once

#include "server/store/Store.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace server {

// The lease was taken by another server, or the lock that goes with it could not be had:
// this server no longer leads.
class LeaseLost final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Which of the servers sharing one PostgreSQL database serves it. The leader holds a session
// advisory lock on its connection (gone the moment its connection is) and a lease row that
// it renews every second inside a batch's transaction, so that the row names the session its
// commits go through and lasts kTerm by the database's clock. A leader that cannot renew (a
// dead network path, a stopped process) trusts its lease for kTrusted by its own monotonic
// clock and answers nothing after that. A standby that sees the lease expire ends the
// holder's session, which frees the lock and kills whatever that session had in flight,
// and takes over. The engine thread owns it, except Lapsed, which any thread may call.
class LeaderLease final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kRenewEvery{1};
    static constexpr std::chrono::seconds kTerm{5};
    static constexpr std::chrono::seconds kTrusted{4};

    explicit LeaderLease(Store& db);

    // Returns once this server holds the leader's lock. While another server holds it, calls
    // `standingBy` once; rides out database errors and restarts, reconnecting, with a line
    // to `log` now and then; ends the holder's session once its lease has expired.
    void WaitForLock(const std::function<void()>& standingBy, const std::function<void(const std::string&)>& log);
    // With the lock held and the schema migrated: the lease is this server's from now on.
    void Take();

    // Whether the batch beginning at `now` should renew the lease.
    bool Due(Clock::time_point now) const;
    // Inside the batch's transaction; throws LeaseLost when another server holds the lease.
    void Renew();
    // The transaction that renewed it, begun at `began`, committed.
    void Renewed(Clock::time_point began);
    // True once the lease cannot be trusted any more by this server's clock. Any thread.
    bool Lapsed(Clock::time_point now = Clock::now()) const;

    // After the connection was lost: connects again and takes the lock and the lease back if
    // no other server took them meanwhile (the lease starts afresh). False while the database
    // cannot be reached; throws LeaseLost when another server leads or led.
    bool Reclaim();

    // This server's name in the lease: host, process and a random part.
    const std::string& Holder() const { return holder_; }

private:
    Store& db_;
    std::string holder_;
    Clock::time_point lastRenewal_; // of the engine thread, for Due
    std::atomic<Clock::rep> trustedUntil_{0};
};

} // namespace server
