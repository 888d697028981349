#include "server/network/Server.h"

#include "server/engine/Engine.h"
#include "server/engine/Replies.h"
#include "server/engine/Requests.h"
#include "server/ledger/Ledger.h"
#include "server/ledger/PasswordHash.h"
#include "server/ledger/UserDirectory.h"
#include "server/network/Session.h"
#include "wire/Commands.h"

#include <algorithm>
#include <cstdio>

namespace server {
namespace {

// Password checks wait in a queue for the hashing threads. Every connection has at most
// one check waiting, so the queue is bounded by the connection limit; beyond this many,
// logins are refused rather than left waiting for minutes. One address and one name may
// have only a few waiting: the rest of a flood is refused without a hash.
constexpr int kMaxPendingHashes = 8192;
constexpr int kMaxHashesPerAddress = 16;
constexpr int kMaxHashesPerName = 8;
constexpr int kHashThreads = 2;

constexpr const char* kOrderBusy = "1,系统繁忙，委托未受理，请稍后再试";
// Refusals of a login that was not checked: they say why, as only the first is about failures.
constexpr const char* kTooManyFailures = "1,,,登录失败次数过多，请稍后再试";
constexpr const char* kTooManyAttempts = "1,,,登录请求过多，请稍后再试";
constexpr const char* kHashesBusy = "1,,,系统繁忙，请稍后再试";

} // namespace

Server::Server(asio::io_context& io, Engine& engine, UserDirectory& directory, const ServerOptions& options)
    : io_(io)
    , engine_(engine)
    , metrics_(engine.GetMetrics())
    , directory_(directory)
    , options_(options)
    , limits_{std::chrono::seconds(options.loginSeconds), std::chrono::seconds(options.idleSeconds)}
    , acceptor_(io)
    , acceptPause_(io)
    , turnTimer_(io) {
    // Unknown names are checked against this hash too, so a reply's timing does not tell
    // which names exist.
    dummyHash_ = HashPassword("no such user", options_.hashCost);
    snapshot_ = engine_.Snapshot();
}

Server::~Server() {
    hashPool_.stop();
    hashPool_.join();
}

asio::ip::tcp::endpoint ListenEndpoint(const std::string& host, std::uint16_t port) {
    // A host name is looked up; an address (IPv4 or IPv6) is taken as it is.
    asio::io_context lookup;
    asio::ip::tcp::resolver resolver(lookup);
    asio::error_code ec;
    const auto found = resolver.resolve(
        host, std::to_string(port), asio::ip::resolver_base::passive | asio::ip::resolver_base::numeric_service, ec);
    if (ec || found.empty())
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) + ": no such host (" +
                                 ec.message() + ")");
    return found.begin()->endpoint();
}

void Server::Listen() {
    const std::string where = options_.host + ":" + std::to_string(options_.port);
    const asio::ip::tcp::endpoint endpoint = ListenEndpoint(options_.host, options_.port);
    try {
        acceptor_.open(endpoint.protocol());
        acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true));
        acceptor_.bind(endpoint);
        acceptor_.listen(asio::socket_base::max_listen_connections);
    } catch (const std::system_error& e) {
        throw std::runtime_error("cannot listen on " + where + ": " + e.code().message());
    }
    Accept();
}

std::uint16_t Server::Port() const {
    return acceptor_.local_endpoint().port();
}

void Server::Shutdown() {
    asio::error_code ec;
    acceptor_.close(ec);
    acceptPause_.cancel();
    turnTimer_.cancel();
    for (const auto& session : std::unordered_set<std::shared_ptr<Session>>(sessions_))
        session->Close();
}

RankingSnapshotPtr Server::Standings() const {
    return engine_.Ranking().Current();
}

void Server::Accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open())
            return;
        if (!ec) {
            asio::error_code ignored;
            const auto remote = socket.remote_endpoint(ignored);
            const std::string address = ignored ? std::string("?") : remote.address().to_string();
            if ((sessions_.size() >= options_.maxConnections && !EvictOldestNotLoggedIn()) ||
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
                session->notLoggedInAt = notLoggedIn_.insert(notLoggedIn_.end(), session.get());
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

bool Server::EvictOldestNotLoggedIn() {
    // A connection whose login is being checked is spared while an idle one can go.
    Session* victim = nullptr;
    for (Session* waiting : notLoggedIn_) {
        if (!waiting->IsOpen())
            continue;
        if (!victim)
            victim = waiting;
        if (!waiting->LoginPending()) {
            victim = waiting;
            break;
        }
    }
    if (!victim)
        return false;
    metrics_.connectionsEvicted.fetch_add(1, std::memory_order_relaxed);
    notLoggedIn_.erase(*victim->notLoggedInAt);
    victim->notLoggedInAt.reset();
    victim->Close(); // it leaves the table a moment later; its place is given now
    return true;
}

void Server::LoggedIn(Session& session) {
    if (session.notLoggedInAt) {
        notLoggedIn_.erase(*session.notLoggedInAt);
        session.notLoggedInAt.reset();
    }
    ForgetAccountSession(session);
    auto& list = perAccount_[session.UserId()];
    while (list.size() >= options_.maxConnectionsPerAccount) {
        // The oldest login goes: most often a connection the owner has already left.
        Session* oldest = list.front();
        list.pop_front();
        oldest->accountListed = 0;
        metrics_.connectionsEvicted.fetch_add(1, std::memory_order_relaxed);
        oldest->Close();
    }
    list.push_back(&session);
    session.accountListed = session.UserId();
}

void Server::ForgetAccountSession(Session& session) {
    if (session.accountListed == 0)
        return;
    const auto it = perAccount_.find(session.accountListed);
    if (it != perAccount_.end()) {
        std::erase(it->second, &session);
        if (it->second.empty())
            perAccount_.erase(it);
    }
    session.accountListed = 0;
}

void Server::Remove(const std::shared_ptr<Session>& session) {
    if (session->notLoggedInAt) {
        notLoggedIn_.erase(*session->notLoggedInAt);
        session->notLoggedInAt.reset();
    }
    ForgetAccountSession(*session);
    if (sessions_.erase(session) == 0)
        return;
    metrics_.connectionsOpen.store(static_cast<std::int64_t>(sessions_.size()), std::memory_order_relaxed);
    const auto it = perAddress_.find(session->Address());
    if (it != perAddress_.end() && --it->second == 0)
        perAddress_.erase(it);
}

void Server::OutputQueued(std::size_t bytes) {
    outputBytes_ += bytes;
    while (outputBytes_ > options_.outputBudgetBytes) {
        // The most queued is the slowest reader; closing it frees what it holds.
        Session* slowest = nullptr;
        for (const auto& session : sessions_)
            if (session->IsOpen() && (!slowest || session->OutboxBytes() > slowest->OutboxBytes()))
                slowest = session.get();
        if (!slowest || slowest->OutboxBytes() == 0)
            return;
        metrics_.slowReadersDropped.fetch_add(1, std::memory_order_relaxed);
        slowest->Close();
    }
}

const MarketHistory& Server::History() const {
    return engine_.History();
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

void Server::OrdersFilled(std::vector<std::int64_t> userIds) {
    asio::post(io_, [this, userIds = std::move(userIds)] {
        for (const auto& session : sessions_)
            if (std::find(userIds.begin(), userIds.end(), session->UserId()) != userIds.end())
                session->PushAccount();
    });
}

void Server::Authenticate(std::shared_ptr<Session> session, std::string name, std::string password,
                          std::string machine) {
    // A password that has passed its check already is let in whatever others have failed:
    // only the guesses that do not match it are slowed down below.
    if (auto auth = directory_.Find(name); auth && verified_.Matches(name, auth->passwordHash, password)) {
        Verified(session, name, password, *auth, {});
        return;
    }
    if (JoinPendingCheck(session, name, password))
        return;
    const LoginThrottle::Ticket ticket = ++lastTicket_;
    LoginThrottle::Attempt attempt{name, session->Address(), std::move(machine)};
    heldLogins_.emplace(ticket, HeldLogin{std::move(session), std::move(name), std::move(password)});
    Decide(throttle_.Begin(ticket, std::move(attempt), LoginThrottle::Clock::now()));
}

void Server::Decide(const std::vector<LoginThrottle::Outcome>& outcomes) {
    for (const auto& outcome : outcomes) {
        auto held = heldLogins_.extract(outcome.ticket);
        auto& [session, name, password] = held.mapped();
        if (!outcome.check) {
            metrics_.loginsThrottled.fetch_add(1, std::memory_order_relaxed);
            session->LoginFinished(0, {}, {}, kTooManyFailures);
            continue;
        }
        // A login that waited for its turn may have gone, or its password be under check by now.
        if (!session->IsOpen() || JoinPendingCheck(session, name, password)) {
            throttle_.Abandon(name, session->Address());
            continue;
        }
        pendingChecks_[name].push_back({password, {}});
        if (outcome.delay <= LoginThrottle::Clock::duration::zero()) {
            Check(std::move(session), std::move(name), std::move(password));
            continue;
        }
        // A name or address under attack answers slowly; the right password still gets in.
        auto timer = std::make_shared<asio::steady_timer>(io_, outcome.delay);
        timer->async_wait([this, timer, session = std::move(session), name = std::move(name),
                           password = std::move(password)](const asio::error_code&) mutable {
            Check(std::move(session), std::move(name), std::move(password));
        });
    }
    ScheduleTurns();
}

void Server::ScheduleTurns() {
    const auto next = throttle_.NextTurn();
    if (!next) {
        turnTimer_.cancel();
        return;
    }
    turnTimer_.expires_at(*next); // cancels the wait set before
    turnTimer_.async_wait([this](const asio::error_code& error) {
        if (!error)
            Decide(throttle_.Turns(LoginThrottle::Clock::now()));
    });
}

bool Server::JoinPendingCheck(const std::shared_ptr<Session>& session, const std::string& name,
                              const std::string& password) {
    const auto it = pendingChecks_.find(name);
    if (it == pendingChecks_.end())
        return false;
    for (PendingCheck& check : it->second) {
        if (SecretsEqual(check.password, password)) {
            check.joined.push_back(session);
            return true;
        }
    }
    return false;
}

std::vector<std::shared_ptr<Session>> Server::EndPendingCheck(const std::string& name, const std::string& password) {
    std::vector<std::shared_ptr<Session>> joined;
    const auto it = pendingChecks_.find(name);
    if (it == pendingChecks_.end())
        return joined;
    auto& checks = it->second;
    const auto check = std::find_if(checks.begin(), checks.end(),
                                    [&](const PendingCheck& c) { return SecretsEqual(c.password, password); });
    if (check != checks.end()) {
        joined = std::move(check->joined);
        checks.erase(check);
    }
    if (checks.empty())
        pendingChecks_.erase(it);
    return joined;
}

void Server::Check(std::shared_ptr<Session> session, std::string name, std::string password) {
    auto auth = directory_.Find(name);
    if (auth && verified_.Matches(name, auth->passwordHash, password)) {
        Verified(session, name, password, *auth, {});
        return;
    }
    std::string address = session->Address();
    if (const char* refusal = HashRefusal(address, name)) {
        // A flood of attempts is answered without a hash, so it cannot delay anyone else's.
        throttle_.Abandon(name, address);
        ScheduleTurns();
        metrics_.loginsThrottled.fetch_add(1, std::memory_order_relaxed);
        session->LoginFinished(0, {}, {}, refusal);
        for (const auto& other : EndPendingCheck(name, password))
            other->LoginFinished(0, {}, {}, refusal);
        return;
    }
    metrics_.passwordChecks.fetch_add(1, std::memory_order_relaxed);
    QueueHash(address, name,
              [this, session = std::move(session), name, password = std::move(password), auth = std::move(auth),
               address]() mutable {
                  bool ok = false;
                  if (auth)
                      ok = VerifyPassword(auth->passwordHash, password);
                  else
                      VerifyPassword(dummyHash_, password);
                  // A hash made at another cost is made anew while the password is at hand.
                  std::string rehashed;
                  if (ok && NeedsRehash(auth->passwordHash, options_.hashCost)) {
                      try {
                          rehashed = HashPassword(password, options_.hashCost);
                      } catch (const std::exception&) {
                      }
                  }
                  asio::post(io_, [this, session = std::move(session), name = std::move(name),
                                   password = std::move(password), auth = ok ? std::move(auth) : std::nullopt,
                                   rehashed = std::move(rehashed), address] {
                      HashDone(address, name);
                      Verified(session, name, password, auth.value_or(UserAuth{}), rehashed);
                  });
              });
}

const char* Server::HashRefusal(const std::string& address, const std::string& name) const {
    const auto count = [](const auto& map, const std::string& key) {
        const auto it = map.find(key);
        return it == map.end() ? 0 : it->second;
    };
    if (hashesQueued_ >= kMaxPendingHashes)
        return kHashesBusy;
    if (count(hashesPerAddress_, address) >= kMaxHashesPerAddress ||
        (!name.empty() && count(hashesPerName_, name) >= kMaxHashesPerName))
        return kTooManyAttempts;
    return nullptr;
}

void Server::QueueHash(const std::string& address, const std::string& name, std::function<void()> work) {
    ++hashesQueued_;
    ++hashesPerAddress_[address];
    if (!name.empty())
        ++hashesPerName_[name];
    auto& queue = hashQueues_[address];
    // An address that has not failed takes its turn before those that have: a contestant's
    // first login waits for the checks under way, not behind every guessing address.
    if (queue.empty()) {
        const auto now = LoginThrottle::Clock::now();
        const auto failed = [&](const std::string& a) { return throttle_.HasFailed(a, now); };
        hashTurns_.insert(
            failed(address) ? hashTurns_.end() : std::find_if(hashTurns_.begin(), hashTurns_.end(), failed), address);
    }
    queue.push_back(std::move(work));
    DispatchHashes();
}

void Server::DispatchHashes() {
    // Addresses take turns: one address's hundred attempts wait behind each other, not in
    // front of a user elsewhere.
    while (hashesRunning_ < kHashThreads && !hashTurns_.empty()) {
        std::string address = std::move(hashTurns_.front());
        hashTurns_.pop_front();
        const auto it = hashQueues_.find(address);
        std::function<void()> work = std::move(it->second.front());
        it->second.pop_front();
        if (it->second.empty())
            hashQueues_.erase(it);
        else
            hashTurns_.push_back(std::move(address));
        ++hashesRunning_;
        asio::post(hashPool_, std::move(work));
    }
}

void Server::HashDone(const std::string& address, const std::string& name) {
    --hashesRunning_;
    --hashesQueued_;
    const auto release = [](auto& map, const std::string& key) {
        const auto it = map.find(key);
        if (it != map.end() && --it->second <= 0)
            map.erase(it);
    };
    release(hashesPerAddress_, address);
    if (!name.empty())
        release(hashesPerName_, name);
    DispatchHashes();
}

void Server::Verified(const std::shared_ptr<Session>& session, const std::string& name, const std::string& password,
                      const UserAuth& auth, const std::string& rehashed) {
    throttle_.End(name, session->Address(), auth.id != 0, LoginThrottle::Clock::now());
    ScheduleTurns();
    const auto joined = EndPendingCheck(name, password);
    Admit(session, name, password, auth, rehashed);
    for (const auto& other : joined)
        Admit(other, name, password, auth, {});
}

void Server::Admit(const std::shared_ptr<Session>& session, const std::string& name, const std::string& password,
                   const UserAuth& auth, const std::string& rehashed) {
    const std::int64_t userId = auth.id;
    if (userId == 0) {
        session->LoginFinished(0, {}, {}, "1,,,用户名或密码错误");
        return;
    }
    verified_.Remember(name, auth.passwordHash, password);
    engine_.Post(
        [this, userId, name, version = auth.version, checked = auth.passwordHash,
         rehashed](Ledger& ledger, const LocalTime&) -> std::optional<std::string> {
            Account* account = ledger.FindAccount(userId);
            if (!account)
                return std::nullopt;
            // A password change may have landed while this login was checked: it ran on this
            // thread before us and closed the sessions that were open then, so a login checked
            // against the old password must not open a new one now.
            const auto current = directory_.Find(name);
            if (!current || current->version != version)
                return std::nullopt;
            if (!rehashed.empty() && current->passwordHash == checked)
                ledger.SetPasswordHash(*account, rehashed, true);
            return LoginReply(*account, options_.welcome, options_.clientVersion, options_.updateCommand);
        },
        [this, session, name, password, userId](std::optional<Answer> answer) {
            asio::post(io_, [session, name, password, userId, answer = std::move(answer)] {
                if (answer)
                    session->LoginFinished(userId, name, password, answer->body);
                else
                    session->LoginFinished(0, {}, {}, "1,,,用户名或密码错误");
            });
        },
        std::string("1,,,系统繁忙，请稍后再试"), false, userId);
}

void Server::ChangePassword(std::shared_ptr<Session> session, std::int64_t userId, std::string newPassword) {
    const std::string address = session->Address();
    if (HashRefusal(address, {})) {
        session->PasswordChangeFinished(std::nullopt, "9,服务器繁忙，请稍后再试");
        return;
    }
    QueueHash(address, {}, [this, session = std::move(session), userId, newPassword = std::move(newPassword), address] {
        std::string hash;
        try {
            hash = HashPassword(newPassword, options_.hashCost);
        } catch (const std::exception&) {
        }
        asio::post(io_, [this, session, userId, newPassword, hash, address] {
            HashDone(address, {});
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
                [this, session, userId, newPassword](std::optional<Answer> answer) {
                    asio::post(io_, [this, session, userId, newPassword, answer = BodyOf(std::move(answer))] {
                        if (answer && *answer == "0") {
                            CloseOtherSessions(userId, session);
                            session->PasswordChangeFinished(newPassword, "0");
                        } else {
                            session->PasswordChangeFinished(std::nullopt, answer.value_or("9,账户不存在"));
                        }
                    });
                },
                std::string("9,系统繁忙，请稍后再试"), false, userId);
        });
    });
}

void Server::CloseOtherSessions(std::int64_t userId, const std::shared_ptr<Session>& keep) {
    // Whoever knew the old password must log in again with the new one.
    for (const auto& other : sessions_)
        if (other != keep && other->UserId() == userId)
            other->Close();
}

void Server::CountOrder(const std::optional<Answer>& answer) {
    // No answer at all (the account is gone) counts as a refusal.
    const auto outcome = answer ? answer->outcome : Answer::Outcome::kRefused;
    switch (outcome) {
    case Answer::Outcome::kDone:
        metrics_.ordersAccepted.fetch_add(1, std::memory_order_relaxed);
        break;
    case Answer::Outcome::kRefused:
        metrics_.ordersRejected.fetch_add(1, std::memory_order_relaxed);
        break;
    case Answer::Outcome::kFailed:
        metrics_.ordersFailed.fetch_add(1, std::memory_order_relaxed);
        break;
    }
}

void Server::Submit(std::shared_ptr<Session> session, std::int64_t userId, int command, QueryString query) {
    std::optional<std::string> failure;
    if (command == net::kCmdOrder)
        failure = kOrderBusy;
    else if (net::IsCancel(command))
        failure = "1,系统繁忙，撤单未受理，请稍后再试";
    Engine::Done done = [this, session = std::move(session), command](std::optional<Answer> answer) {
        if (command == net::kCmdOrder)
            CountOrder(answer);
        asio::post(io_,
                   [session, command, answer = BodyOf(std::move(answer))] { session->RequestDone(command, answer); });
    };
    if (IsHistoryQuery(command)) {
        engine_.PostQuery(
            userId,
            [userId, command, query = std::move(query)](Ledger& ledger, const LocalTime&) {
                return PrepareHistoryQuery(ledger, userId, command, query);
            },
            std::move(done));
    } else if (net::IsCancelAll(command)) {
        engine_.PostSliced(
            userId,
            [this, userId, command](Ledger& ledger, const LocalTime& now, Engine::Turn& turn) {
                return CancelAllTurn(ledger, WindowAt(engine_.Options(), now), userId, command, turn.progress,
                                     turn.more);
            },
            std::move(done), std::move(failure));
    } else {
        const bool readOnly = !net::IsOrderOrCancel(command);
        engine_.Post(
            [this, userId, command, query = std::move(query)](Ledger& ledger, const LocalTime& now) {
                return HandleAccountRequest(ledger, WindowAt(engine_.Options(), now), userId, command, query, now);
            },
            std::move(done), std::move(failure), readOnly, userId);
    }
}

} // namespace server
