#include "server/engine/QueryReader.h"

namespace server {

QueryReader::QueryReader(std::string location, std::function<void(std::int64_t account)> finished)
    : location_(std::move(location))
    , finished_(std::move(finished))
    , thread_([this] { Run(); }) {}

QueryReader::~QueryReader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool QueryReader::CanRead(const std::string& location) {
    return !location.empty() && location != ":memory:" && !location.starts_with("file::memory:");
}

void QueryReader::Ask(std::int64_t account, Read read, Done done) {
    {
        std::lock_guard lock(mutex_);
        questions_.push_back({account, std::move(read), std::move(done)});
    }
    wake_.notify_one();
}

std::optional<std::string> QueryReader::Answer(const Read& read) {
    try {
        if (!history_) {
            db_ = OpenStore(location_, Synchronous::kNormal, StoreAccess::kReadOnly);
            history_ = std::make_unique<AccountHistory>(*db_);
        }
        return read(*history_);
    } catch (const std::exception& e) {
        // No answer, as for any query that cannot be read; the next one opens the store anew.
        log_.Write(std::string("query not answered: ") + e.what());
        history_.reset();
        db_.reset();
        return std::nullopt;
    }
}

void QueryReader::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !questions_.empty(); });
        if (questions_.empty())
            return; // stopping, everything asked answered
        Question question = std::move(questions_.front());
        questions_.pop_front();
        lock.unlock();
        question.done(Answer(question.read));
        finished_(question.account);
        lock.lock();
    }
}

} // namespace server
