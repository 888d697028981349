#include "server/engine/AnswerBudget.h"

#include <algorithm>

namespace server {

AnswerBudget::AnswerBudget(std::size_t bytesPerSecond, std::size_t burst)
    : bytesPerSecond_(bytesPerSecond)
    , burst_(bytesPerSecond == 0 ? Clock::duration::zero() : Cost(burst)) {}

AnswerBudget::Clock::duration AnswerBudget::Cost(std::size_t bytes) const {
    const auto nanoseconds = static_cast<long double>(bytes) * 1e9L / static_cast<long double>(bytesPerSecond_);
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(static_cast<std::int64_t>(nanoseconds)));
}

AnswerBudget::Clock::time_point AnswerBudget::ReadyAt(std::int64_t account) const {
    const auto it = paidUntil_.find(account);
    return it == paidUntil_.end() ? Clock::time_point::min() : it->second - burst_;
}

void AnswerBudget::Charge(std::int64_t account, std::size_t bytes, Clock::time_point now) {
    if (bytesPerSecond_ == 0)
        return;
    if (paidUntil_.size() > 4096)
        std::erase_if(paidUntil_, [now](const auto& entry) { return entry.second <= now; });
    auto [it, added] = paidUntil_.try_emplace(account, now);
    it->second = std::max(it->second, now) + Cost(bytes + kQuestionBytes);
}

} // namespace server
