#pragma once

#include "server/engine/AnswerBudget.h"
#include "server/engine/RateLimitedLog.h"
#include "server/ledger/AccountHistory.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace server {

// Answers the queries over accounts' stored days on a thread and store connection of its
// own, outside the engine's write batches: a flood of them costs the reader's time, not the
// time of the batches that carry other accounts' orders. It reads what was committed last,
// one query of each account in turn, so one account's many wait behind each other and not in
// front of another's one; an account past its budget of answer bytes (AnswerBudget) waits
// until the budget allows its next, while the others' are answered.
class QueryReader final {
public:
    using Read = std::function<std::optional<std::string>(AccountHistory&)>;
    using Done = std::function<void(std::optional<std::string>)>;
    struct Question {
        Read read;
        Done done;
    };

    // `location`: the contest's store, opened read-only when the first query comes (and again
    // after a failure). `finished` is called on the reader's thread once an account's
    // questions are all answered (after their `done`). `bytesPerSecond`: each account's budget
    // of answer bytes, a second's worth at once (0: none).
    QueryReader(std::string location, std::function<void(std::int64_t account)> finished,
                std::size_t bytesPerSecond = 0);
    ~QueryReader();
    QueryReader(const QueryReader&) = delete;
    QueryReader& operator=(const QueryReader&) = delete;

    // Whether a store at `location` can be read from another connection (an in-memory
    // database cannot).
    static bool CanRead(const std::string& location);

    // Keeps the reader from starting a query until the lock goes (any thread): a reader between
    // queries holds nothing of the store, so the log can be cut back meanwhile.
    std::unique_lock<std::mutex> HoldReads() { return std::unique_lock(readMutex_); }

    // Called from any thread, with an account's questions in the order to answer them; the
    // account asks nothing more until `finished`.
    void Ask(std::int64_t account, std::vector<Question> questions);

private:
    void Run();
    std::optional<std::string> Answer(const Read& read);

    std::string location_;
    std::function<void(std::int64_t)> finished_;
    AnswerBudget budget_; // the reader's thread only
    std::unique_ptr<Store> db_;
    std::unique_ptr<AccountHistory> history_;
    RateLimitedLog log_;
    std::mutex readMutex_; // held while a query reads
    std::mutex mutex_;
    std::condition_variable wake_;
    std::unordered_map<std::int64_t, std::deque<Question>> lines_;
    std::deque<std::int64_t> turns_; // accounts with questions, in turn order
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace server
