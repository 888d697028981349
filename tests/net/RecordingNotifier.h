#pragma once

#include "net/LinkNotifier.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace tavix::test {

// Records every notification of a trading link, in order, from any thread.
class RecordingNotifier final : public net::LinkNotifier {
public:
    struct Event {
        int message = 0;
        std::string body;
        bool posted = false; // handed over without waiting
    };

    explicit RecordingNotifier(bool mainFrame = true)
        : mainFrame_(mainFrame) {}

    void SetMainFrame(bool present) { mainFrame_.store(present); }
    bool HasMainFrame() const override { return mainFrame_.load(); }

    void NotifyTable(int message) override { Record({message, {}}); }
    void DeliverReply(int message, std::string_view body) override { Record({message, std::string(body)}); }
    void PostReply(int message, std::string body) override { Record({message, std::move(body), true}); }

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
    int CountOf(int message) const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const Event& e : events_)
            n += e.message == message ? 1 : 0;
        return n;
    }
    // Waits until `message` was delivered at least `count` times.
    bool WaitFor(int message, int count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            int n = 0;
            for (const Event& e : events_)
                n += e.message == message ? 1 : 0;
            return n >= count;
        });
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
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
