#include "server/market/Market.h"

#include "server/market/Securities.h"
#include "wire/SplitText.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace server {

Market::Market(std::uint64_t seed, int mainLimitPercent, int growthLimitPercent)
    : rng_(seed)
    , mainLimit_(mainLimitPercent)
    , growthLimit_(growthLimitPercent) {
    for (const SecurityInfo& s : DefaultSecurities())
        AddSecurity(s.code, s.name, s.basePrice);
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
    index_[q.code] = quotes_.size();
    quotes_.push_back(std::move(q));
}

bool Market::LoadCsv(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
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
        if (f.size() != 25)
            return bad("expected 25 fields (tick and 24 quote fields)");
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
    for (const CsvRow& row : rows_) {
        if (!index_.contains(row.quote.code)) {
            index_[row.quote.code] = quotes_.size();
            quotes_.push_back(row.quote);
            held_.push_back(row.quote);
        }
    }
    ApplyCsvTick();
    return true;
}

void Market::ApplyCsvTick() {
    while (nextRow_ < rows_.size() && rows_[nextRow_].tick <= ticks_) {
        const Quote& q = rows_[nextRow_].quote;
        held_[index_[q.code]] = q;
        ++nextRow_;
    }
    quotes_ = held_;
}

void Market::Advance() {
    ++ticks_;
    if (replay_) {
        ApplyCsvTick();
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
        quotes_ = held_;
        return;
    }
    for (Quote& q : quotes_) {
        q.prevClose = q.last;
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

void Market::Restore(std::string_view code, Cents prevClose, Cents last) {
    Quote* q = Find(code);
    if (q == nullptr || replay_ || prevClose <= 0)
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
    std::string out;
    out.reserve(200);
    out.append(q.code).append(",").append(q.name);
    out.append(",").append(FormatCents(q.last)).append(",").append(FormatCents(q.prevClose));
    for (const BookLevel& l : q.bids)
        out.append(",").append(FormatCents(l.price));
    for (const BookLevel& l : q.bids)
        out.append(",").append(std::to_string(l.volume));
    for (const BookLevel& l : q.asks)
        out.append(",").append(FormatCents(l.price));
    for (const BookLevel& l : q.asks)
        out.append(",").append(std::to_string(l.volume));
    out.push_back('|');
    return out;
}

} // namespace server
