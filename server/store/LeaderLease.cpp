#include "server/store/LeaderLease.h"

#include <unistd.h>

#include <random>
#include <thread>

namespace server {
namespace {

const std::string kTermSql = "interval '" + std::to_string(LeaderLease::kTerm.count()) + " seconds'";

std::string MakeHolder() {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::random_device random;
    return std::string(host) + ":" + std::to_string(::getpid()) + ":" + std::to_string(random());
}

} // namespace

LeaderLease::LeaderLease(Store& db)
    : db_(db)
    , holder_(MakeHolder()) {}

void LeaderLease::WaitForLock(const std::function<void()>& standingBy,
                              const std::function<void(const std::string&)>& log) {
    bool waiting = false;
    for (;;) {
        try {
            if (db_.Lost())
                db_.Reconnect();
            // Without a wait at first, so that a standby says so at once; then in short waits
            // (the lock comes the moment the leader's session ends) between looks at the lease.
            if (waiting ? db_.WaitToLead(std::chrono::seconds(1)) : db_.TryToLead())
                return;
            if (!waiting && standingBy)
                standingBy();
            waiting = true;
            Statement exists = db_.Prepare("SELECT to_regclass('leader_lease') IS NOT NULL");
            if (!exists.Step() || exists.Text(0) != "t")
                continue; // a leader of a version without the lease: only its end frees the lock
            exists.Reset();
            // The lease expired by the database's clock: its holder cannot be trusted to have
            // stopped, so its session is ended (its lock and its open transaction with it).
            Statement end = db_.Prepare(
                ("SELECT a.pid, pg_terminate_backend(a.pid, 3000) FROM leader_lease l JOIN pg_stat_activity a ON "
                 "a.pid = l.backend_pid WHERE l.id = 1 AND l.expires_at < now() AND a.pid <> pg_backend_pid()"));
            while (end.Step())
                log("the serving server's lease expired: ended its database session " + end.Text(0));
        } catch (const DatabaseError& e) {
            log(std::string("standing by through a database error: ") + e.what());
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
}

void LeaderLease::Take() {
    const Clock::time_point began = Clock::now();
    db_.Prepare(
           ("INSERT INTO leader_lease(id, holder, backend_pid, expires_at) VALUES(1, ?, pg_backend_pid(), now() + " +
            kTermSql +
            ") ON CONFLICT(id) DO UPDATE SET holder = excluded.holder, backend_pid = excluded.backend_pid, "
            "expires_at = excluded.expires_at")
               .c_str())
        .Bind(1, holder_)
        .Run();
    Renewed(began);
}

bool LeaderLease::Due(Clock::time_point now) const {
    return now - lastRenewal_ >= kRenewEvery;
}

void LeaderLease::Renew() {
    // Only the session that took the lease renews it: after a takeover, neither this server's
    // name nor its session matches.
    Statement renew = db_.Prepare(("UPDATE leader_lease SET expires_at = now() + " + kTermSql +
                                   " WHERE id = 1 AND holder = ? AND backend_pid = pg_backend_pid() RETURNING 1")
                                      .c_str());
    renew.Bind(1, holder_);
    if (!renew.Step())
        throw LeaseLost("another server holds the lease");
}

void LeaderLease::Renewed(Clock::time_point began) {
    // The database's term began after `began`: the lease holds there at least as long as here.
    lastRenewal_ = began;
    trustedUntil_.store((began + kTrusted).time_since_epoch().count());
}

bool LeaderLease::Lapsed(Clock::time_point now) const {
    return now.time_since_epoch().count() >= trustedUntil_.load();
}

bool LeaderLease::Reclaim() {
    const Clock::time_point began = Clock::now();
    try {
        db_.Reconnect();
        if (!db_.TryToLead()) {
            // The database may not have noticed yet that this server's former session died:
            // while the lease still names this server, that session is its own to end.
            Statement end =
                db_.Prepare("SELECT pg_terminate_backend(a.pid, 3000) FROM leader_lease l JOIN pg_stat_activity a ON "
                            "a.pid = l.backend_pid WHERE l.id = 1 AND l.holder = ? AND a.pid <> pg_backend_pid()");
            end.Bind(1, holder_);
            while (end.Step()) {
            }
            if (!db_.TryToLead())
                throw LeaseLost("another server holds the leader's lock");
        }
        Statement take = db_.Prepare(("UPDATE leader_lease SET backend_pid = pg_backend_pid(), expires_at = now() + " +
                                      kTermSql + " WHERE id = 1 AND holder = ? RETURNING 1")
                                         .c_str());
        take.Bind(1, holder_);
        if (!take.Step())
            throw LeaseLost("another server took the lease meanwhile");
    } catch (const DatabaseError&) {
        return false; // the next attempt starts from a new connection
    }
    Renewed(began);
    return true;
}

} // namespace server
