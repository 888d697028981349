#pragma once

#include "net/LinkStatus.h"
#include "net/LinkTimings.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

namespace net {

// The link's connection as decisions without I/O: which server to try next, when silence
// calls for a heartbeat or a new connection, what a new connection sends (nothing, the user's
// unanswered login, or the re-login of an accepted session), what a login answer means, and
// the status the link reports. The network thread tells it what happened, with the tick
// (32-bit milliseconds, compared across the wrap) and the calendar time, and does what it
// answers; every transition can be driven without a socket or a thread.
//
// Network thread only, except the methods marked "any thread".
class LinkStateMachine final {
public:
    explicit LinkStateMachine(LinkTimings timings)
        : timings_(timings) {}

    // Before the first connect: how many servers are tried in turn, the first address and the
    // further ones (at least 1).
    void SetServerCount(std::size_t count);

    // --- connecting ---------------------------------------------------------------------

    // The server to try next: 0 for the first address, i for the i-th further one.
    std::size_t Server() const { return server_; }
    // A connect failed: the next attempt goes to the next server, round again after the last.
    void ConnectFailed() { NextServer(); }

    // What a new connection sends first.
    enum class Greeting {
        kNothing,   // the run's first connection: the login dialog speaks first
        kUserLogin, // no session to restore: the user's unanswered login, if there is one
        kRelogin,   // a login was accepted on this link: log in again
    };
    // A connection was made at `tick`.
    Greeting Connected(std::uint32_t tick);
    // After kRelogin: whether the re-login was written. A connection that cannot take it is no
    // connection: the caller closes it and connects anew, to the next server.
    void ReloginSent(bool sent);

    // --- while connected ----------------------------------------------------------------

    void FrameArrived(std::uint32_t tick) { lastFrame_ = tick; }
    enum class Silence { kWait, kHeartbeat, kReconnect };
    // A receive wait ended empty at `tick`: what the silence since the last frame calls for.
    Silence Idle(std::uint32_t tick) const;

    // The connection broke (a failed read, or closed after kReconnect) at `tick`, calendar time
    // `now`. The next connect goes to the next server: the one that broke may be gone for good,
    // its standby listening on the next address. True when the connection broke so soon after
    // it was made that the caller pauses before connecting again (a proxy in front of a dead
    // server accepts and drops at once).
    bool Broke(std::uint32_t tick, std::time_t now);

    // --- login --------------------------------------------------------------------------

    // Whether the answer awaited is the re-login's (else it is the user's).
    bool ReloginPending() const { return reloginPending_; }
    struct LoginResult {
        enum Kind { kUserAccepted, kUserRefused, kReloginAccepted, kReloginRefused } kind;
        // kReloginAccepted only: an order or cancel went unanswered across the break.
        bool resultUnknown = false;
    };
    // A login answer arrived. A refused re-login ends the re-logins until the user's next
    // accepted login.
    LoginResult LoginAnswered(bool accepted);

    // --- orders in flight (any thread) --------------------------------------------------

    // An order or cancel is about to be written; counted before it goes, as a local server's
    // answer may be read before the write returns.
    void OrderSent() { ++unanswered_; }
    // Its answer came, or it was never written.
    void AnswerCame();

    // --- status -------------------------------------------------------------------------

    static constexpr std::size_t kMarketPhaseLimit = 24; // bytes of GBK kept of the market's state
    // Any thread, never waits for the network thread.
    LinkStatus Status() const;
    void QuoteArrived(std::time_t now) { lastQuote_.store(now); }
    // The market's state as the server tells it, cut to kMarketPhaseLimit at a character boundary.
    void SetMarketPhase(std::string_view text);

private:
    void NextServer();

    LinkTimings timings_;
    std::size_t serverCount_ = 1;
    std::size_t server_ = 0;
    bool firstConnection_ = true;
    std::uint32_t connectedTick_ = 0; // when the current connection was made
    // Deliberately kept across reconnects: a server that stays silent is dropped again at the
    // next empty wait.
    std::uint32_t lastFrame_ = 0;
    // Set once the server has accepted a login on this link. Before that there is no session to
    // restore after a reconnect: logging in again with whatever was last typed would only bring
    // the login dialog a rejection it did not ask for.
    bool loginAccepted_ = false;
    bool reloginPending_ = false;
    LinkPhase phaseBeforeBreak_ = LinkPhase::kConnecting;
    // Orders and cancels written whose answers have not come; when the link breaks with one
    // outstanding, the accepted re-login says so.
    std::atomic<int> unanswered_{0};
    bool resultUnknown_ = false;

    std::atomic<LinkPhase> phase_{LinkPhase::kConnecting};
    std::atomic<std::time_t> brokenSince_{0};
    std::atomic<std::time_t> lastQuote_{0};
    mutable std::mutex marketPhaseMutex_;
    std::string marketPhase_;
};

} // namespace net
