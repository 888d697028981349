#include "server/engine/RankingBoard.h"

#include <cstdio>

namespace server {
namespace {

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c; // UTF-8 passes through: JSON is UTF-8
            }
        }
    }
    out += '"';
}

} // namespace

RankingSnapshotPtr MakeRankingSnapshot(const std::vector<RankingRow>& rows, std::string day, std::string updated,
                                       MarketCloses market, std::int64_t index) {
    auto snapshot = std::make_shared<RankingSnapshot>();
    snapshot->day = std::move(day);
    snapshot->updated = std::move(updated);
    snapshot->market = std::move(market);
    snapshot->index = index;
    snapshot->rows.reserve(rows.size());
    int rank = 0;
    for (const RankingRow& r : rows)
        snapshot->rows.push_back(
            {++rank, r.id, r.name, r.cash + r.stockValue, r.initialCash, r.positions, r.pendingFlow, r.closes});
    return snapshot;
}

std::string MaskName(std::string_view utf8) {
    if (utf8.empty())
        return {};
    // The length of the first UTF-8 sequence from its lead byte; a stray byte counts as one.
    const auto lead = static_cast<unsigned char>(utf8[0]);
    std::size_t length = 1;
    if (lead >= 0xF0)
        length = 4;
    else if (lead >= 0xE0)
        length = 3;
    else if (lead >= 0xC0)
        length = 2;
    if (length > utf8.size())
        length = 1;
    return std::string(utf8.substr(0, length)) + "**";
}

std::string ReturnPercent(Cents total, Cents initialCash) {
    if (initialCash <= 0)
        return "0.00";
    // Hundredths of a percent, rounded half away from zero, in whole numbers.
    const Cents gain = total - initialCash;
    const __int128 scaled = static_cast<__int128>(gain) * 10000;
    __int128 hundredths = scaled / initialCash;
    const __int128 rest = scaled % initialCash;
    if (2 * (rest < 0 ? -rest : rest) >= initialCash)
        hundredths += gain < 0 ? -1 : 1;
    const bool negative = hundredths < 0;
    const auto magnitude = static_cast<long long>(negative ? -hundredths : hundredths);
    char text[40];
    std::snprintf(text, sizeof text, "%s%lld.%02lld", negative ? "-" : "", magnitude / 100, magnitude % 100);
    return text;
}

std::string RankingJson(const RankingSnapshot& snapshot, bool fullNames, std::optional<net::StandingPeriod> period) {
    std::string out;
    out.reserve(256 + snapshot.rows.size() * 112);
    out += "{\"day\":";
    AppendJsonString(out, snapshot.day);
    out += ",\"updated\":";
    AppendJsonString(out, snapshot.updated);
    if (period) {
        const StandingBook& book = snapshot.Standings();
        out += ",\"period\":\"" + std::string(net::PeriodName(*period)) + "\",\"index\":\"" +
               net::HundredthsText(snapshot.index) + "\",\"median\":\"" + net::HundredthsText(book.MedianHundredths()) +
               "\"";
    }
    out += ",\"rows\":[";
    const auto row = [&](const RankingEntry& e, int rank, const std::string& ret, const std::string* profit) {
        if (out.back() != '[')
            out += ',';
        out += "{\"rank\":" + std::to_string(rank) + ",\"name\":";
        AppendJsonString(out, fullNames ? e.name : MaskName(e.name));
        out += ",\"total\":\"" + FormatCents(e.total) + "\",\"return\":\"" + ret + "\"";
        if (profit)
            out += ",\"profit\":\"" + *profit + "\"";
        out += ",\"positions\":" + std::to_string(e.positions) + "}";
    };
    if (period) {
        const StandingBook& book = snapshot.Standings();
        for (const std::size_t i : book.Order(*period)) {
            const StandingBook::Figures& f = book.Of(*period, i);
            const std::string profit = FormatCents(f.profit);
            row(snapshot.rows[i], f.rank, net::HundredthsText(f.hundredths), &profit);
        }
    } else {
        for (const RankingEntry& e : snapshot.rows)
            row(e, e.rank, ReturnPercent(e.total, e.initialCash), nullptr);
    }
    out += "]}";
    return out;
}

RankingBoard::RankingBoard()
    : worker_([this] { Work(); }) {}

RankingBoard::~RankingBoard() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void RankingBoard::Publish(RankingSnapshotPtr snapshot) {
    {
        std::lock_guard lock(mutex_);
        if (current_) {
            waiting_ = std::move(snapshot);
            wake_.notify_one();
            return;
        }
    }
    snapshot->Standings();
    std::lock_guard lock(mutex_);
    current_ = std::move(snapshot);
}

RankingSnapshotPtr RankingBoard::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void RankingBoard::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || waiting_; });
        if (stopping_)
            return;
        RankingSnapshotPtr next = std::move(waiting_);
        lock.unlock();
        next->Standings();
        lock.lock();
        current_ = std::move(next);
    }
}

} // namespace server
