#pragma once

#include "wire/MarketRecords.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// The bars of one security and period.
struct BarKey {
    std::string code;
    BarPeriod period = BarPeriod::kMinute;
    bool operator<(const BarKey& other) const { return code != other.code ? code < other.code : period < other.period; }
    bool operator==(const BarKey&) const = default;
};

// What the link knows of the market beyond the subscribed quotes: the quote board and the
// bars, as the last answers left them, and the requests still waiting for an answer. The
// server answers a connection's requests in order, and an answer names no request, so each
// answer belongs to the oldest request of its kind. A server that does not know these
// requests never answers: a request older than kAnswerWait marks the market service as
// unavailable until the connection is made anew. Any thread; held only while copying.
class MarketData final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kAnswerWait{3000};

    enum class Service { kWaiting, kAvailable, kUnavailable };

    struct BoardRequest {
        int start = 0;
        int count = 0;
        bool wholeBoard = false; // part of a pass over every security: the next page follows
        Clock::time_point sentAt;
    };

    // --- the quote board ----------------------------------------------------------------
    void BoardRequested(const BoardRequest& request);
    // Merges `rows` (by code) and returns the request they answer; empty when none waited.
    std::optional<BoardRequest> BoardAnswered(const std::vector<BoardRecord>& rows);
    // Every security known, in code order.
    std::vector<BoardRecord> Board() const;
    std::optional<BoardRecord> Row(std::string_view code) const;
    // Where `code` stands in the board's code order; -1 when it is not known.
    int Position(std::string_view code) const;
    // Grows with every answer that changed the board.
    std::uint64_t BoardVersion() const;
    bool BoardPending() const;
    Service BoardService(Clock::time_point now) const;

    // --- bars -----------------------------------------------------------------------------
    void BarsRequested(const BarKey& key, Clock::time_point sentAt);
    // Replaces the bars of the oldest waiting request's security and period.
    void BarsAnswered(std::vector<BarRecord> bars);
    std::vector<BarRecord> Bars(const BarKey& key) const;
    // Grows with every answer for `key`; 0 before the first.
    std::uint64_t BarsVersion(const BarKey& key) const;
    bool BarsPending(const BarKey& key) const;
    Service BarsService(Clock::time_point now) const;

    // A new connection: the requests sent on the old one will not be answered.
    void ForgetPending();

private:
    template <typename Queue>
    Service ServiceOf(const Queue& pending, bool answered, Clock::time_point now) const;

    mutable std::mutex mutex_;
    std::map<std::string, BoardRecord, std::less<>> board_;
    std::uint64_t boardVersion_ = 0;
    bool boardAnswered_ = false;
    std::deque<BoardRequest> boardPending_;

    struct BarSeries {
        std::vector<BarRecord> bars;
        std::uint64_t version = 0;
    };
    struct BarRequest {
        BarKey key;
        Clock::time_point sentAt;
    };
    std::map<BarKey, BarSeries> bars_;
    bool barsAnswered_ = false;
    std::deque<BarRequest> barsPending_;
};

} // namespace net
