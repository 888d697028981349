#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace server {

// Login attempts waiting for a slowed-down name's next check. Each source (a computer, or an
// address) holds one place, and the source checked longest ago goes first: a rival guessing
// again and again waits behind someone who has not been checked yet, however fast it asks.
// Ties go in order of arrival, so a rival inventing a new source for every guess still lets
// those in front of it go first. Network thread only.
class TurnLine final {
public:
    using Clock = std::chrono::steady_clock;
    using Ticket = std::uint64_t;

    static constexpr std::size_t kPlaces = 8;

    // Puts `ticket` in line for `source`. Returns the attempt that loses its place: `ticket`
    // itself when its source waits already or the line is full of sources checked no more
    // recently than it; else, in a full line, the waiter whose source was checked last.
    std::optional<Ticket> Join(Ticket ticket, const std::string& source);
    // The next attempt to check, its source marked as checked at `now`; none when empty.
    std::optional<Ticket> Take(Clock::time_point now);
    // An attempt from `source` was checked without waiting in line.
    void Checked(const std::string& source, Clock::time_point now);
    bool Empty() const { return waiting_.empty(); }

private:
    struct Waiter {
        Ticket ticket;
        std::string source;
    };
    // When `source` was last checked; the distant past when never.
    Clock::time_point Served(const std::string& source) const;

    std::vector<Waiter> waiting_; // in order of arrival
    std::unordered_map<std::string, Clock::time_point> served_;
};

} // namespace server
