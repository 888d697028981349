#pragma once

#include "net/ClientSocket.h"
#include "net/LinkNotifier.h"
#include "net/LinkStatus.h"
#include "net/LinkTimings.h"
#include "net/SharedState.h"
#include "wire/MarketRecords.h"
#include "wire/Standing.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace net {

// The client's side of the trading protocol: the connection and its network thread, the
// requests, the parsers that fill the shared tables, the queries and their workers, and
// the quote subscription. The client makes one for the whole run.
class TradingLink final {
public:
    // `clock` gives the calendar time used for the dates in query bodies (tests fix it).
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
    bool SendRequest(int command, std::string_view body);

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
    static constexpr std::size_t kMarketPhaseLimit = 24; // bytes of GBK kept of the market's state
    const LinkTimings& Timings() const { return timings_; }

    CClientSocket& Socket() { return socket_; }
    SharedState& State() { return state_; }

    // --- reply handling (network thread; public so tests can drive them directly) -------

    // Hands a received frame to its handler by command.
    void Dispatch(int command, std::string_view body);

    void ParsePositions(std::string_view body);
    void ParseFunds(std::string_view body);
    void ParseTodayTrades(std::string_view body);
    void ParseTodayOrders(std::string_view body);
    void ParseHistoryOrders(std::string_view body);
    void ParseHistoryTrades(std::string_view body);
    void ParseFundsFlow(std::string_view body);
    void ParseSettlement(std::string_view body);
    void ParseQuotes(std::string_view body);

    // --- queries (any thread) ----------------------------------------------------------

    bool QueryPositions();        // 9, empty body; the send's result
    bool QueryFunds();            // 11, empty body; the send's result
    bool QueryTodayTrades();      // 8, start=today; always true
    bool QueryRecentSettlement(); // 14, start=seven days ago; always true
    bool QueryRecentFundsFlow();  // 10, start=yesterday; always true
    bool QueryTodayOrders();      // 7, start=today, then the 1129 notification; always true
    // Where the user stands: command 23 for `period` with the top `count`, command 24 with the
    // whole curve. Each answer is parsed into state.standing, then kMsgStandingStored is
    // notified. The send's result.
    bool QueryStanding(StandingPeriod period, int count);
    bool QueryCurve();

    // Creates the history tables, sends 9 and 11 (each tried twice on failure), clears
    // initialLoadPending, then sends 8, 14 and 7 — on a thread of its own.
    void StartInitialLoad();
    // Sends 11, 9, 8, 14, 10 and 7 once each on a thread of its own.
    void StartRefreshAll();
    // The bodies of the two workers, run on the calling thread (tests call them directly).
    void InitialLoadWorker();
    void RefreshAllWorker();

    // "%d-%d-%d" of the local date `secondsBack` seconds before now.
    std::string DateText(long secondsBack = 0) const;

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
    bool AddQuoteSubscription(std::string_view codes);

    // The order forms' subscription: when `list` differs from QuoteCodes it replaces it and
    // is sent. Returns true when a request was sent.
    bool ReplaceQuoteSubscription(const std::string& list);

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void NetworkThread();
    void ConnectLoop();
    bool LogInAgain();
    void ResendPendingLogin();
    void Resubscribe();
    void Reconnect();
    void OnLoginAnswer(std::string_view body);
    void OnBoardAnswer(std::string_view body);
    bool SendBoardPage(int start, int count, bool wholeBoard);
    // An order or cancel answer arrived: one fewer outstanding.
    void AnswerCame();
    void SetMarketPhase(std::string_view text);
    void NextServer();
    bool Stopping() const { return stop_.load(); }
    // Sleeps for `d` unless the link is being stopped; false when stopping.
    bool Pause(std::chrono::milliseconds d);
    void NotifyTable(int message);
    void Spawn(void (TradingLink::*work)());

    SharedState& state_;
    LinkNotifier& notifier_;
    LinkTimings timings_;
    std::function<std::time_t()> clock_;
    std::function<void(int, bool)> requestObserver_;
    CClientSocket socket_;

    std::thread networkThread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> stop_{false};
    // Set once the server has accepted a login on this link. Before that there is no session
    // to restore after a reconnect: logging in again with whatever was last typed would only
    // bring the login dialog a rejection it did not ask for.
    std::atomic<bool> loginAccepted_{false};
    // Network thread: a re-login went out and its answer has not come.
    bool reloginPending_ = false;
    // Orders and cancels written whose answers have not come (any thread writes, the network
    // thread reads); when the link breaks with one outstanding, the accepted re-login says so.
    std::atomic<int> unanswered_{0};
    bool resultUnknown_ = false; // network thread only
    // Network thread: when the current connection was made (32-bit milliseconds).
    std::uint32_t connectedTick_ = 0;
    std::atomic<LinkPhase> phase_{LinkPhase::kConnecting};
    std::atomic<std::time_t> brokenSince_{0};
    std::atomic<std::time_t> lastQuote_{0};
    mutable std::mutex marketPhaseMutex_;
    std::string marketPhase_;
    // The user's login whose answer is outstanding, and whether a reconnect resent it.
    std::mutex loginMutex_;
    std::optional<std::string> pendingLogin_;
    bool pendingResent_ = false;
    // Network thread only: 0 for state.serverAddress, i for state.moreServers[i - 1].
    std::size_t serverIndex_ = 0;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    std::mutex workersMutex_;
    std::list<Worker> workers_; // finished ones are joined when the next one starts
};

} // namespace net
