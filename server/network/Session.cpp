#include "server/network/Session.h"

#include "server/engine/GbkCodec.h"
#include "server/engine/QueryString.h"
#include "server/engine/Standings.h"
#include "server/ledger/PasswordHash.h"
#include "server/market/Money.h"
#include "wire/Commands.h"
#include "wire/MarketRecords.h"
#include "wire/PasswordRule.h"
#include "wire/SplitText.h"

#include <algorithm>
#include <cstdio>
#include <sys/ioctl.h>

namespace server {
namespace {

// A client that does not read its socket is cut off rather than buffered for ever.
constexpr std::size_t kMaxOutboxBytes = 4 * 1024 * 1024;
// Before a login only heartbeats and the login's answer go out: a connection that lets
// more than this pile up is not reading and is closed.
constexpr std::size_t kMaxOutboxBytesBeforeLogin = 4096;
// Quote pushes must fit one frame; each record is under 200 bytes.
constexpr std::size_t kMaxSubscriptions = 300;
// A connection with this many requests unanswered is not read until some are answered:
// one client pipelining thousands of queries cannot push everyone else's to the back.
constexpr int kMaxInFlight = 32;
// Frames kept while a login is checked: a re-login and the requests sent right behind it
// fit easily; more means a client that does not wait for its answer.
constexpr std::size_t kMaxHeldFrames = 32;
constexpr std::size_t kMaxHeldBytes = 64 * 1024;
constexpr std::size_t kMaxBodyBytes = net::kMaxFrameLength - net::kHeaderSize;
// The client's machine code is a few dozen digits; what is longer tells no computer apart better.
constexpr std::size_t kMaxMachineCode = 64;

} // namespace

Session::Session(asio::ip::tcp::socket socket, SessionHost& host)
    : socket_(std::move(socket))
    , idleTimer_(socket_.get_executor())
    , host_(host) {
    asio::error_code ec;
    const auto endpoint = socket_.remote_endpoint(ec);
    address_ = ec ? std::string("?") : endpoint.address().to_string();
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
    socket_.set_option(asio::socket_base::keep_alive(true), ec);
}

void Session::Start() {
    lastRequest_ = std::chrono::steady_clock::now();
    loginDeadline_ = lastRequest_ + host_.Limits().login;
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
    // What is not being written is freed now; the frames of a write in progress stay until
    // it ends (its buffers point into them).
    while (outbox_.size() > writingCount_) {
        Unqueue(outbox_.back());
        outbox_.pop_back();
    }
    // Not removed synchronously: the caller may be walking the server's session list.
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->host_.Remove(self); });
}

void Session::ArmIdleTimer() {
    // Until it has logged in a connection has a short while; after that its authenticated
    // requests count as signs of life, and so does the peer taking what it is sent (a
    // watching client sends nothing while quotes flow). A dead peer takes nothing.
    const auto idleLimit = host_.Limits().idle;
    idleTimer_.expires_at(userId_ == 0 ? loginDeadline_ : LastSignOfLife() + idleLimit);
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
        } else if (self->userId_ != 0 && now - self->LastSignOfLife() >= idleLimit) {
            self->Close();
            return;
        }
        self->ArmIdleTimer();
    });
}

void Session::NoteTaken(std::size_t written) {
    // The kernel holds no more than this write: everything sent before it was acknowledged,
    // so the peer is taking what it is sent.
    int unacknowledged = 0;
    if (written > 0 && ::ioctl(socket_.native_handle(), TIOCOUTQ, &unacknowledged) == 0 &&
        static_cast<std::size_t>(unacknowledged) <= written)
        lastTaken_ = std::chrono::steady_clock::now();
}

std::chrono::steady_clock::time_point Session::LastSignOfLife() const {
    return std::max(lastRequest_, lastTaken_);
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
    case net::kCmdStanding:
    case net::kCmdCurve:
        OnStanding(frame.command, *query);
        return;
    case net::kCmdQuoteBoard:
        OnBoard(*query);
        return;
    case net::kCmdBars:
        OnBars(*query);
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
        host_.Submit(shared_from_this(), userId_, frame.command, std::move(*query));
        return;
    default:
        return;
    }
}

void Session::OnStanding(int command, const QueryString& query) {
    // Answered from the engine's last published standings, here on the network thread: a
    // contest asking for its ranks never queues behind the orders.
    const RankingSnapshotPtr snapshot = host_.Standings();
    if (!snapshot)
        return;
    const auto answer =
        command == net::kCmdStanding ? StandingReply(*snapshot, userId_, query) : CurveReply(*snapshot, userId_, query);
    if (answer)
        Send(command, *answer);
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
    // The machine code only tells computers apart; a client could send anything in it.
    std::string machine(query->Get("yjm").substr(0, kMaxMachineCode));
    host_.Authenticate(shared_from_this(), name, password, std::move(machine));
}

void Session::LoginFinished(std::int64_t userId, const std::string& name, const std::string& password,
                            const std::string& answer) {
    loginPending_ = false;
    (userId != 0 ? host_.GetMetrics().loginsOk : host_.GetMetrics().loginsRejected)
        .fetch_add(1, std::memory_order_relaxed);
    if (!open_)
        return;
    if (userId != 0) {
        lastRequest_ = std::chrono::steady_clock::now();
        userId_ = userId;
        name_ = name;
        password_ = password;
        host_.LoggedIn(*this);
        idleTimer_.cancel();
        ArmIdleTimer(); // from the login deadline to the idle limit
    }
    Send(net::kCmdLogin, answer);
    if (userId != 0) {
        phaseSent_.clear(); // a new login is told the market's state afresh
        if (const QuoteSnapshotPtr& snapshot = host_.Snapshot())
            PushPhase(snapshot->phase);
    }
    DrainHeld();
}

void Session::OnSubscribe(const QueryString& query) {
    const QuoteSnapshotPtr& snapshot = host_.Snapshot();
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

void Session::OnBoard(const QueryString& query) {
    // Answered from the last tick's snapshot on the network thread: the engine is not asked.
    const auto start = ParseCount(query.Get("start"));
    const auto count = ParseCount(query.Get("count"));
    if (!start || !count)
        return;
    std::string body;
    if (const QuoteSnapshotPtr& snapshot = host_.Snapshot(); snapshot && *start < std::ssize(snapshot->board)) {
        const auto first = snapshot->board.begin() + *start;
        const auto last =
            first + std::min<std::int64_t>({*count, net::kMaxBoardRecords, snapshot->board.end() - first});
        // Whole records up to what one frame holds; the client asks on from where they end.
        for (auto it = first; it != last && body.size() + it->size() <= kMaxBodyBytes; ++it)
            body += *it;
    }
    SendGbk(net::kCmdQuoteBoard, body);
}

void Session::OnBars(const QueryString& query) {
    const auto period = net::ParseBarPeriod(query.Get("period"));
    const auto count = ParseCount(query.Get("count"));
    if (!period || !count)
        return;
    const int wanted = static_cast<int>(std::min<std::int64_t>(*count, net::kMaxBarRecords));
    SendGbk(net::kCmdBars, host_.History().BarsText(query.Get("code"), *period, wanted, kMaxBodyBytes));
}

void Session::OnChangePassword(const QueryString& query) {
    if (passwordPending_)
        return;
    if (!SecretsEqual(query.Get("oldpwd"), password_)) {
        Send(net::kCmdChangePassword, "1,原密码不正确");
        return;
    }
    const std::string_view newPassword = query.Get("pwd");
    if (const net::PasswordProblem problem = net::CheckPassword(newPassword); problem != net::PasswordProblem::kNone) {
        const char* code = problem == net::PasswordProblem::kLength ? "2," : "3,";
        Send(net::kCmdChangePassword, code + std::string(net::PasswordProblemText(problem)));
        return;
    }
    passwordPending_ = true;
    host_.ChangePassword(shared_from_this(), userId_, std::string(newPassword));
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

void Session::SendGbk(int command, std::string_view gbk) {
    if (!open_)
        return;
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
        host_.Submit(shared_from_this(), userId_, command, std::move(*query));
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
        host_.GetMetrics().quotePushesSkipped.fetch_add(1, std::memory_order_relaxed);
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
    host_.GetMetrics().quotePushes.fetch_add(1, std::memory_order_relaxed);
    Queue(net::FormatFrame(net::kCmdQuoteUpdate, body), true);
}

std::size_t Session::Outgoing::Cost() const {
    // The frame's buffer, its place in the queue and the allocator's bookkeeping: a heartbeat
    // answer of a dozen bytes costs several times that.
    constexpr std::size_t kAllocatorOverhead = 16;
    const bool onHeap = data.capacity() > std::string().capacity();
    return sizeof(Outgoing) + (onHeap ? data.capacity() + kAllocatorOverhead : 0);
}

void Session::Unqueue(const Outgoing& frame) {
    const std::size_t cost = frame.Cost();
    outboxBytes_ -= cost;
    host_.OutputReleased(cost);
    if (frame.push)
        --queuedPushes_;
}

void Session::Queue(std::string frame, bool push) {
    Outgoing out{std::move(frame), push};
    const std::size_t cost = out.Cost();
    if (outboxBytes_ + cost > (userId_ == 0 ? kMaxOutboxBytesBeforeLogin : kMaxOutboxBytes)) {
        host_.GetMetrics().slowReadersDropped.fetch_add(1, std::memory_order_relaxed);
        Close();
        return;
    }
    outboxBytes_ += cost;
    if (push)
        ++queuedPushes_;
    outbox_.push_back(std::move(out));
    // Past the server's budget the slowest readers go, perhaps this one.
    host_.OutputQueued(cost);
    if (open_ && !writing_)
        Write();
}

void Session::Write() {
    writingCount_ = 0;
    if (outbox_.empty() || !open_) {
        writing_ = false;
        return;
    }
    writing_ = true;
    // Gather what is queued into one write; frames stay whole and in order.
    std::vector<asio::const_buffer> buffers;
    const std::size_t count = std::min<std::size_t>(outbox_.size(), 64);
    buffers.reserve(count);
    writingCount_ = count;
    for (std::size_t i = 0; i < count; ++i)
        buffers.emplace_back(asio::buffer(outbox_[i].data));
    asio::async_write(socket_, buffers,
                      [self = shared_from_this(), count](const asio::error_code& ec, std::size_t written) {
                          for (std::size_t i = 0; i < count && !self->outbox_.empty(); ++i) {
                              self->Unqueue(self->outbox_.front());
                              self->outbox_.pop_front();
                          }
                          if (ec || !self->open_) {
                              self->Close();
                              self->writingCount_ = 0;
                              self->writing_ = false;
                              return;
                          }
                          self->NoteTaken(written);
                          self->Write();
                      });
}

} // namespace server
