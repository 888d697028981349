#pragma once

#include "net/LinkNotifier.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tavix::test {

// Records every notification of a trading link, in order, from any thread. HasMainFrame()
// answers what the test set (a main window by default).
class RecordingNotifier final : public net::LinkNotifier {
public:
    struct Event {
        int message = 0;
        std::string body;    // empty for table notifications
        bool table = false;  // a table notification
        bool posted = false; // a reply handed over without waiting
    };

    explicit RecordingNotifier(bool mainFrame = true)
        : mainFrame_(mainFrame) {}

    void SetMainFrame(bool present) { mainFrame_.store(present); }
    bool HasMainFrame() const override { return mainFrame_.load(); }

    void NotifyTable(int message) override { Record({message, {}, true, false}); }
    void DeliverReply(int message, std::string_view body) override {
        Record({message, std::string(body), false, false});
    }
    void PostReply(int message, std::string body) override { Record({message, std::move(body), false, true}); }

    std::vector<Event> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<int> Messages() const {
        std::lock_guard lock(mutex_);
        std::vector<int> out;
        for (const Event& e : events_)
            out.push_back(e.message);
        return out;
    }
    // The table notifications alone, and the replies alone, in order.
    std::vector<int> Tables() const {
        std::lock_guard lock(mutex_);
        std::vector<int> out;
        for (const Event& e : events_)
            if (e.table)
                out.push_back(e.message);
        return out;
    }
    std::vector<std::pair<int, std::string>> Replies() const {
        std::lock_guard lock(mutex_);
        std::vector<std::pair<int, std::string>> out;
        for (const Event& e : events_)
            if (!e.table)
                out.emplace_back(e.message, e.body);
        return out;
    }
    int CountOf(int message) const {
        std::lock_guard lock(mutex_);
        return Count(message);
    }
    // Waits until `message` was delivered at least `count` times.
    bool WaitFor(int message, int count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return Count(message) >= count; });
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
    int Count(int message) const {
        int n = 0;
        for (const Event& e : events_)
            n += e.message == message ? 1 : 0;
        return n;
    }
    void Record(Event e) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
        changed_.notify_all();
    }

    std::atomic<bool> mainFrame_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
};

} // namespace tavix::test
