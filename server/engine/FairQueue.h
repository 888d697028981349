#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <unordered_map>
#include <vector>

namespace server {

// The requests waiting for the engine, one line per account: work is shared between accounts,
// not connections. A batch takes the accounts in turn, at most `share` requests of each while
// another account waits (all of its line when it is alone, as nobody waits behind it); the
// rest wait for the next batch, in order, and the account goes behind the others. An account
// whose next request is a query for the reader (`Job::ForReader`) gives that and the queries
// right behind it (its share of them) instead, and is held until Release, so that its later
// requests do not overtake them.
// Within an account, requests keep the order they came in. Not thread-safe: the engine
// guards it with its mutex.
template <class Job>
class FairQueue final {
public:
    explicit FairQueue(std::size_t share)
        : share_(share) {}

    void Push(Job job) {
        Line& line = lines_[job.account];
        if (line.jobs.empty())
            turns_.push_back(job.account);
        line.jobs.push_back(std::move(job));
    }

    // Puts requests back at the front of their accounts' lines, in the order given: a request
    // that goes on in a later batch, and the ones behind it.
    void PushFront(std::vector<Job>& jobs) {
        for (auto it = jobs.rbegin(); it != jobs.rend(); ++it) {
            Line& line = lines_[it->account];
            if (line.jobs.empty())
                turns_.push_back(it->account);
            line.jobs.push_front(std::move(*it));
        }
        jobs.clear();
    }

    // Whether Take would take anything.
    bool Ready() const {
        for (std::int64_t account : turns_)
            if (!lines_.at(account).held)
                return true;
        return false;
    }

    // Appends the next batch to `batch` and the queries to hand to the reader to `queries`.
    void Take(std::vector<Job>& batch, std::vector<Job>& queries) {
        std::size_t working = 0; // accounts that give the batch work
        for (std::int64_t account : turns_) {
            const Line& line = lines_.at(account);
            working += !line.held && !line.jobs.front().ForReader();
        }
        const std::size_t quota = working <= 1 ? std::numeric_limits<std::size_t>::max() : share_;
        std::vector<std::int64_t> waiting; // keep their place
        std::vector<std::int64_t> served;  // go behind the others
        for (std::int64_t account : turns_) {
            Line& line = lines_.at(account);
            if (line.held) {
                waiting.push_back(account);
                continue;
            }
            if (line.jobs.front().ForReader()) {
                // Queries one after another read the same commit: they go together.
                for (std::size_t n = 0; n < quota && !line.jobs.empty() && line.jobs.front().ForReader(); ++n) {
                    queries.push_back(std::move(line.jobs.front()));
                    line.jobs.pop_front();
                }
                line.held = true;
            } else {
                // Up to the account's first query: that one waits for this batch's commit.
                for (std::size_t n = 0; n < quota && !line.jobs.empty() && !line.jobs.front().ForReader(); ++n) {
                    batch.push_back(std::move(line.jobs.front()));
                    line.jobs.pop_front();
                }
            }
            if (!line.jobs.empty())
                served.push_back(account);
            else if (!line.held)
                lines_.erase(account);
        }
        turns_.assign(waiting.begin(), waiting.end());
        turns_.insert(turns_.end(), served.begin(), served.end());
    }

    // The reader answered the account's queries: its line goes on.
    void Release(std::int64_t account) {
        const auto it = lines_.find(account);
        if (it == lines_.end())
            return;
        it->second.held = false;
        if (it->second.jobs.empty())
            lines_.erase(it);
    }

private:
    struct Line {
        std::deque<Job> jobs;
        bool held = false; // its query is at the reader
    };

    std::size_t share_;
    std::unordered_map<std::int64_t, Line> lines_;
    std::deque<std::int64_t> turns_; // the accounts with requests waiting, in turn order
};

} // namespace server
