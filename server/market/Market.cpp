#include "server/market/Market.h"

#include "server/market/PinyinInitials.h"
#include "server/market/Securities.h"
#include "wire/Board.h"
#include "wire/MarketRecords.h"
#include "wire/RecordFields.h"
#include "wire/SplitText.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace server {

namespace {

// What one simulated step trades is worth about this much, more when the price moves more.
constexpr double kStepAmountCents = 1'500'000;

} // namespace

Market::Market(std::uint64_t seed, int mainLimitPercent, int growthLimitPercent,
               std::span<const SecurityInfo> securities)
    : rng_(seed)
    , mainLimit_(mainLimitPercent)
    , growthLimit_(growthLimitPercent) {
    PinyinInitials initials;
    quotes_.reserve(securities.size());
    for (const SecurityInfo& s : securities) {
        AddSecurity(s.code, s.name, s.basePrice);
        quotes_.back().initials = initials.Of(s.name);
    }
    SortByCode();
    for (Quote& q : quotes_)
        BuildBook(q);
}

void Market::AddSecurity(std::string_view code, std::string_view name, Cents prevClose) {
    Quote q;
    q.code = code;
    q.name = name;
    q.prevClose = prevClose;
    q.last = prevClose;
    q.limitPercent = LimitPercentFor(code, mainLimit_, growthLimit_);
    quotes_.push_back(std::move(q));
}

namespace {

bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
        if (length == 0 || (length == 2 && c < 0xc2) || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

// The file as UTF-8: spreadsheet tools here save CSV as GBK, others as UTF-8 (perhaps with a
// byte-order mark). Names go on the wire and into the database, so text that is neither is
// refused with the first line that is not, rather than stored as garbage.
std::optional<std::string> CsvAsUtf8(std::string bytes, const std::string& path, std::string& error,
                                     const Market::TextDecoder& fromGbk) {
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.erase(0, 3);
    if (IsUtf8(bytes))
        return bytes;
    if (auto converted = fromGbk ? fromGbk(bytes) : std::nullopt)
        return converted;
    std::istringstream lines(bytes);
    std::string line;
    for (int lineNo = 1; std::getline(lines, line); ++lineNo) {
        if (!IsUtf8(line) && !(fromGbk && fromGbk(line))) {
            error = path + ":" + std::to_string(lineNo) + ": neither UTF-8 nor GBK text";
            return std::nullopt;
        }
    }
    error = path + ": mixes UTF-8 and GBK text";
    return std::nullopt;
}

} // namespace

void Market::SortByCode() {
    std::sort(quotes_.begin(), quotes_.end(), [](const Quote& a, const Quote& b) { return a.code < b.code; });
    index_.clear();
    for (std::size_t i = 0; i < quotes_.size(); ++i)
        index_[quotes_[i].code] = i;
}

void Market::Trade(Quote& q, std::int64_t shares, Cents price) {
    DayStats& d = q.day;
    if (d.open == 0) {
        d.open = price;
        d.high = price;
        d.low = price;
    }
    d.high = std::max(d.high, price);
    d.low = std::min(d.low, price);
    d.volume += shares;
    d.amount += shares * price;
}

bool Market::LoadCsv(const std::string& path, std::string& error, const TextDecoder& fromGbk) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    const auto text = CsvAsUtf8(std::string(std::istreambuf_iterator<char>(file), {}), path, error, fromGbk);
    if (!text)
        return false;
    std::istringstream in(*text);
    std::vector<CsvRow> rows;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const auto f = net::SplitText(line, ",");
        const auto bad = [&](const char* what) {
            error = path + ":" + std::to_string(lineNo) + ": " + what;
            return false;
        };
        if (f.size() != 25 && f.size() != 26)
            return bad("expected 25 or 26 fields (tick, 24 quote fields, volume)");
        const auto tick = ParseCount(f[0]);
        if (!tick || f[1].size() != 6 || f[1].find_first_not_of("0123456789") != std::string_view::npos)
            return bad("bad tick or code");
        CsvRow row{static_cast<std::uint64_t>(*tick), {}};
        Quote& q = row.quote;
        q.code = f[1];
        q.name = f[2];
        const auto last = ParseCents(f[3]);
        const auto prev = ParseCents(f[4]);
        if (!last || !prev || *prev <= 0)
            return bad("bad last price or previous close");
        q.last = *last;
        q.prevClose = *prev;
        q.limitPercent = LimitPercentFor(q.code, mainLimit_, growthLimit_);
        // A last price the day's limits forbid would be one no order could ever trade at.
        const net::PriceLimits limits = net::LimitPrices(q.prevClose, q.limitPercent);
        if (q.last <= 0 || q.last < limits.down || q.last > limits.up)
            return bad("last price outside the day's limits");
        for (int i = 0; i < 5; ++i) {
            const auto bp = ParseCents(f[5 + i]);
            const auto bv = ParseCount(f[10 + i]);
            const auto ap = ParseCents(f[15 + i]);
            const auto av = ParseCount(f[20 + i]);
            if (!bp || !bv || !ap || !av)
                return bad("bad book level");
            q.bids[i] = {*bp, *bp > 0 ? *bv : 0};
            q.asks[i] = {*ap, *ap > 0 ? *av : 0};
        }
        if (f.size() == 26) {
            const auto volume = ParseCount(f[25]);
            if (!volume)
                return bad("bad volume");
            row.volume = *volume;
        }
        if (!rows.empty() && rows.back().tick > row.tick)
            return bad("ticks must not decrease");
        rows.push_back(std::move(row));
    }
    if (rows.empty()) {
        error = path + ": no quotes";
        return false;
    }
    replay_ = true;
    rows_ = std::move(rows);
    nextRow_ = 0;
    quotes_.clear();
    index_.clear();
    held_.clear();
    ticks_ = 0;
    PinyinInitials initials;
    for (CsvRow& row : rows_) {
        if (!index_.contains(row.quote.code)) {
            index_[row.quote.code] = quotes_.size();
            quotes_.push_back(row.quote);
            quotes_.back().initials = initials.Of(row.quote.name);
        }
        row.quote.initials = quotes_[index_[row.quote.code]].initials;
    }
    SortByCode();
    held_ = quotes_;
    ApplyCsvTick(true);
    return true;
}

void Market::ApplyCsvTick(bool trade) {
    std::vector<std::size_t> traded;
    while (nextRow_ < rows_.size() && rows_[nextRow_].tick <= ticks_) {
        const std::size_t i = index_[rows_[nextRow_].quote.code];
        held_[i] = rows_[nextRow_].quote;
        if (trade) {
            // The day's figures live in quotes_, which the held book replaces below.
            quotes_[i].last = held_[i].last;
            Trade(quotes_[i], rows_[nextRow_].volume, held_[i].last);
        }
        ++nextRow_;
    }
    for (std::size_t i = 0; i < quotes_.size(); ++i) {
        const DayStats day = quotes_[i].day;
        quotes_[i] = held_[i];
        quotes_[i].day = day;
    }
}

void Market::ResumeReplay(std::uint64_t tick) {
    if (!replay_ || tick <= ticks_)
        return;
    ticks_ = tick;
    ApplyCsvTick(false);
}

std::int64_t Market::StepVolume(const Quote& q, double move) {
    // Cheap shares change hands by the thousand, dear ones by the lot; a big move draws more.
    std::lognormal_distribution<double> noise(0.0, 0.7);
    const double shares = kStepAmountCents / static_cast<double>(std::max<Cents>(q.last, 1)) * noise(rng_) *
                          (1.0 + 200.0 * std::abs(move));
    return std::max<std::int64_t>(1, std::llround(shares / 100.0)) * 100;
}

void Market::Advance() {
    ++ticks_;
    if (replay_) {
        ApplyCsvTick(true);
        return;
    }
    std::normal_distribution<double> step(0.0, 0.0015);
    for (Quote& q : quotes_) {
        // A small pull back toward the previous close keeps a long run from pinning at a limit.
        const double drift = 0.01 * (static_cast<double>(q.prevClose - q.last) / static_cast<double>(q.prevClose));
        const double r = step(rng_) + drift;
        Cents next = q.last + static_cast<Cents>(std::llround(static_cast<double>(q.last) * r));
        next = std::clamp(next, std::max<Cents>(q.LimitDown(), 1), q.LimitUp());
        q.last = next;
        Trade(q, StepVolume(q, r), next);
        BuildBook(q);
    }
}

void Market::BuildBook(Quote& q) {
    std::uniform_int_distribution<std::int64_t> lots(1, 400);
    const Cents up = q.LimitUp();
    const Cents down = std::max<Cents>(q.LimitDown(), 1);
    for (int i = 0; i < 5; ++i) {
        const Cents bid = q.last - i;
        const Cents ask = q.last + 1 + i;
        const std::int64_t bidVolume = lots(rng_) * 100;
        const std::int64_t askVolume = lots(rng_) * 100;
        q.bids[i] = bid >= down ? BookLevel{bid, bidVolume} : BookLevel{};
        q.asks[i] = ask <= up ? BookLevel{ask, askVolume} : BookLevel{};
    }
}

void Market::StartDay() {
    if (replay_) {
        for (Quote& q : held_)
            q.prevClose = q.last;
        quotes_ = held_; // the held book never carries day figures
        return;
    }
    for (Quote& q : quotes_) {
        q.prevClose = q.last;
        q.day = {};
        BuildBook(q);
    }
}

void Market::Rewind(Checkpoint checkpoint) {
    quotes_ = std::move(checkpoint.quotes);
    held_ = std::move(checkpoint.held);
    rng_ = checkpoint.rng;
    ticks_ = checkpoint.ticks;
    nextRow_ = checkpoint.nextRow;
}

void Market::Restore(std::string_view code, Cents prevClose, Cents last, const DayStats& day) {
    Quote* q = Find(code);
    if (q == nullptr || prevClose <= 0)
        return;
    q->day = day;
    if (replay_)
        return;
    q->prevClose = prevClose;
    q->last = std::clamp(last, std::max<Cents>(q->LimitDown(), 1), q->LimitUp());
    BuildBook(*q);
}

Quote* Market::Find(std::string_view code) {
    const auto it = index_.find(std::string(code));
    return it == index_.end() ? nullptr : &quotes_[it->second];
}

const Quote* Market::Find(std::string_view code) const {
    const auto it = index_.find(std::string(code));
    return it == index_.end() ? nullptr : &quotes_[it->second];
}

std::string Market::RecordText(const Quote& q) {
    net::RecordFields<net::kQuoteFieldCount> f;
    f[net::kQuoteCode] = q.code;
    f[net::kQuoteName] = q.name;
    f[net::kQuoteLast] = FormatCents(q.last);
    f[net::kQuotePrevClose] = FormatCents(q.prevClose);
    static_assert(std::tuple_size_v<decltype(q.bids)> == net::kQuoteLevels);
    for (int level = 0; level < net::kQuoteLevels; ++level) {
        const auto i = static_cast<std::size_t>(level);
        f[net::kQuoteBidPrice + level] = FormatCents(q.bids[i].price);
        f[net::kQuoteBidVolume + level] = std::to_string(q.bids[i].volume);
        f[net::kQuoteAskPrice + level] = FormatCents(q.asks[i].price);
        f[net::kQuoteAskVolume + level] = std::to_string(q.asks[i].volume);
    }
    std::string out;
    out.reserve(200);
    f.AppendRecord(out);
    return out;
}

std::string Market::BoardText(const Quote& q) {
    std::string out;
    out.reserve(96);
    net::AppendBoardRecord(out, {q.code, q.name, q.initials, q.prevClose, q.last, q.day.open, q.day.high, q.day.low,
                                 q.day.volume, q.day.amount});
    return out;
}

} // namespace server
