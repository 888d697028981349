#include "net/LinkStateMachine.h"

#include "wire/GbkText.h"

#include <algorithm>

namespace net {

namespace {

std::uint32_t Millis(std::chrono::milliseconds d) {
    return static_cast<std::uint32_t>(d.count());
}

} // namespace

void LinkStateMachine::SetServerCount(std::size_t count) {
    serverCount_ = std::max<std::size_t>(count, 1);
}

void LinkStateMachine::NextServer() {
    server_ = (server_ + 1) % serverCount_;
}

LinkStateMachine::Greeting LinkStateMachine::Connected(std::uint32_t tick) {
    connectedTick_ = tick;
    if (firstConnection_) {
        firstConnection_ = false;
        lastFrame_ = tick;
        phase_.store(LinkPhase::kConnected);
        return Greeting::kNothing;
    }
    if (loginAccepted_)
        return Greeting::kRelogin; // the phase stays broken until the server accepts it
    if (phaseBeforeBreak_ != LinkPhase::kRefused)
        phase_.store(LinkPhase::kConnected);
    return Greeting::kUserLogin;
}

void LinkStateMachine::ReloginSent(bool sent) {
    reloginPending_ = sent;
    if (!sent)
        NextServer();
}

LinkStateMachine::Silence LinkStateMachine::Idle(std::uint32_t tick) const {
    // Unsigned difference: right across the wrap of the tick count.
    const std::uint32_t idle = tick - lastFrame_;
    if (idle > Millis(timings_.reconnectAfter))
        return Silence::kReconnect;
    if (idle > Millis(timings_.heartbeatAfter))
        return Silence::kHeartbeat;
    return Silence::kWait;
}

bool LinkStateMachine::Broke(std::uint32_t tick, std::time_t now) {
    phaseBeforeBreak_ = phase_.load();
    if (phaseBeforeBreak_ == LinkPhase::kLive) {
        brokenSince_.store(now);
        phase_.store(LinkPhase::kBroken);
    }
    reloginPending_ = false;
    // Their answers went with the connection: whether they were carried out is unknown.
    if (unanswered_.exchange(0) > 0)
        resultUnknown_ = true;
    NextServer();
    return tick - connectedTick_ < Millis(timings_.retryDelay);
}

LinkStateMachine::LoginResult LinkStateMachine::LoginAnswered(bool accepted) {
    if (reloginPending_) {
        reloginPending_ = false;
        if (!accepted) {
            loginAccepted_ = false;
            phase_.store(LinkPhase::kRefused);
            return {LoginResult::kReloginRefused};
        }
        // The server tells the state of the market right after this answer.
        SetMarketPhase({});
        phase_.store(LinkPhase::kLive);
        const bool unknown = resultUnknown_;
        resultUnknown_ = false;
        return {LoginResult::kReloginAccepted, unknown};
    }
    if (!accepted)
        return {LoginResult::kUserRefused};
    SetMarketPhase({});
    loginAccepted_ = true;
    phase_.store(LinkPhase::kLive);
    return {LoginResult::kUserAccepted};
}

void LinkStateMachine::AnswerCame() {
    int n = unanswered_.load();
    while (n > 0 && !unanswered_.compare_exchange_weak(n, n - 1)) {
    }
}

LinkStatus LinkStateMachine::Status() const {
    std::lock_guard lock(marketPhaseMutex_);
    return {phase_.load(), brokenSince_.load(), lastQuote_.load(), marketPhase_};
}

void LinkStateMachine::SetMarketPhase(std::string_view text) {
    // A few words for a status pane: a longer body is cut, never in the middle of a character.
    text = text.substr(0, GbkPrefixLength(text, kMarketPhaseLimit));
    std::lock_guard lock(marketPhaseMutex_);
    marketPhase_ = text;
}

} // namespace net
