#include "server/engine/QueryReader.h"

#include <algorithm>

namespace server {

QueryReader::QueryReader(std::string location, std::function<void(std::int64_t account)> finished,
                         std::size_t bytesPerSecond)
    : location_(std::move(location))
    , finished_(std::move(finished))
    , budget_(bytesPerSecond, bytesPerSecond)
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

void QueryReader::Ask(std::int64_t account, std::vector<Question> questions) {
    if (questions.empty())
        return;
    {
        std::lock_guard lock(mutex_);
        std::deque<Question>& line = lines_[account];
        if (line.empty())
            turns_.push_back(account);
        for (Question& q : questions)
            line.push_back(std::move(q));
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
        // The first account in turn whose budget allows an answer now; once stopping, every
        // account's, so that what was asked is answered without waiting.
        const auto now = AnswerBudget::Clock::now();
        auto next = turns_.end();
        auto soonest = AnswerBudget::Clock::time_point::max();
        for (auto it = turns_.begin(); it != turns_.end(); ++it) {
            const auto ready = budget_.ReadyAt(*it);
            if (stopping_ || ready <= now) {
                next = it;
                break;
            }
            soonest = std::min(soonest, ready);
        }
        if (next == turns_.end()) {
            if (stopping_)
                return; // everything asked answered
            if (turns_.empty())
                wake_.wait(lock);
            else
                wake_.wait_until(lock, soonest);
            continue;
        }
        const std::int64_t account = *next;
        turns_.erase(next);
        const auto line = lines_.find(account);
        Question question = std::move(line->second.front());
        line->second.pop_front();
        const bool last = line->second.empty();
        if (last)
            lines_.erase(line);
        else
            turns_.push_back(account);
        lock.unlock();
        std::optional<std::string> answer;
        {
            std::lock_guard reading(readMutex_);
            answer = Answer(question.read);
        }
        budget_.Charge(account, answer ? answer->size() : 0, AnswerBudget::Clock::now());
        question.done(std::move(answer));
        if (last)
            finished_(account);
        lock.lock();
    }
}

} // namespace server
