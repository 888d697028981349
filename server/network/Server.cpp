#include "server/network/Server.h"

#include "server/engine/Engine.h"
#include "server/engine/Requests.h"
#include "server/ledger/Ledger.h"
#include "server/ledger/PasswordHash.h"
#include "server/ledger/UserDirectory.h"
#include "server/network/Session.h"
#include "wire/Commands.h"

#include <cstdio>

namespace server {
namespace {

// Password checks wait in a queue for the hashing threads. Every connection has at most
// one check waiting, so the queue is bounded by the connection limit; beyond this many,
// logins are refused rather than left waiting for minutes.
constexpr int kMaxPendingHashes = 8192;

constexpr const char* kOrderBusy = "1,系统繁忙，委托未受理，请稍后再试";

} // namespace

Server::Server(asio::io_context& io, Engine& engine, UserDirectory& directory, const ServerOptions& options)
    : io_(io)
    , engine_(engine)
    , metrics_(engine.GetMetrics())
    , directory_(directory)
    , options_(options)
    , acceptor_(io)
    , acceptPause_(io) {
    // Unknown names are checked against this hash too, so a reply's timing does not tell
    // which names exist.
    dummyHash_ = HashPassword("no such user", options_.hashCost);
    snapshot_ = engine_.Snapshot();
}

Server::~Server() {
    hashPool_.stop();
    hashPool_.join();
}

void Server::Listen() {
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(options_.host), options_.port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(asio::socket_base::max_listen_connections);
    Accept();
}

std::uint16_t Server::Port() const {
    return acceptor_.local_endpoint().port();
}

void Server::Shutdown() {
    asio::error_code ec;
    acceptor_.close(ec);
    acceptPause_.cancel();
    for (const auto& session : std::unordered_set<std::shared_ptr<Session>>(sessions_))
        session->Close();
}

void Server::Accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open())
            return;
        if (!ec) {
            asio::error_code ignored;
            const auto remote = socket.remote_endpoint(ignored);
            const std::string address = ignored ? std::string("?") : remote.address().to_string();
            if (sessions_.size() >= options_.maxConnections ||
                perAddress_[address] >= options_.maxConnectionsPerAddress) {
                if (perAddress_[address] == 0)
                    perAddress_.erase(address);
                metrics_.connectionsRefused.fetch_add(1, std::memory_order_relaxed);
                socket.close(ignored);
            } else {
                metrics_.connectionsAccepted.fetch_add(1, std::memory_order_relaxed);
                auto session = std::make_shared<Session>(std::move(socket), *this);
                ++perAddress_[session->Address()];
                sessions_.insert(session);
                metrics_.connectionsOpen.store(static_cast<std::int64_t>(sessions_.size()), std::memory_order_relaxed);
                session->Start();
            }
        } else {
            // Out of descriptors or memory: pause instead of spinning on the failing accept.
            std::fprintf(stderr, "quorvexd: accept failed: %s\n", ec.message().c_str());
            acceptPause_.expires_after(std::chrono::milliseconds(200));
            acceptPause_.async_wait([this](const asio::error_code& waitError) {
                if (!waitError)
                    Accept();
            });
            return;
        }
        Accept();
    });
}

void Server::Remove(const std::shared_ptr<Session>& session) {
    if (sessions_.erase(session) == 0)
        return;
    metrics_.connectionsOpen.store(static_cast<std::int64_t>(sessions_.size()), std::memory_order_relaxed);
    const auto it = perAddress_.find(session->Address());
    if (it != perAddress_.end() && --it->second == 0)
        perAddress_.erase(it);
}

void Server::QuotesReady(QuoteSnapshotPtr snapshot) {
    asio::post(io_, [this, snapshot = std::move(snapshot)] {
        snapshot_ = snapshot;
        for (const auto& session : sessions_) {
            session->PushPhase(snapshot->phase);
            session->PushQuotes(*snapshot);
        }
    });
}

void Server::AccountsChanged() {
    asio::post(io_, [this] {
        for (const auto& session : sessions_)
            session->PushAccount();
    });
}

void Server::Authenticate(std::shared_ptr<Session> session, std::string name, std::string password) {
    const auto decision = throttle_.Begin(name, session->Address(), LoginThrottle::Clock::now());
    if (!decision.allowed) {
        metrics_.loginsThrottled.fetch_add(1, std::memory_order_relaxed);
        session->LoginFinished(0, {}, {}, "1,,,登录失败次数过多，请稍后再试");
        return;
    }
    if (decision.delay <= LoginThrottle::Clock::duration::zero()) {
        Check(std::move(session), std::move(name), std::move(password));
        return;
    }
    // A name or address under attack answers slowly; the right password still gets in.
    auto timer = std::make_shared<asio::steady_timer>(io_, decision.delay);
    timer->async_wait([this, timer, session = std::move(session), name = std::move(name),
                       password = std::move(password)](const asio::error_code&) mutable {
        Check(std::move(session), std::move(name), std::move(password));
    });
}

void Server::Check(std::shared_ptr<Session> session, std::string name, std::string password) {
    auto auth = directory_.Find(name);
    if (auth && verified_.Matches(name, auth->passwordHash, password)) {
        Verified(session, name, password, auth->id, auth->passwordHash);
        return;
    }
    if (pendingHashes_ >= kMaxPendingHashes) {
        throttle_.Abandon(name, session->Address());
        session->LoginFinished(0, {}, {}, "1,,,服务器繁忙，请稍后再试");
        return;
    }
    ++pendingHashes_;
    asio::post(hashPool_, [this, session = std::move(session), name = std::move(name), password = std::move(password),
                           auth = std::move(auth)]() mutable {
        bool ok = false;
        if (auth)
            ok = VerifyPassword(auth->passwordHash, password);
        else
            VerifyPassword(dummyHash_, password);
        const std::int64_t userId = ok ? auth->id : 0;
        std::string hash = ok ? auth->passwordHash : std::string();
        asio::post(io_, [this, session = std::move(session), name = std::move(name), password = std::move(password),
                         userId, hash = std::move(hash)] {
            --pendingHashes_;
            Verified(session, name, password, userId, hash);
        });
    });
}

void Server::Verified(const std::shared_ptr<Session>& session, const std::string& name, const std::string& password,
                      std::int64_t userId, const std::string& passwordHash) {
    throttle_.End(name, session->Address(), userId != 0, LoginThrottle::Clock::now());
    if (userId == 0) {
        session->LoginFinished(0, {}, {}, "1,,,用户名或密码错误");
        return;
    }
    verified_.Remember(name, passwordHash, password);
    engine_.Post(
        [this, userId](Ledger& ledger, const LocalTime&) -> std::optional<std::string> {
            const Account* account = ledger.FindAccount(userId);
            if (!account)
                return std::nullopt;
            return ledger.LoginAnswer(*account, options_.welcome, options_.clientVersion, options_.updateCommand);
        },
        [this, session, name, password, userId](std::optional<std::string> answer) {
            asio::post(io_, [session, name, password, userId, answer = std::move(answer)] {
                if (answer)
                    session->LoginFinished(userId, name, password, *answer);
                else
                    session->LoginFinished(0, {}, {}, "1,,,用户名或密码错误");
            });
        },
        std::string("1,,,系统繁忙，请稍后再试"));
}

void Server::ChangePassword(std::shared_ptr<Session> session, std::int64_t userId, std::string newPassword) {
    if (pendingHashes_ >= kMaxPendingHashes) {
        session->PasswordChangeFinished(std::nullopt, "9,服务器繁忙，请稍后再试");
        return;
    }
    ++pendingHashes_;
    asio::post(hashPool_, [this, session = std::move(session), userId, newPassword = std::move(newPassword)] {
        std::string hash;
        try {
            hash = HashPassword(newPassword, options_.hashCost);
        } catch (const std::exception&) {
        }
        asio::post(io_, [this, session, userId, newPassword, hash] {
            --pendingHashes_;
            if (hash.empty()) {
                session->PasswordChangeFinished(std::nullopt, "9,服务器繁忙，请稍后再试");
                return;
            }
            engine_.Post(
                [userId, hash](Ledger& ledger, const LocalTime&) -> std::optional<std::string> {
                    Account* account = ledger.FindAccount(userId);
                    if (!account)
                        return std::nullopt;
                    ledger.SetPasswordHash(*account, hash);
                    return std::string("0");
                },
                [this, session, userId, newPassword](std::optional<std::string> answer) {
                    asio::post(io_, [this, session, userId, newPassword, answer = std::move(answer)] {
                        if (answer && *answer == "0") {
                            CloseOtherSessions(userId, session);
                            session->PasswordChangeFinished(newPassword, "0");
                        } else {
                            session->PasswordChangeFinished(std::nullopt, answer.value_or("9,账户不存在"));
                        }
                    });
                },
                std::string("9,系统繁忙，请稍后再试"));
        });
    });
}

void Server::CloseOtherSessions(std::int64_t userId, const std::shared_ptr<Session>& keep) {
    // Whoever knew the old password must log in again with the new one.
    for (const auto& other : sessions_)
        if (other != keep && other->UserId() == userId)
            other->Close();
}

void Server::CountOrder(const std::optional<std::string>& answer) {
    // An order's answer starts with "0," when it was accepted; a failed batch answers with
    // the busy text, anything else carries the reason it was refused.
    if (answer && answer->starts_with("0,"))
        metrics_.ordersAccepted.fetch_add(1, std::memory_order_relaxed);
    else if (answer && *answer == kOrderBusy)
        metrics_.ordersFailed.fetch_add(1, std::memory_order_relaxed);
    else
        metrics_.ordersRejected.fetch_add(1, std::memory_order_relaxed);
}

void Server::Submit(std::shared_ptr<Session> session, std::int64_t userId, int command, QueryString query) {
    std::optional<std::string> failure;
    if (command == net::kCmdOrder)
        failure = kOrderBusy;
    else if (command >= net::kCmdCancelOne && command <= net::kCmdCancelAll)
        failure = "1,系统繁忙，撤单未受理，请稍后再试";
    const bool readOnly = command != net::kCmdOrder && command != net::kCmdCancelOne &&
                          command != net::kCmdCancelAllSells && command != net::kCmdCancelAllBuys &&
                          command != net::kCmdCancelAll;
    engine_.Post(
        [this, userId, command, query = std::move(query)](Ledger& ledger, const LocalTime& now) {
            return HandleAccountRequest(ledger, WindowAt(options_, now), userId, command, query, now);
        },
        [this, session = std::move(session), command](std::optional<std::string> answer) {
            if (command == net::kCmdOrder)
                CountOrder(answer);
            asio::post(io_, [session, command, answer = std::move(answer)] { session->RequestDone(command, answer); });
        },
        std::move(failure), readOnly);
}

} // namespace server
