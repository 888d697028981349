#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace server {

// Makes a file store's commits durable on a thread of its own, so that the engine works on
// the next batch while the disk syncs the last one: the connection commits without syncing,
// and each delivery handed over runs only after a sync of the log that began after it was
// handed over (so nothing is acknowledged before it is on disk). Deliveries run in the order
// they were handed over; one sync covers all that wait for it (group commit).
class LogSyncer final {
public:
    // Syncs the file at `logPath` (a missing file has nothing to sync).
    explicit LogSyncer(std::string logPath);
    // Runs `sync` as the sync; it returns false when the sync failed (it is then tried again).
    explicit LogSyncer(std::function<bool()> sync);
    // Runs what is still pending, after a sync, and stops.
    ~LogSyncer();
    LogSyncer(const LogSyncer&) = delete;
    LogSyncer& operator=(const LogSyncer&) = delete;

    // Any thread. `durable`: what `deliver` tells of was committed and must be synced first.
    void Hand(std::function<void()> deliver, bool durable = true);
    // Syncs on the calling thread and returns once the log is on disk.
    void SyncNow();

private:
    void Run();
    void SyncUntilDone();

    std::function<bool()> sync_;
    std::mutex mutex_;
    std::condition_variable wake_;
    struct Delivery {
        std::function<void()> deliver;
        bool durable;
    };
    std::vector<Delivery> pending_;
    bool stopping_ = false;
    std::mutex syncMutex_; // one sync at a time
    std::thread thread_;
};

} // namespace server
