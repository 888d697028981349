#include "net/TradingLink.h"

#include "net/MarketParsers.h"
#include "wire/Frame.h"
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

} // namespace

TradingLink::TradingLink(SharedState& state, LinkNotifier& notifier, LinkTimings timings,
                         std::function<std::time_t()> clock)
    : state_(state)
    , notifier_(notifier)
    , timings_(timings)
    , clock_(clock ? std::move(clock) : [] { return std::time(nullptr); })
    , socket_(timings)
    , machine_(timings)
    , queries_(state, notifier, *this, clock_) {}

TradingLink::~TradingLink() {
    Stop();
}

void TradingLink::Start() {
    if (started_.exchange(true) || Stopping())
        return;
    machine_.SetServerCount(state_.moreServers.size() + 1);
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
    queries_.JoinWorkers();
    socket_.Close();
}

bool TradingLink::SendRequest(int command, std::string_view body) {
    // Counted before the frame goes: a local server's answer may be taken in on the network
    // thread before Send returns here, and an answer that found nothing to count off would
    // leave the request "unanswered", told as unknown at the next break.
    const bool awaitsAnswer = IsOrderOrCancel(command);
    if (awaitsAnswer)
        machine_.OrderSent();
    bool sent = false;
    if (socket_.Connected()) {
        const auto [user, password] = state_.credentials.Get();
        sent = socket_.Send(FormatFrame(command, WithCredentials(body, user, password)));
    }
    if (awaitsAnswer && !sent)
        machine_.AnswerCame();
    if (requestObserver_)
        requestObserver_(command, sent);
    return sent;
}

bool TradingLink::Pause(std::chrono::milliseconds d) {
    std::unique_lock lock(stopMutex_);
    return !stopSignal_.wait_for(lock, d, [this] { return stop_.load(); });
}

bool TradingLink::ConnectLoop() {
    while (!Stopping()) {
        const std::size_t server = machine_.Server();
        if (server == 0 ? socket_.Connect(state_.serverAddress, state_.port)
                        : socket_.Connect(state_.moreServers[server - 1].host, state_.moreServers[server - 1].port)) {
            // Requests sent on an earlier connection will never be answered.
            state_.market.ForgetPending();
            return true;
        }
        machine_.ConnectFailed();
        Pause(timings_.retryDelay);
    }
    return false;
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
    return machine_.Status();
}

bool TradingLink::LogInAgain() {
    const auto [user, password] = state_.credentials.Get();
    const bool sent = SendRequest(kCmdLogin, "user_name=" + user + "&pwd=" + password);
    machine_.ReloginSent(sent);
    return sent;
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
    const bool brokeAtOnce = machine_.Broke(Tick(), clock_());
    queries_.ConnectionLost();
    // A connection that broke as soon as it was made is retried at the connect pace, not in a
    // tight loop.
    if (brokeAtOnce)
        Pause(timings_.retryDelay);
    while (ConnectLoop()) {
        if (machine_.Connected(Tick()) == LinkStateMachine::Greeting::kUserLogin) {
            ResendPendingLogin();
            return;
        }
        if (LogInAgain()) {
            Resubscribe();
            return;
        }
        socket_.Close();
        Pause(timings_.retryDelay);
    }
}

void TradingLink::OnLoginAnswer(std::string_view body) {
    const std::vector<std::string_view> fields = SplitText(body, ",,,");
    if (!machine_.ReloginPending())
        ForgetPendingLogin();
    const LinkStateMachine::LoginResult result = machine_.LoginAnswered(fields.front() == "0");
    switch (result.kind) {
    case LinkStateMachine::LoginResult::kReloginAccepted:
        // Orders may have filled while the link was down.
        queries_.StartRefreshAll();
        if (result.resultUnknown && notifier_.HasMainFrame())
            notifier_.PostReply(kMsgOrderResultUnknown, {});
        break;
    case LinkStateMachine::LoginResult::kReloginRefused:
        if (notifier_.HasMainFrame())
            notifier_.PostReply(kMsgReloginFailed, std::string(fields.size() > 1 ? fields[1] : ""));
        break;
    case LinkStateMachine::LoginResult::kUserAccepted:
        // Waits: the dialog stores the account before anything else is read for it.
        notifier_.DeliverReply(kMsgLoginReply, body);
        break;
    case LinkStateMachine::LoginResult::kUserRefused:
        notifier_.PostReply(kMsgLoginReply, std::string(body));
        break;
    }
}

void TradingLink::NetworkThread() {
    if (!ConnectLoop())
        return;
    machine_.Connected(Tick());
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
            Reconnect();
            continue;
        }
        if (result == 0) {
            switch (machine_.Idle(Tick())) {
            case LinkStateMachine::Silence::kReconnect:
                socket_.Close();
                Reconnect();
                break;
            case LinkStateMachine::Silence::kHeartbeat: {
                const auto [user, password] = state_.credentials.Get();
                SendRequest(kCmdHeartbeat, "user_name=" + user + "&pwd=" + password);
                break;
            }
            case LinkStateMachine::Silence::kWait:
                break;
            }
            continue;
        }
        dirty = static_cast<std::size_t>(result);
        if (result < static_cast<int>(kHeaderSize))
            continue;
        machine_.FrameArrived(Tick());
        const int command = ParseCommand(std::string_view(buffer.data() + kLengthPrefixSize, 3));
        // The body ends at the frame's end or at a zero byte inside it.
        const char* body = buffer.data() + kHeaderSize;
        const std::size_t bodyLength = strnlen(body, static_cast<std::size_t>(result) - kHeaderSize);
        Dispatch(command, std::string_view(body, bodyLength));
    }
}

void TradingLink::Dispatch(int command, std::string_view body) {
    switch (command) {
    case kCmdLogin:
        OnLoginAnswer(body);
        break;
    case kCmdOrder:
        machine_.AnswerCame();
        if (notifier_.HasMainFrame())
            notifier_.PostReply(kMsgOrderReply, std::string(body));
        break;
    case kCmdCancelOne:
    case kCmdCancelAllSells:
    case kCmdCancelAllBuys:
    case kCmdCancelAll:
        machine_.AnswerCame();
        if (notifier_.HasMainFrame())
            notifier_.PostReply(kMsgCancelReply, std::string(body));
        break;
    case kCmdTodayOrders:
        queries_.StoreTodayOrders(body);
        break;
    case kCmdTodayTrades:
        queries_.StoreTodayTrades(body);
        break;
    case kCmdPositions:
        queries_.StorePositions(body);
        break;
    case kCmdFundsFlow:
        queries_.StoreFundsFlow(body);
        break;
    case kCmdFunds:
        queries_.StoreFunds(body);
        break;
    case kCmdHistoryOrders:
        queries_.StoreHistoryOrders(body);
        break;
    case kCmdHistoryTrades:
        queries_.StoreHistoryTrades(body);
        break;
    case kCmdSettlement:
        queries_.StoreSettlement(body);
        break;
    case kCmdStanding:
        queries_.StoreStanding(body);
        break;
    case kCmdCurve:
        queries_.StoreCurve(body);
        break;
    case kCmdQuoteUpdate:
        machine_.QuoteArrived(clock_());
        StoreQuotes(body);
        break;
    case kCmdMarketPhase:
        machine_.SetMarketPhase(body);
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
