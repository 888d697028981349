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

RankingSnapshotPtr MakeRankingSnapshot(const std::vector<RankingRow>& rows, std::string day, std::string updated) {
    auto snapshot = std::make_shared<RankingSnapshot>();
    snapshot->day = std::move(day);
    snapshot->updated = std::move(updated);
    snapshot->rows.reserve(rows.size());
    int rank = 0;
    for (const RankingRow& r : rows)
        snapshot->rows.push_back({++rank, r.name, r.cash + r.stockValue, r.initialCash, r.positions});
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

std::string RankingJson(const RankingSnapshot& snapshot, bool fullNames) {
    std::string out;
    out.reserve(128 + snapshot.rows.size() * 96);
    out += "{\"day\":";
    AppendJsonString(out, snapshot.day);
    out += ",\"updated\":";
    AppendJsonString(out, snapshot.updated);
    out += ",\"rows\":[";
    bool first = true;
    for (const RankingEntry& e : snapshot.rows) {
        if (!first)
            out += ',';
        first = false;
        out += "{\"rank\":" + std::to_string(e.rank) + ",\"name\":";
        AppendJsonString(out, fullNames ? e.name : MaskName(e.name));
        out += ",\"total\":\"" + FormatCents(e.total) + "\",\"return\":\"" + ReturnPercent(e.total, e.initialCash) +
               "\",\"positions\":" + std::to_string(e.positions) + "}";
    }
    out += "]}";
    return out;
}

} // namespace server
