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
//
// A failed sync is final: after it the system may have dropped the pages it could not write,
// so a later sync that succeeds proves nothing about them. What waited for it, and everything
// handed over later, is never delivered; `failed` is told once, and the owner should stop so
// that the next start recovers from what the disk holds.
class LogSyncer final {
public:
    // Syncs the file at `logPath` (a missing file has nothing to sync).
    LogSyncer(std::string logPath, std::function<void(const std::string& why)> failed);
    // Runs `sync` as the sync; it returns what failed, or an empty text when the log is on disk.
    LogSyncer(std::function<std::string()> sync, std::function<void(const std::string& why)> failed);
    // Runs what is still pending, after a sync, and stops (nothing, once a sync failed).
    ~LogSyncer();
    LogSyncer(const LogSyncer&) = delete;
    LogSyncer& operator=(const LogSyncer&) = delete;

    // Any thread. `durable`: what `deliver` tells of was committed and must be synced first.
    void Hand(std::function<void()> deliver, bool durable = true);
    // Syncs on the calling thread and returns once the log is on disk; throws
    // std::runtime_error when it cannot be (then, or at an earlier sync).
    void SyncNow();

private:
    void Run();
    // True when the log is on disk; false once a sync failed (now or before).
    bool Sync();

    std::function<std::string()> sync_;
    std::function<void(const std::string&)> failed_;
    std::mutex mutex_;
    std::condition_variable wake_;
    struct Delivery {
        std::function<void()> deliver;
        bool durable;
    };
    std::vector<Delivery> pending_;
    bool stopping_ = false;
    std::mutex syncMutex_; // one sync at a time
    std::string failure_;  // under syncMutex_: what the failed sync said
    std::thread thread_;
};

} // namespace server
