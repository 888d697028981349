#include "server/engine/LogSyncer.h"

#include "server/engine/RateLimitedLog.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace server {

LogSyncer::LogSyncer(std::string logPath)
    : LogSyncer(std::function<bool()>([path = std::move(logPath)] {
        // A descriptor of our own: syncing it writes out every change to the file, the
        // store's connection's included.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT;
        const bool synced = ::fdatasync(fd) == 0;
        ::close(fd);
        return synced;
    })) {}

LogSyncer::LogSyncer(std::function<bool()> sync)
    : sync_(std::move(sync))
    , thread_([this] { Run(); }) {}

LogSyncer::~LogSyncer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void LogSyncer::Hand(std::function<void()> deliver, bool durable) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({std::move(deliver), durable});
    }
    wake_.notify_one();
}

void LogSyncer::SyncNow() {
    SyncUntilDone();
}

void LogSyncer::SyncUntilDone() {
    std::lock_guard lock(syncMutex_);
    RateLimitedLog log;
    // An acknowledged change must be on disk: a failed sync is tried again, never skipped.
    while (!sync_()) {
        log.Write("cannot sync the write-ahead log; the answers wait until it can");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void LogSyncer::Run() {
    std::vector<Delivery> taken;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
        if (pending_.empty())
            return; // stopping, and nothing left
        taken.swap(pending_);
        lock.unlock();
        bool durable = false;
        for (const Delivery& d : taken)
            durable = durable || d.durable;
        if (durable)
            SyncUntilDone();
        for (Delivery& d : taken)
            d.deliver();
        taken.clear();
        lock.lock();
    }
}

} // namespace server
