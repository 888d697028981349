#include "server/network/TurnLine.h"

#include <algorithm>

namespace server {
namespace {

// Sources remembered per line; past it, those checked longest ago are forgotten first (to a
// forgotten source its next attempt looks new, which only helps it).
constexpr std::size_t kRemembered = 64;

} // namespace

TurnLine::Clock::time_point TurnLine::Served(const std::string& source) const {
    const auto it = served_.find(source);
    return it == served_.end() ? Clock::time_point::min() : it->second;
}

std::optional<TurnLine::Ticket> TurnLine::Join(Ticket ticket, const std::string& source) {
    if (std::any_of(waiting_.begin(), waiting_.end(), [&](const Waiter& w) { return w.source == source; }))
        return ticket;
    if (waiting_.size() < kPlaces) {
        waiting_.push_back({ticket, source});
        return std::nullopt;
    }
    // The last arrival among those checked latest gives way, to a source checked earlier only.
    auto last = waiting_.begin();
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
        if (Served(it->source) >= Served(last->source))
            last = it;
    if (Served(last->source) <= Served(source))
        return ticket;
    const Ticket out = last->ticket;
    waiting_.erase(last);
    waiting_.push_back({ticket, source});
    return out;
}

std::optional<TurnLine::Ticket> TurnLine::Take(Clock::time_point now) {
    if (waiting_.empty())
        return std::nullopt;
    const auto next = std::min_element(waiting_.begin(), waiting_.end(), [&](const Waiter& a, const Waiter& b) {
        return Served(a.source) < Served(b.source);
    });
    const Ticket ticket = next->ticket;
    Checked(next->source, now);
    waiting_.erase(next);
    return ticket;
}

void TurnLine::Checked(const std::string& source, Clock::time_point now) {
    if (served_.size() >= kRemembered && !served_.contains(source))
        served_.erase(std::min_element(served_.begin(), served_.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; }));
    served_[source] = now;
}

} // namespace server
