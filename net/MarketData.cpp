#include "net/MarketData.h"

#include <algorithm>

namespace net {

namespace {

bool SameRow(const BoardRecord& a, const BoardRecord& b) {
    return a.name == b.name && a.initials == b.initials && a.prevClose == b.prevClose && a.last == b.last &&
           a.open == b.open && a.high == b.high && a.low == b.low && a.volume == b.volume && a.amount == b.amount;
}

} // namespace

template <typename Queue>
MarketData::Service MarketData::ServiceOf(const Queue& pending, bool answered, Clock::time_point now) const {
    if (!pending.empty() && now - pending.front().sentAt > kAnswerWait)
        return Service::kUnavailable;
    return answered ? Service::kAvailable : Service::kWaiting;
}

void MarketData::BoardRequested(const BoardRequest& request) {
    std::lock_guard lock(mutex_);
    boardPending_.push_back(request);
}

std::optional<MarketData::BoardRequest> MarketData::BoardAnswered(const std::vector<BoardRecord>& rows) {
    std::lock_guard lock(mutex_);
    boardAnswered_ = true;
    bool changed = false;
    for (const BoardRecord& row : rows) {
        auto [it, inserted] = board_.try_emplace(row.code, row);
        if (!inserted && !SameRow(it->second, row)) {
            it->second = row;
            changed = true;
        }
        changed = changed || inserted;
    }
    if (changed)
        ++boardVersion_;
    if (boardPending_.empty())
        return std::nullopt;
    BoardRequest answered = boardPending_.front();
    boardPending_.pop_front();
    return answered;
}

std::vector<BoardRecord> MarketData::Board() const {
    std::lock_guard lock(mutex_);
    std::vector<BoardRecord> rows;
    rows.reserve(board_.size());
    for (const auto& [code, row] : board_)
        rows.push_back(row);
    return rows;
}

std::optional<BoardRecord> MarketData::Row(std::string_view code) const {
    std::lock_guard lock(mutex_);
    const auto it = board_.find(code);
    if (it == board_.end())
        return std::nullopt;
    return it->second;
}

int MarketData::Position(std::string_view code) const {
    std::lock_guard lock(mutex_);
    const auto it = board_.find(code);
    if (it == board_.end())
        return -1;
    return static_cast<int>(std::distance(board_.begin(), it));
}

std::uint64_t MarketData::BoardVersion() const {
    std::lock_guard lock(mutex_);
    return boardVersion_;
}

bool MarketData::BoardPending() const {
    std::lock_guard lock(mutex_);
    return !boardPending_.empty();
}

MarketData::Service MarketData::BoardService(Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    return ServiceOf(boardPending_, boardAnswered_, now);
}

void MarketData::BarsRequested(const BarKey& key, Clock::time_point sentAt) {
    std::lock_guard lock(mutex_);
    barsPending_.push_back({key, sentAt});
}

void MarketData::BarsAnswered(std::vector<BarRecord> bars) {
    std::lock_guard lock(mutex_);
    barsAnswered_ = true;
    // An empty answer (an unknown code) names nothing: it belongs to the oldest request.
    std::optional<BarKey> key;
    if (!barsPending_.empty()) {
        key = barsPending_.front().key;
        barsPending_.pop_front();
    }
    if (!bars.empty())
        key = BarKey{bars.front().code, bars.front().period};
    if (!key)
        return;
    // Only the bars of that one series are kept, in time order.
    std::erase_if(bars, [&](const BarRecord& b) { return b.code != key->code || b.period != key->period; });
    BarSeries& series = bars_[*key];
    series.bars = std::move(bars);
    ++series.version;
}

std::vector<BarRecord> MarketData::Bars(const BarKey& key) const {
    std::lock_guard lock(mutex_);
    const auto it = bars_.find(key);
    return it == bars_.end() ? std::vector<BarRecord>{} : it->second.bars;
}

std::uint64_t MarketData::BarsVersion(const BarKey& key) const {
    std::lock_guard lock(mutex_);
    const auto it = bars_.find(key);
    return it == bars_.end() ? 0 : it->second.version;
}

bool MarketData::BarsPending(const BarKey& key) const {
    std::lock_guard lock(mutex_);
    return std::any_of(barsPending_.begin(), barsPending_.end(), [&](const BarRequest& r) { return r.key == key; });
}

MarketData::Service MarketData::BarsService(Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    return ServiceOf(barsPending_, barsAnswered_, now);
}

void MarketData::ForgetPending() {
    std::lock_guard lock(mutex_);
    boardPending_.clear();
    barsPending_.clear();
}

} // namespace net
