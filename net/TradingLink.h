#pragma once

#include "net/AccountQueries.h"
#include "net/ClientSocket.h"
#include "net/LinkNotifier.h"
#include "net/LinkStateMachine.h"
#include "net/LinkStatus.h"
#include "net/LinkTimings.h"
#include "net/RequestSender.h"
#include "net/SharedState.h"
#include "wire/MarketRecords.h"
#include "wire/Standing.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace net {

// The client's side of the trading protocol, as the windows see it: the socket and its network
// thread, which does what the connection's state machine (LinkStateMachine) decides and hands
// every frame to its handler; the account queries and their answers (AccountQueries); the
// market's requests and the quote subscription. The client makes one for the whole run.
class TradingLink final : public RequestSender {
public:
    // `clock` gives the calendar time: the dates in query bodies, the times in the status
    // (tests fix it).
    TradingLink(SharedState& state, LinkNotifier& notifier, LinkTimings timings = {},
                std::function<std::time_t()> clock = nullptr);
    // Stops the network thread and waits for the worker threads (tests make and destroy
    // links; the client's link lives until the process ends).
    ~TradingLink();
    TradingLink(const TradingLink&) = delete;
    TradingLink& operator=(const TradingLink&) = delete;

    // --- connection -------------------------------------------------------------------

    // Starts the network thread once (later calls do nothing). It connects to
    // state.serverAddress:state.port (then state.moreServers in turn, one further after every
    // failed connect or broken connection), retrying every second without limit, then receives
    // and dispatches frames, sends heartbeats after 3 s of silence and reconnects after 6 s
    // of silence or a broken connection; once the server has accepted a login on this link,
    // every reconnect also logs in again (a failed write goes back to connecting) and
    // re-subscribes. An accepted re-login refreshes the account tables; a rejected one is
    // reported once and ends the re-logins until the user's next accepted login.
    void Start();

    // Ends the network thread and waits for the worker threads; later sends fail. Must not be
    // called from the thread that handles the notifications while the link may still be
    // delivering one (that delivery waits for this very thread).
    void Stop();

    // Any thread. Appends the credentials, frames the body and writes it whole. False when
    // the connection was never established or the write failed; nothing is queued.
    bool SendRequest(int command, std::string_view body) override;

    // Called after every request with its command and whether it was written; lets tests
    // see attempts that failed. Set it before Start() and before any worker runs.
    void SetRequestObserver(std::function<void(int command, bool sent)> observer) {
        requestObserver_ = std::move(observer);
    }

    // Any thread. The user's login (command 1 with `body`). While its answer is outstanding,
    // a reconnect sends it once more on the new connection; an answer ends that.
    bool SendLogin(std::string_view body);
    // Any thread. The user gave up waiting for the answer: no resend after a reconnect.
    void ForgetPendingLogin();

    // Any thread, never waits for the network thread.
    LinkStatus Status() const;
    static constexpr std::size_t kMarketPhaseLimit = LinkStateMachine::kMarketPhaseLimit;
    const LinkTimings& Timings() const { return timings_; }

    CClientSocket& Socket() { return socket_; }
    SharedState& State() { return state_; }

    // Network thread: hands a received frame to its handler by command. Tests and fuzzers
    // hand frames here without a socket.
    void Dispatch(int command, std::string_view body);

    // --- the account's queries (any thread; see AccountQueries) -------------------------

    bool QueryPositions() { return queries_.QueryPositions(); }
    bool QueryFunds() { return queries_.QueryFunds(); }
    bool QueryTodayTrades() { return queries_.QueryTodayTrades(); }
    bool QueryRecentSettlement() { return queries_.QueryRecentSettlement(); }
    bool QueryRecentFundsFlow() { return queries_.QueryRecentFundsFlow(); }
    bool QueryTodayOrders() { return queries_.QueryTodayOrders(); }
    bool QueryStanding(StandingPeriod period, int count) { return queries_.QueryStanding(period, count); }
    bool QueryCurve() { return queries_.QueryCurve(); }
    void StartInitialLoad() { queries_.StartInitialLoad(); }
    void StartRefreshAll() { queries_.StartRefreshAll(); }

    // --- the market (any thread) ---------------------------------------------------------

    // Securities asked for per board request: a page of them fits one frame.
    static constexpr int kBoardPage = 400;
    // Starts a pass over the whole board (command 20 from position 0, each full page followed
    // by the next) unless a board request is still waiting. True when a request was sent.
    bool QueryBoard();
    // Refreshes one security's board row (its position once the board is known, else the
    // whole board) unless a board request is still waiting. True when a request was sent.
    bool QueryBoardRow(std::string_view code);
    // Command 22: the newest `count` bars of `code` (minutes of the day or days), unless the
    // same request is still waiting. True when a request was sent.
    bool QueryBars(std::string_view code, BarPeriod period, int count);

    // --- quote subscription ------------------------------------------------------------

    // Adds the comma-separated codes to QuoteCodes and sends the whole list (command 17),
    // also when nothing was added.
    void UpdateQuoteSubscription(std::string_view codes);

    // Adds the comma-separated codes to QuoteCodes and sends the list only when one of them
    // was new. Returns true when a request was sent.
    bool AddQuoteSubscription(std::string_view codes) override;

    // The order forms' subscription: when `list` differs from QuoteCodes it replaces it and
    // is sent. Returns true when a request was sent.
    bool ReplaceQuoteSubscription(const std::string& list);

private:
    void NetworkThread();
    // Connects to the state machine's server, moving on after every failure; false when stopping.
    bool ConnectLoop();
    bool LogInAgain();
    void ResendPendingLogin();
    void Resubscribe();
    void Reconnect();
    void OnLoginAnswer(std::string_view body);
    void OnBoardAnswer(std::string_view body);
    bool SendBoardPage(int start, int count, bool wholeBoard);
    void StoreQuotes(std::string_view body);
    bool Stopping() const { return stop_.load(); }
    // Sleeps for `d` unless the link is being stopped; false when stopping.
    bool Pause(std::chrono::milliseconds d);

    SharedState& state_;
    LinkNotifier& notifier_;
    LinkTimings timings_;
    std::function<std::time_t()> clock_;
    std::function<void(int, bool)> requestObserver_;
    CClientSocket socket_;
    // Set before the network thread starts; its own afterwards, except the status and the
    // count of orders in flight, which any thread may touch.
    LinkStateMachine machine_;
    AccountQueries queries_;

    std::thread networkThread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> stop_{false};
    // The user's login whose answer is outstanding, and whether a reconnect resent it.
    std::mutex loginMutex_;
    std::optional<std::string> pendingLogin_;
    bool pendingResent_ = false;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
};

} // namespace net
