#include "server/engine/Standings.h"

#include "server/engine/QueryString.h"
#include "server/engine/RankingBoard.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>

namespace server {
namespace {

// A count in a request body: 1 to `most`, a larger one taken as `most`.
std::optional<int> Count(std::string_view text, int most) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1)
        return std::nullopt;
    return static_cast<int>(std::min<long long>(value, most));
}

// The unit value and total an account opened a period with: its last settlement before
// `start`, else the contest's start.
struct Opening {
    double unit = 1;
    Cents total = 0;
    Cents flowsSince = 0; // the organiser's money after it, today's included
};

Opening OpeningOf(const RankingEntry& e, const std::string& start) {
    Opening opening{1, e.initialCash, e.pendingFlow};
    if (!e.closes)
        return opening;
    const std::vector<DayClose>& closes = *e.closes;
    const auto after = start.empty()
                           ? closes.begin()
                           : std::lower_bound(closes.begin(), closes.end(), start,
                                              [](const DayClose& c, const std::string& d) { return c.day < d; });
    if (after != closes.begin()) {
        opening.unit = std::prev(after)->unit;
        opening.total = std::prev(after)->total;
    }
    for (auto it = after; it != closes.end(); ++it)
        opening.flowsSince += it->flow;
    return opening;
}

// The live unit value: the last settlement's (or the start's) carried through today.
double LiveUnit(const RankingEntry& e) {
    if (!e.closes || e.closes->empty())
        return NextUnit(1, e.initialCash, e.pendingFlow, e.total);
    const DayClose& last = e.closes->back();
    return NextUnit(last.unit, last.total, e.pendingFlow, e.total);
}

std::string CompactDate(const std::string& day) {
    std::string out;
    for (const char c : day) {
        if (c != '-')
            out += c;
    }
    return out;
}

// The index's return since the start, from hundredths of a point, in hundredths of a percent.
std::int64_t IndexReturnHundredths(std::int64_t index) {
    return static_cast<std::int64_t>(std::llround(static_cast<double>(index - 100000) / 10.0));
}

} // namespace

std::string PeriodStart(net::StandingPeriod period, const std::string& day) {
    using namespace std::chrono;
    switch (period) {
    case net::StandingPeriod::kDay:
        return day;
    case net::StandingPeriod::kMonth:
        return day.substr(0, 8) + "01";
    case net::StandingPeriod::kWeek: {
        int y = 0, m = 0, d = 0;
        if (std::sscanf(day.c_str(), "%d-%d-%d", &y, &m, &d) != 3)
            return day;
        const sys_days date{year{y} / month{static_cast<unsigned>(m)} / static_cast<unsigned>(d)};
        const sys_days monday = date - (weekday{date} - Monday);
        const year_month_day ymd{monday};
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                      static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
        return text;
    }
    case net::StandingPeriod::kAll:
        break;
    }
    return {};
}

StandingBook::StandingBook(const RankingSnapshot& snapshot) {
    const std::size_t n = snapshot.rows.size();
    std::vector<double> live(n);
    for (std::size_t i = 0; i < n; ++i) {
        live[i] = LiveUnit(snapshot.rows[i]);
        rows_[snapshot.rows[i].id] = i;
    }
    for (const net::StandingPeriod period : net::kStandingPeriods) {
        const std::size_t slot = Slot(period);
        const std::string start = PeriodStart(period, snapshot.day);
        std::vector<Figures>& figures = figures_[slot];
        figures.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const RankingEntry& e = snapshot.rows[i];
            const Opening opening = OpeningOf(e, start);
            Figures& f = figures[i];
            f.growth = opening.unit > 0 ? live[i] / opening.unit : 1;
            f.hundredths = GrowthHundredths(f.growth);
            f.profit = e.total - opening.total - opening.flowsSince;
        }
        std::vector<std::size_t>& order = order_[slot];
        order.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            if (figures[a].hundredths != figures[b].hundredths)
                return figures[a].hundredths > figures[b].hundredths;
            if (snapshot.rows[a].total != snapshot.rows[b].total)
                return snapshot.rows[a].total > snapshot.rows[b].total;
            return snapshot.rows[a].name < snapshot.rows[b].name;
        });
        for (std::size_t k = 0; k < n; ++k) {
            const bool tied = k > 0 && figures[order[k]].hundredths == figures[order[k - 1]].hundredths;
            figures[order[k]].rank = tied ? figures[order[k - 1]].rank : static_cast<int>(k + 1);
        }
    }
    std::vector<double> sinceStart(n);
    for (std::size_t i = 0; i < n; ++i)
        sinceStart[i] = figures_[Slot(net::StandingPeriod::kAll)][i].growth;
    median_ = GrowthHundredths(Median(std::move(sinceStart)));
}

std::optional<std::size_t> StandingBook::RowOf(std::int64_t accountId) const {
    const auto it = rows_.find(accountId);
    if (it == rows_.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::string> StandingReply(const RankingSnapshot& snapshot, std::int64_t accountId,
                                         const QueryString& query) {
    const auto period = net::ParsePeriod(query.Get("period"));
    const auto count = Count(query.Get("count"), net::kMaxStandingRows);
    if (!period || !count)
        return std::nullopt;
    const StandingBook& book = snapshot.Standings();
    const auto row = book.RowOf(accountId);
    if (!row)
        return std::nullopt;
    const StandingBook::Figures& own = book.Of(*period, *row);
    std::string out = net::FormatStandingSelf({own.rank, static_cast<int>(snapshot.rows.size()),
                                               FormatCents(snapshot.rows[*row].total),
                                               net::HundredthsText(own.hundredths), FormatCents(own.profit)});
    const std::vector<std::size_t>& order = book.Order(*period);
    for (std::size_t k = 0; k < order.size() && k < static_cast<std::size_t>(*count); ++k) {
        const RankingEntry& e = snapshot.rows[order[k]];
        const StandingBook::Figures& f = book.Of(*period, order[k]);
        out +=
            net::FormatStandingRow({f.rank, MaskName(e.name), FormatCents(e.total), net::HundredthsText(f.hundredths)});
    }
    return out;
}

std::optional<std::string> CurveReply(const RankingSnapshot& snapshot, std::int64_t accountId,
                                      const QueryString& query) {
    const auto count = Count(query.Get("count"), net::kMaxCurvePoints);
    if (!count)
        return std::nullopt;
    const StandingBook& book = snapshot.Standings();
    const auto row = book.RowOf(accountId);
    if (!row)
        return std::nullopt;
    const RankingEntry& e = snapshot.rows[*row];
    // One record per settled trading day (an account that joined later stands at its
    // starting cash before its first settlement), then today's, live.
    std::vector<std::string> records;
    static const std::vector<DayClose> kNone;
    static const std::vector<MarketClose> kNoMarket;
    const std::vector<DayClose>& closes = e.closes ? *e.closes : kNone;
    const std::vector<MarketClose>& market = snapshot.market ? *snapshot.market : kNoMarket;
    const std::size_t firstDay =
        market.size() + 1 > static_cast<std::size_t>(*count) ? market.size() + 1 - static_cast<std::size_t>(*count) : 0;
    auto close = closes.begin();
    for (std::size_t i = firstDay; i < market.size(); ++i) {
        const MarketClose& m = market[i];
        close = std::lower_bound(close, closes.end(), m.day,
                                 [](const DayClose& c, const std::string& d) { return c.day < d; });
        const bool held = close != closes.end() && close->day == m.day;
        records.push_back(net::FormatCurvePoint(
            CompactDate(m.day), FormatCents(held ? close->total : e.initialCash),
            net::HundredthsText(held ? GrowthHundredths(close->unit) : 0), net::HundredthsText(m.index),
            net::HundredthsText(IndexReturnHundredths(m.index)), net::HundredthsText(m.medianReturn)));
    }
    records.push_back(net::FormatCurvePoint(
        CompactDate(snapshot.day), FormatCents(e.total),
        net::HundredthsText(book.Of(net::StandingPeriod::kAll, *row).hundredths), net::HundredthsText(snapshot.index),
        net::HundredthsText(IndexReturnHundredths(snapshot.index)), net::HundredthsText(book.MedianHundredths())));
    std::string out;
    for (const std::string& r : records)
        out += r;
    return out;
}

} // namespace server
