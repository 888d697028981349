#include "server/engine/LogSyncer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace server {
namespace {

struct LogFile {
    explicit LogFile(std::string at)
        : path(std::move(at)) {}
    ~LogFile() {
        if (fd >= 0)
            ::close(fd);
    }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    std::string path;
    int fd = -1;
};

} // namespace

LogSyncer::LogSyncer(std::string logPath, std::function<void(const std::string&)> failed)
    : LogSyncer(
          // One descriptor for the whole run, opened once the file exists: the system reports
          // a write-back error to every descriptor that was open when it happened, so a sync
          // of this one fails even if another descriptor's sync (a checkpoint's) saw the error
          // first. Syncing it writes out every change to the file, the connection's included.
          [log = std::make_shared<LogFile>(std::move(logPath))]() -> std::string {
              if (log->fd < 0)
                  log->fd = ::open(log->path.c_str(), O_RDONLY | O_CLOEXEC);
              if (log->fd < 0)
                  return errno == ENOENT ? std::string() : "open " + log->path + ": " + std::strerror(errno);
              if (::fdatasync(log->fd) != 0)
                  return "fdatasync " + log->path + ": " + std::strerror(errno);
              return {};
          },
          std::move(failed)) {}

LogSyncer::LogSyncer(std::function<std::string()> sync, std::function<void(const std::string&)> failed)
    : sync_(std::move(sync))
    , failed_(std::move(failed))
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
    if (!Sync()) {
        std::lock_guard lock(syncMutex_);
        throw std::runtime_error("cannot sync the write-ahead log: " + failure_);
    }
}

bool LogSyncer::Sync() {
    std::string failure;
    {
        std::lock_guard lock(syncMutex_);
        if (!failure_.empty())
            return false;
        failure = sync_();
        if (failure.empty())
            return true;
        failure_ = failure;
    }
    if (failed_)
        failed_(failure);
    return false;
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
        // Once a sync failed nothing goes out, not even a rolled-back batch's answers: they
        // would overtake answers of the same connections that can never be given.
        bool deliver = false;
        if (durable) {
            deliver = Sync();
        } else {
            std::lock_guard failed(syncMutex_);
            deliver = failure_.empty();
        }
        if (deliver)
            for (Delivery& d : taken)
                d.deliver();
        taken.clear();
        lock.lock();
    }
}

} // namespace server
