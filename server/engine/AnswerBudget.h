#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace server {

// Each account's share of the answers to its queries over its stored days: so many bytes a
// second, and up to `burst` bytes at once. The reader's time and the answers' output follow
// the bytes, so an account flooding queries gets its answers at this pace while others are
// served as usual; a query past the budget waits for its turn, it is never refused. Each
// answer also costs kQuestionBytes, the reading it took, so that empty answers are not free.
// Not thread-safe: the reader's thread owns it.
class AnswerBudget final {
public:
    using Clock = std::chrono::steady_clock;

    // `bytesPerSecond` 0: no limit.
    AnswerBudget(std::size_t bytesPerSecond, std::size_t burst);

    // From when the account's next query may be answered (at once when not later than now).
    Clock::time_point ReadyAt(std::int64_t account) const;
    // The account was answered `bytes` at `now`.
    void Charge(std::int64_t account, std::size_t bytes, Clock::time_point now);

    static constexpr std::size_t kQuestionBytes = 256;

private:
    Clock::duration Cost(std::size_t bytes) const;

    std::size_t bytesPerSecond_;
    Clock::duration burst_;
    // When each account's answers so far are paid for at the budget's pace; an account whose
    // time has passed owes nothing and is forgotten.
    std::unordered_map<std::int64_t, Clock::time_point> paidUntil_;
};

} // namespace server
