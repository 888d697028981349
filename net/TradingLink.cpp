#include "net/TradingLink.h"

#include "net/MarketParsers.h"
#include "wire/Frame.h"
#include "wire/GbkText.h"
#include "wire/SplitText.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace net {

namespace {

// Milliseconds since an arbitrary start, wrapping like a 32-bit tick count; differences
// of two ticks are taken unsigned, so they stay right across the wrap.
std::uint32_t Tick() {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

std::uint32_t Millis(std::chrono::milliseconds d) {
    return static_cast<std::uint32_t>(d.count());
}

} // namespace

TradingLink::TradingLink(SharedState& state, LinkNotifier& notifier, LinkTimings timings,
                         std::function<std::time_t()> clock)
    : state_(state)
    , notifier_(notifier)
    , timings_(timings)
    , clock_(clock ? std::move(clock) : [] { return std::time(nullptr); })
    , socket_(timings) {}

TradingLink::~TradingLink() {
    Stop();
}

void TradingLink::Start() {
    if (started_.exchange(true) || Stopping())
        return;
    networkThread_ = std::thread(&TradingLink::NetworkThread, this);
}

void TradingLink::Stop() {
    {
        std::lock_guard lock(stopMutex_);
        stop_.store(true);
    }
    stopSignal_.notify_all();
    socket_.Interrupt();
    if (networkThread_.joinable())
        networkThread_.join();
    std::list<Worker> workers;
    {
        std::lock_guard lock(workersMutex_);
        workers.swap(workers_);
    }
    for (Worker& w : workers)
        w.thread.join();
    socket_.Close();
}

bool TradingLink::SendRequest(int command, std::string_view body) {
    // Counted before the frame goes: a local server's answer may be taken in on the network
    // thread before Send returns here, and an answer that found nothing to count off would
    // leave the request "unanswered", told as unknown at the next break.
    const bool awaitsAnswer = IsOrderOrCancel(command);
    if (awaitsAnswer)
        ++unanswered_;
    bool sent = false;
    if (socket_.Connected()) {
        const auto [user, password] = state_.credentials.Get();
        sent = socket_.Send(FormatFrame(command, WithCredentials(body, user, password)));
    }
    if (awaitsAnswer && !sent)
        AnswerCame();
    if (requestObserver_)
        requestObserver_(command, sent);
    return sent;
}

bool TradingLink::Pause(std::chrono::milliseconds d) {
    std::unique_lock lock(stopMutex_);
    return !stopSignal_.wait_for(lock, d, [this] { return stop_.load(); });
}

void TradingLink::NotifyTable(int message) {
    if (notifier_.HasMainFrame())
        notifier_.NotifyTable(message);
}

void TradingLink::Spawn(void (TradingLink::*work)()) {
    std::lock_guard lock(workersMutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([this, work, done] {
                            (this->*work)();
                            done->store(true);
                        }),
                        done});
}

void TradingLink::ConnectLoop() {
    while (!Stopping()) {
        if (serverIndex_ == 0 ? socket_.Connect(state_.serverAddress, state_.port)
                              : socket_.Connect(state_.moreServers[serverIndex_ - 1].host,
                                                state_.moreServers[serverIndex_ - 1].port)) {
            connectedTick_ = Tick();
            // Requests sent on an earlier connection will never be answered.
            state_.market.ForgetPending();
            return;
        }
        NextServer();
        Pause(timings_.retryDelay);
    }
}

void TradingLink::NextServer() {
    serverIndex_ = (serverIndex_ + 1) % (state_.moreServers.size() + 1);
}

bool TradingLink::SendLogin(std::string_view body) {
    // Held across the send, so a reconnect cannot resend a login that is not yet on the wire.
    std::lock_guard lock(loginMutex_);
    const bool sent = SendRequest(kCmdLogin, body);
    if (sent) {
        pendingLogin_ = std::string(body);
        pendingResent_ = false;
    }
    return sent;
}

void TradingLink::ForgetPendingLogin() {
    std::lock_guard lock(loginMutex_);
    pendingLogin_.reset();
}

LinkStatus TradingLink::Status() const {
    std::lock_guard lock(marketPhaseMutex_);
    return {phase_.load(), brokenSince_.load(), lastQuote_.load(), marketPhase_};
}

void TradingLink::SetMarketPhase(std::string_view text) {
    // A few words for a status pane: a longer body is cut, never in the middle of a character.
    text = text.substr(0, GbkPrefixLength(text, kMarketPhaseLimit));
    std::lock_guard lock(marketPhaseMutex_);
    marketPhase_ = text;
}

bool TradingLink::LogInAgain() {
    const auto [user, password] = state_.credentials.Get();
    reloginPending_ = SendRequest(kCmdLogin, "user_name=" + user + "&pwd=" + password);
    return reloginPending_;
}

void TradingLink::ResendPendingLogin() {
    std::lock_guard lock(loginMutex_);
    if (!pendingLogin_ || pendingResent_)
        return;
    pendingResent_ = true;
    SendRequest(kCmdLogin, *pendingLogin_);
}

void TradingLink::Resubscribe() {
    const std::string codes = state_.quoteCodes.Get();
    if (!codes.empty())
        SendRequest(kCmdQuoteSubscribe, "code=" + codes);
}

void TradingLink::Reconnect() {
    const LinkPhase before = phase_.load();
    if (before == LinkPhase::kLive) {
        brokenSince_.store(clock_());
        phase_.store(LinkPhase::kBroken);
    }
    reloginPending_ = false;
    state_.standing.ForgetAsked(); // their answers will not come
    // Their answers went with the connection: whether they were carried out is unknown.
    if (unanswered_.exchange(0) > 0)
        resultUnknown_ = true;
    // The server that broke may be gone for good; its standby listens on the next address.
    NextServer();
    // A connection that broke as soon as it was made (a proxy or balancer in front of a dead
    // server accepts and drops at once) is retried at the connect pace, not in a tight loop.
    if (Tick() - connectedTick_ < Millis(timings_.retryDelay))
        Pause(timings_.retryDelay);
    while (!Stopping()) {
        ConnectLoop();
        if (Stopping())
            return;
        if (!loginAccepted_.load()) {
            if (before != LinkPhase::kRefused)
                phase_.store(LinkPhase::kConnected);
            ResendPendingLogin();
            return;
        }
        // The phase stays broken until the server accepts this login.
        if (LogInAgain()) {
            Resubscribe();
            return;
        }
        // A connection that cannot take a login is no connection: connect anew.
        socket_.Close();
        NextServer();
        Pause(timings_.retryDelay);
    }
}

void TradingLink::OnLoginAnswer(std::string_view body) {
    const std::vector<std::string_view> fields = SplitText(body, ",,,");
    const bool accepted = fields.front() == "0";
    if (reloginPending_) {
        reloginPending_ = false;
        if (accepted) {
            // The server tells the state of the market right after this answer.
            SetMarketPhase({});
            phase_.store(LinkPhase::kLive);
            // Orders may have filled while the link was down.
            StartRefreshAll();
            if (resultUnknown_ && notifier_.HasMainFrame())
                notifier_.PostReply(kMsgOrderResultUnknown, {});
            resultUnknown_ = false;
        } else {
            loginAccepted_.store(false);
            phase_.store(LinkPhase::kRefused);
            if (notifier_.HasMainFrame())
                notifier_.PostReply(kMsgReloginFailed, std::string(fields.size() > 1 ? fields[1] : ""));
        }
        return;
    }
    {
        std::lock_guard lock(loginMutex_);
        pendingLogin_.reset();
    }
    if (accepted) {
        SetMarketPhase({});
        loginAccepted_.store(true);
        phase_.store(LinkPhase::kLive);
        // Waits: the dialog stores the account before anything else is read for it.
        notifier_.DeliverReply(kMsgLoginReply, body);
    } else {
        notifier_.PostReply(kMsgLoginReply, std::string(body));
    }
}

void TradingLink::NetworkThread() {
    ConnectLoop();
    if (!Stopping())
        phase_.store(LinkPhase::kConnected);
    std::uint32_t lastFrameTick = Tick();
    // One byte more than the longest frame keeps the body zero-terminated.
    std::vector<char> buffer(CClientSocket::kBufferSize, '\0');
    std::size_t dirty = 0;
    while (!Stopping()) {
        std::memset(buffer.data(), 0, dirty);
        dirty = kMaxFrameLength;
        const int result = socket_.ReceiveFrame(buffer.data());
        if (Stopping())
            break;
        if (result < 0) {
            // Deliberately keeps lastFrameTick: a server that stays silent is dropped again
            // at the next empty wait.
            Reconnect();
            continue;
        }
        if (result == 0) {
            const std::uint32_t idle = Tick() - lastFrameTick;
            if (idle > Millis(timings_.reconnectAfter)) {
                socket_.Close();
                Reconnect();
            } else if (idle > Millis(timings_.heartbeatAfter)) {
                const auto [user, password] = state_.credentials.Get();
                SendRequest(kCmdHeartbeat, "user_name=" + user + "&pwd=" + password);
            }
            continue;
        }
        dirty = static_cast<std::size_t>(result);
        if (result < static_cast<int>(kHeaderSize))
            continue;
        lastFrameTick = Tick();
        const int command = ParseCommand(std::string_view(buffer.data() + kLengthPrefixSize, 3));
        // The body ends at the frame's end or at a zero byte inside it.
        const char* body = buffer.data() + kHeaderSize;
        const std::size_t bodyLength = strnlen(body, static_cast<std::size_t>(result) - kHeaderSize);
        Dispatch(command, std::string_view(body, bodyLength));
    }
}

void TradingLink::AnswerCame() {
    int n = unanswered_.load();
    while (n > 0 && !unanswered_.compare_exchange_weak(n, n - 1)) {
    }
}

void TradingLink::Dispatch(int command, std::string_view body) {
    switch (command) {
    case kCmdLogin:
        OnLoginAnswer(body);
        break;
    case kCmdOrder:
        AnswerCame();
        if (notifier_.HasMainFrame())
            notifier_.PostReply(kMsgOrderReply, std::string(body));
        break;
    case kCmdCancelOne:
    case kCmdCancelAllSells:
    case kCmdCancelAllBuys:
    case kCmdCancelAll:
        AnswerCame();
        if (notifier_.HasMainFrame())
            notifier_.PostReply(kMsgCancelReply, std::string(body));
        break;
    case kCmdTodayOrders:
        ParseTodayOrders(body);
        break;
    case kCmdTodayTrades:
        ParseTodayTrades(body);
        break;
    case kCmdPositions:
        ParsePositions(body);
        break;
    case kCmdFundsFlow:
        ParseFundsFlow(body);
        break;
    case kCmdFunds:
        ParseFunds(body);
        break;
    case kCmdHistoryOrders:
        ParseHistoryOrders(body);
        break;
    case kCmdHistoryTrades:
        ParseHistoryTrades(body);
        break;
    case kCmdSettlement:
        ParseSettlement(body);
        break;
    case kCmdStanding:
        state_.standing.StoreStanding(ParseStandingAnswer(body));
        NotifyTable(kMsgStandingStored);
        break;
    case kCmdCurve:
        state_.standing.StoreCurve(ParseCurveAnswer(body));
        NotifyTable(kMsgStandingStored);
        break;
    case kCmdQuoteUpdate:
        lastQuote_.store(clock_());
        ParseQuotes(body);
        break;
    case kCmdMarketPhase:
        SetMarketPhase(body);
        break;
    case kCmdQuoteBoard:
        OnBoardAnswer(body);
        break;
    case kCmdBars:
        state_.market.BarsAnswered(ParseBars(body));
        break;
    case kCmdChangePassword:
        if (notifier_.HasMainFrame())
            notifier_.PostReply(kMsgPasswordReply, std::string(body));
        break;
    default:
        // Commands without a handler (subscriptions, heartbeats, unknown codes).
        break;
    }
}

} // namespace net
