#pragma once

#include <asio.hpp>

#include "server/engine/Metrics.h"
#include "server/engine/QueryString.h"
#include "server/engine/ServerOptions.h"
#include "server/market/QuoteSnapshot.h"
#include "server/network/LoginThrottle.h"
#include "server/network/VerifiedLogins.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace server {

class Engine;
class Session;
class UserDirectory;

// Accepts connections, verifies passwords off the network thread, passes authenticated
// requests to the engine and fans quote snapshots out to the subscribed connections.
// Runs on one network thread (the io_context's); password hashing has two threads of its own.
class Server final {
public:
    Server(asio::io_context& io, Engine& engine, UserDirectory& directory, const ServerOptions& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and starts accepting; throws std::system_error when the address is taken.
    void Listen();
    std::uint16_t Port() const;
    void Shutdown();

    // Called from the engine thread.
    void QuotesReady(QuoteSnapshotPtr snapshot);
    // Called from the engine thread: every logged-in client gets its funds and positions again.
    void AccountsChanged();

    // Network thread only.
    void Authenticate(std::shared_ptr<Session> session, std::string name, std::string password);
    void ChangePassword(std::shared_ptr<Session> session, std::int64_t userId, std::string newPassword);
    void Submit(std::shared_ptr<Session> session, std::int64_t userId, int command, QueryString query);
    void Remove(const std::shared_ptr<Session>& session);
    Metrics& GetMetrics() { return metrics_; }
    const QuoteSnapshotPtr& Snapshot() const { return snapshot_; }
    const ServerOptions& Options() const { return options_; }
    asio::io_context& Io() { return io_; }

private:
    void Accept();
    void Check(std::shared_ptr<Session> session, std::string name, std::string password);
    void CloseOtherSessions(std::int64_t userId, const std::shared_ptr<Session>& keep);
    void CountOrder(const std::optional<std::string>& answer);
    void Verified(const std::shared_ptr<Session>& session, const std::string& name, const std::string& password,
                  std::int64_t userId, const std::string& passwordHash);

    asio::io_context& io_;
    Engine& engine_;
    Metrics& metrics_; // the engine's
    UserDirectory& directory_;
    const ServerOptions options_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer acceptPause_;
    asio::thread_pool hashPool_{2};
    std::string dummyHash_;
    int pendingHashes_ = 0;
    LoginThrottle throttle_;
    VerifiedLogins verified_;
    QuoteSnapshotPtr snapshot_;
    std::unordered_set<std::shared_ptr<Session>> sessions_;
    std::unordered_map<std::string, std::size_t> perAddress_;
};

} // namespace server
