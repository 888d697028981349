#pragma once

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

namespace server {

// Answers the queries over accounts' stored days on a thread and store connection of its
// own, outside the engine's write batches: a flood of them costs the reader's time, not the
// time of the batches that carry other accounts' orders. It reads what was committed last.
// The engine hands it at most one query per account at a time, so taking them in the order
// given serves the accounts in turn.
class QueryReader final {
public:
    using Read = std::function<std::optional<std::string>(AccountHistory&)>;
    using Done = std::function<void(std::optional<std::string>)>;

    // `location`: the contest's store, opened read-only when the first query comes (and again
    // after a failure). `finished` is called on the reader's thread after each query's `done`.
    QueryReader(std::string location, std::function<void(std::int64_t account)> finished);
    ~QueryReader();
    QueryReader(const QueryReader&) = delete;
    QueryReader& operator=(const QueryReader&) = delete;

    // Whether a store at `location` can be read from another connection (an in-memory
    // database cannot).
    static bool CanRead(const std::string& location);

    // Called from any thread.
    void Ask(std::int64_t account, Read read, Done done);

private:
    struct Question {
        std::int64_t account;
        Read read;
        Done done;
    };
    void Run();
    std::optional<std::string> Answer(const Read& read);

    std::string location_;
    std::function<void(std::int64_t)> finished_;
    std::unique_ptr<Store> db_;
    std::unique_ptr<AccountHistory> history_;
    RateLimitedLog log_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Question> questions_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace server
