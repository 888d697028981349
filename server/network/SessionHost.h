#pragma once

#include "server/engine/QueryString.h"
#include "server/engine/published/Metrics.h"
#include "server/engine/published/PublishedRanking.h"
#include "server/ledger/MarketHistory.h"
#include "server/market/QuoteSnapshot.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace server {

class Session;

// How long a connection may stay silent.
struct SessionLimits {
    std::chrono::seconds login{0}; // to log in after connecting
    std::chrono::seconds idle{0};  // between signs of life once logged in
};

// What a connection needs of the server that accepted it: its requests taken on, its place in
// the server's tables, the output memory all connections share, the state the engine
// published, and its limits. The answers come back through the Session's *Finished and
// RequestDone. Network thread only.
class SessionHost {
public:
    // Checks a login from the computer whose machine code is `machine` (empty when the client
    // sent none); answers with Session::LoginFinished.
    virtual void Authenticate(std::shared_ptr<Session> session, std::string name, std::string password,
                              std::string machine) = 0;
    // Answers with Session::PasswordChangeFinished.
    virtual void ChangePassword(std::shared_ptr<Session> session, std::int64_t userId, std::string newPassword) = 0;
    // An authenticated request for the engine; answers with Session::RequestDone.
    virtual void Submit(std::shared_ptr<Session> session, std::int64_t userId, int command, QueryString query) = 0;

    // A login was accepted on `session` (it may close the account's oldest connection).
    virtual void LoggedIn(Session& session) = 0;
    // The connection closed: it leaves the server's tables.
    virtual void Remove(const std::shared_ptr<Session>& session) = 0;

    // Output queued for the client and written out again, in bytes of memory held.
    virtual void OutputQueued(std::size_t bytes) = 0;
    virtual void OutputReleased(std::size_t bytes) = 0;

    // The latest quotes, null before the first.
    virtual const QuoteSnapshotPtr& Snapshot() const = 0;
    // The standings published last; null before the first.
    virtual RankingSnapshotPtr Standings() const = 0;
    virtual const MarketHistory& History() const = 0;
    virtual Metrics& GetMetrics() = 0;
    virtual const SessionLimits& Limits() const = 0;

protected:
    ~SessionHost() = default;
};

} // namespace server
