#pragma once

#include "net/LinkNotifier.h"
#include "net/RequestSender.h"
#include "net/SharedState.h"
#include "wire/Standing.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace net {

// The account's queries and their answers: funds, positions, today's orders and trades, the
// history tables and where the user stands. Sends each query, stores each answer whole in
// its shared table (records read by net/ReplyParsers.h) and tells the windows; runs the
// initial load and the refresh after a reconnect on short worker threads of its own.
class AccountQueries final {
public:
    // `clock` gives the calendar time used for the dates in query bodies (tests fix it).
    AccountQueries(SharedState& state, LinkNotifier& notifier, RequestSender& sender,
                   std::function<std::time_t()> clock = nullptr);
    // Waits for the worker threads.
    ~AccountQueries();
    AccountQueries(const AccountQueries&) = delete;
    AccountQueries& operator=(const AccountQueries&) = delete;

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
    // The bodies of the two workers, run on the calling thread.
    void InitialLoadWorker();
    void RefreshAllWorker();
    // Waits for the worker threads started so far.
    void JoinWorkers();

    // "%d-%d-%d" of the local date `secondsBack` seconds before now.
    std::string DateText(long secondsBack = 0) const;

    // --- answers (network thread) ------------------------------------------------------

    // Each replaces its table whole and tells the windows; a history answer is dropped until
    // the initial load has created its table. The held securities stay subscribed.
    void StorePositions(std::string_view body);
    void StoreFunds(std::string_view body); // kept unless the answer holds a record
    void StoreTodayTrades(std::string_view body);
    void StoreTodayOrders(std::string_view body);
    void StoreHistoryOrders(std::string_view body);
    void StoreHistoryTrades(std::string_view body);
    void StoreFundsFlow(std::string_view body);
    void StoreSettlement(std::string_view body);
    void StoreStanding(std::string_view body);
    void StoreCurve(std::string_view body);

    // The connection broke: standings asked on it will not be answered.
    void ConnectionLost();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void NotifyTable(int message);
    void Spawn(void (AccountQueries::*work)());

    SharedState& state_;
    LinkNotifier& notifier_;
    RequestSender& sender_;
    std::function<std::time_t()> clock_;
    std::mutex workersMutex_;
    std::list<Worker> workers_; // finished ones are joined when the next one starts
};

} // namespace net
