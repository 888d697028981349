#include "server/ledger/MarketHistory.h"

#include "server/market/Market.h"
#include "server/store/Store.h"

#include <algorithm>

namespace server {

namespace {

void KeepNewest(std::vector<Bar>& bars, std::size_t count) {
    if (bars.size() > count)
        bars.erase(bars.begin(), bars.end() - static_cast<std::ptrdiff_t>(count));
}

} // namespace

int DayNumber(std::string_view day) {
    int number = 0;
    for (const char c : day)
        if (c >= '0' && c <= '9')
            number = number * 10 + (c - '0');
    return number;
}

int BarMinute(int minuteOfDay, bool exchangeDay) {
    if (exchangeDay) {
        constexpr int kMorningOpen = 9 * 60 + 30;
        constexpr int kMorningClose = 11 * 60 + 30;
        constexpr int kAfternoonOpen = 13 * 60;
        constexpr int kClose = 15 * 60;
        if (minuteOfDay < kMorningOpen)
            minuteOfDay = kMorningOpen;
        else if (minuteOfDay >= kMorningClose && minuteOfDay < kAfternoonOpen)
            minuteOfDay = kMorningClose - 1;
        else if (minuteOfDay >= kClose)
            minuteOfDay = kClose - 1;
    }
    return minuteOfDay / 60 * 100 + minuteOfDay % 60;
}

void MarketHistory::Load(Store& db, const Market& market, const std::string& day) {
    const std::vector<Quote>& quotes = market.Quotes();
    std::vector<Series> series(quotes.size());
    reloadedLive_.assign(quotes.size(), Live{});
    reloadedIndex_.clear();
    for (std::size_t i = 0; i < quotes.size(); ++i)
        reloadedIndex_.emplace(quotes[i].code, i);
    const auto indexOf = [&](const std::string& code) -> std::optional<std::size_t> {
        const auto it = reloadedIndex_.find(code);
        return it == reloadedIndex_.end() ? std::nullopt : std::optional(it->second);
    };
    Statement minutes = db.Prepare("SELECT code, minute, open, high, low, close, volume FROM minute_bars "
                                   "WHERE day=? ORDER BY code, minute");
    minutes.Bind(1, day);
    while (minutes.Step()) {
        const auto i = indexOf(minutes.Text(0));
        if (!i)
            continue;
        const Bar bar{static_cast<int>(minutes.Int(1)),
                      minutes.Int(2),
                      minutes.Int(3),
                      minutes.Int(4),
                      minutes.Int(5),
                      minutes.Int(6)};
        series[*i].minutes.push_back(bar);
        reloadedLive_[*i].bar = bar;
        reloadedLive_[*i].recordedVolume += bar.volume;
    }
    minutes.Reset();
    Statement days = db.Prepare("SELECT code, day, open, high, low, close, volume FROM daily_bars ORDER BY code, day");
    while (days.Step()) {
        const auto i = indexOf(days.Text(0));
        if (!i)
            continue;
        series[*i].days.push_back(
            {static_cast<int>(days.Int(1)), days.Int(2), days.Int(3), days.Int(4), days.Int(5), days.Int(6)});
    }
    days.Reset();
    for (Series& s : series) {
        KeepNewest(s.days, kBarsKept);
        KeepNewest(s.minutes, kBarsKept);
    }
    reloaded_ = std::move(series);
    staged_.clear();
}

MarketHistory::Live MarketHistory::LiveOf(std::size_t index) const {
    if (const auto it = staged_.find(index); it != staged_.end())
        return it->second;
    if (reloaded_)
        return reloadedLive_[index];
    return index < live_.size() ? live_[index] : Live{};
}

void MarketHistory::Record(Store& db, const Market& market, const std::string& day, int minute) {
    Statement upsert = db.Prepare("INSERT INTO minute_bars(code, day, minute, open, high, low, close, volume) "
                                  "VALUES(?,?,?,?,?,?,?,?) ON CONFLICT(code, day, minute) DO UPDATE SET "
                                  "open=excluded.open, high=excluded.high, low=excluded.low, "
                                  "close=excluded.close, volume=excluded.volume");
    const std::vector<Quote>& quotes = market.Quotes();
    for (std::size_t i = 0; i < quotes.size(); ++i) {
        const Quote& q = quotes[i];
        if (q.day.open == 0)
            continue; // no price yet today
        Live live = LiveOf(i);
        const std::int64_t traded = q.day.volume - live.recordedVolume;
        Bar bar;
        if (live.bar && live.bar->time >= minute) {
            bar = *live.bar;
            if (traded == 0 && q.last == bar.close)
                continue;
            bar.high = std::max(bar.high, q.last);
            bar.low = std::min(bar.low, q.last);
            bar.close = q.last;
            bar.volume += traded;
        } else {
            if (traded == 0 && live.bar && q.last == live.bar->close)
                continue;
            // The day's first bar has seen every price of the day so far.
            bar = live.bar ? Bar{minute, q.last, q.last, q.last, q.last, traded}
                           : Bar{minute, q.day.open, q.day.high, q.day.low, q.last, traded};
        }
        upsert.Bind(1, q.code).Bind(2, day).Bind(3, bar.time).Bind(4, bar.open).Bind(5, bar.high);
        upsert.Bind(6, bar.low).Bind(7, bar.close).Bind(8, bar.volume).Run();
        live.bar = bar;
        live.recordedVolume = q.day.volume;
        staged_[i] = live;
    }
}

void MarketHistory::Publish() {
    std::lock_guard lock(mutex_);
    if (reloaded_) {
        series_ = std::move(*reloaded_);
        live_ = std::move(reloadedLive_);
        index_ = std::move(reloadedIndex_);
        reloaded_.reset();
    }
    for (auto& [i, live] : staged_) {
        std::vector<Bar>& minutes = series_[i].minutes;
        if (!minutes.empty() && minutes.back().time == live.bar->time)
            minutes.back() = *live.bar;
        else
            minutes.push_back(*live.bar);
        if (minutes.size() >= 2 * kBarsKept)
            KeepNewest(minutes, kBarsKept);
        live_[i] = live;
    }
    staged_.clear();
}

void MarketHistory::Discard() {
    staged_.clear();
    reloaded_.reset();
}

void MarketHistory::CloseDay(Store& db, const Market& market, const std::string& day) {
    Statement upsert = db.Prepare("INSERT INTO daily_bars(code, day, open, high, low, close, volume) "
                                  "VALUES(?,?,?,?,?,?,?) ON CONFLICT(code, day) DO UPDATE SET open=excluded.open, "
                                  "high=excluded.high, low=excluded.low, close=excluded.close, volume=excluded.volume");
    const int number = DayNumber(day);
    for (const Quote& q : market.Quotes()) {
        if (q.day.open == 0)
            continue; // never priced that day: no bar
        upsert.Bind(1, q.code).Bind(2, number).Bind(3, q.day.open).Bind(4, q.day.high).Bind(5, q.day.low);
        upsert.Bind(6, q.last).Bind(7, q.day.volume).Run();
    }
    db.Prepare("DELETE FROM minute_bars WHERE day<=?").Bind(1, day).Run();
}

std::string MarketHistory::BarsText(std::string_view code, net::BarPeriod period, int count,
                                    std::size_t maxBytes) const {
    std::vector<Bar> bars;
    {
        std::lock_guard lock(mutex_);
        const auto it = index_.find(std::string(code));
        if (it == index_.end())
            return {};
        const Series& s = series_[it->second];
        const std::vector<Bar>& all = period == net::BarPeriod::kMinute ? s.minutes : s.days;
        const std::size_t n = std::min(all.size(), static_cast<std::size_t>(std::max(count, 0)));
        bars.assign(all.end() - static_cast<std::ptrdiff_t>(n), all.end());
    }
    // Written oldest first; when they do not all fit, the oldest records are cut off the front.
    std::string out;
    out.reserve(bars.size() * 56);
    std::vector<std::size_t> starts;
    starts.reserve(bars.size());
    net::BarRecord record;
    record.code = code;
    record.period = period;
    for (const Bar& b : bars) {
        starts.push_back(out.size());
        record.time = b.time;
        record.open = b.open;
        record.high = b.high;
        record.low = b.low;
        record.close = b.close;
        record.volume = b.volume;
        net::AppendBarRecord(out, record);
    }
    if (out.size() > maxBytes) {
        const auto from = std::lower_bound(starts.begin(), starts.end(), out.size() - maxBytes);
        out.erase(0, from == starts.end() ? out.size() : *from);
    }
    return out;
}

} // namespace server
