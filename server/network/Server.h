#pragma once

#include <asio.hpp>

#include "server/engine/Answer.h"
#include "server/engine/QueryString.h"
#include "server/engine/ServerOptions.h"
#include "server/engine/published/Metrics.h"
#include "server/ledger/MarketHistory.h"
#include "server/ledger/UserDirectory.h"
#include "server/market/QuoteSnapshot.h"
#include "server/network/LoginThrottle.h"
#include "server/network/SessionHost.h"
#include "server/network/VerifiedLogins.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace server {

class Engine;
class Session;

// Where `host` and `port` listen: a name is looked up. Throws std::runtime_error naming them
// when there is no such host.
asio::ip::tcp::endpoint ListenEndpoint(const std::string& host, std::uint16_t port);

// Accepts connections, verifies passwords off the network thread, passes authenticated
// requests to the engine and fans quote snapshots out to the subscribed connections; each
// connection sees it as its SessionHost. Runs on one network thread (the io_context's);
// password hashing has two threads of its own.
class Server final : public SessionHost {
public:
    Server(asio::io_context& io, Engine& engine, UserDirectory& directory, const ServerOptions& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and starts accepting; throws std::runtime_error naming the address when it is taken.
    void Listen();
    std::uint16_t Port() const;
    void Shutdown();

    // Called from the engine thread.
    void QuotesReady(QuoteSnapshotPtr snapshot);
    // Called from the engine thread: every logged-in client gets its funds and positions again.
    void AccountsChanged();
    // Resting orders of these accounts filled: their sessions get the account pushed.
    void OrdersFilled(std::vector<std::int64_t> userIds);

    // The SessionHost, network thread only.
    void Authenticate(std::shared_ptr<Session> session, std::string name, std::string password,
                      std::string machine) override;
    void ChangePassword(std::shared_ptr<Session> session, std::int64_t userId, std::string newPassword) override;
    void Submit(std::shared_ptr<Session> session, std::int64_t userId, int command, QueryString query) override;
    void Remove(const std::shared_ptr<Session>& session) override;
    // A login was accepted on `session`: it leaves the queue of connections that have not
    // logged in, and past the account's cap the account's oldest connection is closed.
    void LoggedIn(Session& session) override;
    // Past the output budget the clients that read slowest are dropped until it fits again.
    void OutputQueued(std::size_t bytes) override;
    void OutputReleased(std::size_t bytes) override { outputBytes_ -= bytes; }
    Metrics& GetMetrics() override { return metrics_; }
    const QuoteSnapshotPtr& Snapshot() const override { return snapshot_; }
    RankingSnapshotPtr Standings() const override;
    const MarketHistory& History() const override;
    const SessionLimits& Limits() const override { return limits_; }

private:
    void Accept();
    // Makes room for one more connection; false when every connection has logged in.
    bool EvictOldestNotLoggedIn();
    void ForgetAccountSession(Session& session);
    // Acts on what the throttle decided: a check starts, or a refusal is answered.
    void Decide(const std::vector<LoginThrottle::Outcome>& outcomes);
    // Wakes Decide(throttle_.Turns()) when the next waiting login's turn comes.
    void ScheduleTurns();
    void Check(std::shared_ptr<Session> session, std::string name, std::string password);
    // A login with the same name and password as one being checked waits for that check's
    // result instead of a check of its own: a client opening several connections at once is
    // one attempt, not several. True when `session` joined one.
    bool JoinPendingCheck(const std::shared_ptr<Session>& session, const std::string& name,
                          const std::string& password);
    // The check of `name` and `password` ended: the logins that joined it.
    std::vector<std::shared_ptr<Session>> EndPendingCheck(const std::string& name, const std::string& password);
    void CloseOtherSessions(std::int64_t userId, const std::shared_ptr<Session>& keep);
    void CountOrder(const std::optional<Answer>& answer);
    // `auth` is the account checked (id 0: rejected); `rehashed` its password hashed anew.
    // The logins that joined the check get the same result.
    void Verified(const std::shared_ptr<Session>& session, const std::string& name, const std::string& password,
                  const UserAuth& auth, const std::string& rehashed);
    // Lets one login in with the checked account, or rejects it.
    void Admit(const std::shared_ptr<Session>& session, const std::string& name, const std::string& password,
               const UserAuth& auth, const std::string& rehashed);
    // Null when a check from `address` for `name` may be queued; else the refusal to answer.
    const char* HashRefusal(const std::string& address, const std::string& name) const;
    // `work` runs on a hashing thread and must end by posting HashDone() to the network thread.
    void QueueHash(const std::string& address, const std::string& name, std::function<void()> work);
    void DispatchHashes();
    void HashDone(const std::string& address, const std::string& name);

    asio::io_context& io_;
    Engine& engine_;
    Metrics& metrics_; // the engine's
    UserDirectory& directory_;
    const ServerOptions options_;
    const SessionLimits limits_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer acceptPause_;
    asio::thread_pool hashPool_{2}; // as many as kHashThreads
    std::string dummyHash_;
    // Hashes queued or running, each address's in a queue of its own, served in turn.
    int hashesQueued_ = 0;
    int hashesRunning_ = 0;
    std::unordered_map<std::string, std::deque<std::function<void()>>> hashQueues_;
    std::deque<std::string> hashTurns_;
    std::unordered_map<std::string, int> hashesPerAddress_;
    std::unordered_map<std::string, int> hashesPerName_;
    struct PendingCheck {
        std::string password;
        std::vector<std::shared_ptr<Session>> joined;
    };
    std::unordered_map<std::string, std::vector<PendingCheck>> pendingChecks_; // by name
    LoginThrottle throttle_;
    // Logins the throttle holds, waiting for their turn or just let through, by ticket.
    struct HeldLogin {
        std::shared_ptr<Session> session;
        std::string name;
        std::string password;
    };
    std::unordered_map<LoginThrottle::Ticket, HeldLogin> heldLogins_;
    LoginThrottle::Ticket lastTicket_ = 0;
    asio::steady_timer turnTimer_;
    VerifiedLogins verified_;
    QuoteSnapshotPtr snapshot_;
    std::size_t outputBytes_ = 0;
    std::unordered_set<std::shared_ptr<Session>> sessions_;
    std::unordered_map<std::string, std::size_t> perAddress_;
    // Connections that have not logged in, oldest first: a full table sheds from the front.
    std::list<Session*> notLoggedIn_;
    // Each account's logged-in connections, oldest login first.
    std::unordered_map<std::int64_t, std::deque<Session*>> perAccount_;
};

} // namespace server
