#include "server/network/Session.h"

#include "server/engine/GbkCodec.h"
#include "server/engine/QueryString.h"
#include "server/ledger/PasswordHash.h"
#include "server/network/Server.h"
#include "wire/Commands.h"
#include "wire/SplitText.h"

#include <algorithm>
#include <cstdio>

namespace server {
namespace {

// A client that does not read its socket is cut off rather than buffered for ever.
constexpr std::size_t kMaxOutboxBytes = 4 * 1024 * 1024;
// Quote pushes must fit one frame; each record is under 200 bytes.
constexpr std::size_t kMaxSubscriptions = 300;
constexpr std::size_t kMaxPasswordBytes = 32;
// A connection with this many requests unanswered is not read until some are answered:
// one client pipelining thousands of queries cannot push everyone else's to the back.
constexpr int kMaxInFlight = 32;
// Frames kept while a login is checked: a re-login and the requests sent right behind it
// fit easily; more means a client that does not wait for its answer.
constexpr std::size_t kMaxHeldFrames = 32;
constexpr std::size_t kMaxHeldBytes = 64 * 1024;

} // namespace

Session::Session(asio::ip::tcp::socket socket, Server& server)
    : socket_(std::move(socket))
    , idleTimer_(socket_.get_executor())
    , server_(server) {
    asio::error_code ec;
    const auto endpoint = socket_.remote_endpoint(ec);
    address_ = ec ? std::string("?") : endpoint.address().to_string();
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
    socket_.set_option(asio::socket_base::keep_alive(true), ec);
}

void Session::Start() {
    lastRequest_ = std::chrono::steady_clock::now();
    loginDeadline_ = lastRequest_ + std::chrono::seconds(server_.Options().loginSeconds);
    ArmIdleTimer();
    Read();
}

void Session::Close() {
    if (!open_)
        return;
    open_ = false;
    asio::error_code ec;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    socket_.close(ec);
    idleTimer_.cancel();
    // Not removed synchronously: the caller may be walking the server's session list.
    asio::post(server_.Io(), [self = shared_from_this()] { self->server_.Remove(self); });
}

void Session::ArmIdleTimer() {
    // Until it has logged in a connection has a short while; after that only its
    // authenticated requests count as activity (pushes keep flowing to a dead client).
    const auto idleLimit = std::chrono::seconds(server_.Options().idleSeconds);
    idleTimer_.expires_at(userId_ == 0 ? loginDeadline_ : lastRequest_ + idleLimit);
    idleTimer_.async_wait([self = shared_from_this(), idleLimit](const asio::error_code& ec) {
        if (ec || !self->open_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (self->userId_ == 0 && now >= self->loginDeadline_) {
            if (!self->loginPending_) {
                self->Close();
                return;
            }
            self->loginDeadline_ = now + std::chrono::seconds(1); // look again once the check is done
        } else if (self->userId_ != 0 && now - self->lastRequest_ >= idleLimit) {
            self->Close();
            return;
        }
        self->ArmIdleTimer();
    });
}

void Session::Read() {
    socket_.async_read_some(asio::buffer(readBuffer_),
                            [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                                if (ec || !self->open_) {
                                    self->Close();
                                    return;
                                }
                                self->decoder_.Append(self->readBuffer_.data(), n);
                                self->Drain();
                            });
}

void Session::Drain() {
    net::Frame frame;
    for (;;) {
        if (inFlight_ >= kMaxInFlight) {
            paused_ = true; // RequestDone() goes on from here
            return;
        }
        const auto status = decoder_.Next(frame);
        if (status == net::FrameDecoder::Status::kBroken) {
            Close(); // a bad length cannot be resynchronised
            return;
        }
        if (status == net::FrameDecoder::Status::kNeedMore)
            break;
        OnFrame(frame);
        if (!open_)
            return;
    }
    Read();
}

void Session::RequestDone(int command, const std::optional<std::string>& answer) {
    --inFlight_;
    if (!open_)
        return;
    if (answer)
        Send(command, *answer);
    if (paused_ && inFlight_ < kMaxInFlight) {
        paused_ = false;
        Drain();
    }
}

void Session::OnFrame(const net::Frame& frame) {
    if (frame.command == net::kCmdHeartbeat) {
        // Carries nothing to check: answered whatever the login state, so an idle login
        // dialog keeps its connection; only a logged-in client's counts as activity.
        if (userId_ != 0)
            lastRequest_ = std::chrono::steady_clock::now();
        Send(net::kCmdHeartbeat, "");
        return;
    }
    if (loginPending_ || !held_.empty()) {
        heldBytes_ += frame.body.size() + net::kHeaderSize;
        if (held_.size() >= kMaxHeldFrames || heldBytes_ > kMaxHeldBytes) {
            Close();
            return;
        }
        held_.push_back(frame);
        return;
    }
    Handle(frame);
}

void Session::DrainHeld() {
    while (open_ && !loginPending_ && !held_.empty()) {
        const net::Frame frame = std::move(held_.front());
        held_.pop_front();
        heldBytes_ -= frame.body.size() + net::kHeaderSize;
        Handle(frame);
    }
}

void Session::Handle(const net::Frame& frame) {
    // Before a login only the login itself is looked at: nobody can make the server decode
    // and parse bodies without an account.
    if (userId_ == 0 && frame.command != net::kCmdLogin)
        return;
    const auto body = GbkToUtf8(frame.body);
    std::optional<QueryString> query;
    if (body)
        query = QueryString::Parse(*body);
    if (frame.command == net::kCmdLogin) {
        OnLogin(query);
        return;
    }
    // Everything else needs this connection's login and its credentials, or gets no answer.
    if (!query || userId_ == 0)
        return;
    if (query->Get("curuser") != name_ || !SecretsEqual(query->Get("curpwd"), password_))
        return;
    lastRequest_ = std::chrono::steady_clock::now();
    switch (frame.command) {
    case net::kCmdQuoteSubscribe:
        OnSubscribe(*query);
        return;
    case net::kCmdChangePassword:
        OnChangePassword(*query);
        return;
    case net::kCmdOrder:
    case net::kCmdCancelOne:
    case net::kCmdCancelAllSells:
    case net::kCmdCancelAllBuys:
    case net::kCmdCancelAll:
    case net::kCmdTodayOrders:
    case net::kCmdTodayTrades:
    case net::kCmdPositions:
    case net::kCmdFundsFlow:
    case net::kCmdFunds:
    case net::kCmdHistoryOrders:
    case net::kCmdHistoryTrades:
    case net::kCmdSettlement:
        ++inFlight_;
        server_.Submit(shared_from_this(), userId_, frame.command, std::move(*query));
        return;
    default:
        return;
    }
}

void Session::OnLogin(const std::optional<QueryString>& query) {
    if (!query) {
        Send(net::kCmdLogin, "1,,,登录请求格式错误");
        return;
    }
    const std::string name(query->Get("user_name"));
    const std::string password(query->Get("pwd"));
    if (name.empty() || password.empty()) {
        Send(net::kCmdLogin, "1,,,请输入用户名和密码");
        return;
    }
    loginPending_ = true;
    server_.Authenticate(shared_from_this(), name, password);
}

void Session::LoginFinished(std::int64_t userId, const std::string& name, const std::string& password,
                            const std::string& answer) {
    loginPending_ = false;
    (userId != 0 ? server_.GetMetrics().loginsOk : server_.GetMetrics().loginsRejected)
        .fetch_add(1, std::memory_order_relaxed);
    if (!open_)
        return;
    if (userId != 0) {
        lastRequest_ = std::chrono::steady_clock::now();
        userId_ = userId;
        name_ = name;
        password_ = password;
        idleTimer_.cancel();
        ArmIdleTimer(); // from the login deadline to the idle limit
    }
    Send(net::kCmdLogin, answer);
    if (userId != 0) {
        phaseSent_.clear(); // a new login is told the market's state afresh
        if (const QuoteSnapshotPtr& snapshot = server_.Snapshot())
            PushPhase(snapshot->phase);
    }
    DrainHeld();
}

void Session::OnSubscribe(const QueryString& query) {
    const QuoteSnapshotPtr& snapshot = server_.Snapshot();
    subscriptions_.clear();
    for (std::string_view code : net::SplitText(query.Get("code"), ",")) {
        if (subscriptions_.size() >= kMaxSubscriptions)
            break;
        if (snapshot && snapshot->records.contains(std::string(code)) &&
            std::find(subscriptions_.begin(), subscriptions_.end(), code) == subscriptions_.end())
            subscriptions_.emplace_back(code);
    }
    if (snapshot)
        PushQuotes(*snapshot); // the client sees its quotes at once, not at the next tick
}

void Session::OnChangePassword(const QueryString& query) {
    if (passwordPending_)
        return;
    if (!SecretsEqual(query.Get("oldpwd"), password_)) {
        Send(net::kCmdChangePassword, "1,原密码不正确");
        return;
    }
    const std::string_view newPassword = query.Get("pwd");
    if (newPassword.empty() || newPassword.size() > kMaxPasswordBytes) {
        Send(net::kCmdChangePassword, "2,新密码长度应为1到32个字符");
        return;
    }
    if (newPassword.find_first_of(",|") != std::string_view::npos ||
        std::any_of(newPassword.begin(), newPassword.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        Send(net::kCmdChangePassword, "3,新密码不能包含逗号、竖线或控制字符");
        return;
    }
    passwordPending_ = true;
    server_.ChangePassword(shared_from_this(), userId_, std::string(newPassword));
}

void Session::PasswordChangeFinished(const std::optional<std::string>& newPassword, const std::string& answer) {
    passwordPending_ = false;
    if (!open_)
        return;
    if (newPassword)
        password_ = *newPassword;
    Send(net::kCmdChangePassword, answer);
}

void Session::Send(int command, std::string_view body) {
    if (!open_)
        return;
    const std::string gbk = Utf8ToGbk(body);
    if (gbk.size() + net::kHeaderSize > net::kMaxFrameLength) {
        std::fprintf(stderr, "quorvexd: answer to command %d too long (%zu bytes), dropped\n", command, gbk.size());
        return;
    }
    Queue(net::FormatFrame(command, gbk), false);
}

void Session::PushAccount() {
    if (!open_ || userId_ == 0)
        return;
    // Today's orders and trades too: after a rollover the lists on screen are yesterday's,
    // after a call auction their fills are not shown yet.
    for (const int command : {net::kCmdFunds, net::kCmdPositions, net::kCmdTodayOrders, net::kCmdTodayTrades}) {
        auto query = QueryString::Parse("");
        if (!query)
            return;
        ++inFlight_;
        server_.Submit(shared_from_this(), userId_, command, std::move(*query));
    }
}

void Session::PushPhase(const std::string& phase) {
    if (!open_ || userId_ == 0 || phase.empty() || phase == phaseSent_)
        return;
    phaseSent_ = phase;
    Send(net::kCmdMarketPhase, phase);
}

void Session::PushQuotes(const QuoteSnapshot& snapshot) {
    if (!open_ || userId_ == 0 || subscriptions_.empty())
        return;
    if (queuedPushes_ > 0) {
        server_.GetMetrics().quotePushesSkipped.fetch_add(1, std::memory_order_relaxed);
        return; // a client still busy with the last push skips this one
    }
    std::string body;
    body.reserve(subscriptions_.size() * 180);
    for (const std::string& code : subscriptions_) {
        const auto it = snapshot.records.find(code);
        if (it != snapshot.records.end())
            body += it->second;
    }
    if (body.empty() || body.size() + net::kHeaderSize > net::kMaxFrameLength)
        return;
    server_.GetMetrics().quotePushes.fetch_add(1, std::memory_order_relaxed);
    Queue(net::FormatFrame(net::kCmdQuoteUpdate, body), true);
}

void Session::Queue(std::string frame, bool push) {
    outboxBytes_ += frame.size();
    if (outboxBytes_ > kMaxOutboxBytes) {
        server_.GetMetrics().slowReadersDropped.fetch_add(1, std::memory_order_relaxed);
        Close();
        return;
    }
    if (push)
        ++queuedPushes_;
    outbox_.push_back({std::move(frame), push});
    if (!writing_)
        Write();
}

void Session::Write() {
    if (outbox_.empty() || !open_) {
        writing_ = false;
        return;
    }
    writing_ = true;
    // Gather what is queued into one write; frames stay whole and in order.
    std::vector<asio::const_buffer> buffers;
    const std::size_t count = std::min<std::size_t>(outbox_.size(), 64);
    buffers.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        buffers.emplace_back(asio::buffer(outbox_[i].data));
    asio::async_write(socket_, buffers, [self = shared_from_this(), count](const asio::error_code& ec, std::size_t) {
        if (ec || !self->open_) {
            self->Close();
            return;
        }
        for (std::size_t i = 0; i < count && !self->outbox_.empty(); ++i) {
            self->outboxBytes_ -= self->outbox_.front().data.size();
            if (self->outbox_.front().push)
                --self->queuedPushes_;
            self->outbox_.pop_front();
        }
        self->Write();
    });
}

} // namespace server
