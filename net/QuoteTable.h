#pragma once

#include "net/Records.h"

#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <string_view>

namespace net {

// The latest quote of each subscribed security: 512 slots filled from slot 0 upward, a
// code in at most one slot, never emptied or reordered during the run. Searched linearly.
class QuoteTable final {
public:
    QuoteTable();

    // Network thread: overwrites the slot of the record's code, or takes the first empty
    // slot. Returns false (record dropped) when all slots hold other codes.
    bool Store(const QuoteRecord& record);

    // Any thread: copies the quote of `code` into `out`. False (out untouched) when no slot
    // matches. An empty code matches the first empty slot and yields a zero record.
    bool FindQuote(std::string_view code, QuoteRecord& out) const;
    // The same, and when the quote was last stored.
    bool FindQuote(std::string_view code, QuoteRecord& out, std::chrono::steady_clock::time_point& storedAt) const;

    // Number of slots in use.
    int Used() const;

private:
    mutable std::mutex mutex_;
    std::unique_ptr<std::array<QuoteRecord, kQuoteCapacity>> slots_;
    std::unique_ptr<std::array<std::chrono::steady_clock::time_point, kQuoteCapacity>> storedAt_;
    int used_ = 0;
    int nextProbe_ = 0; // where the next search for a code starts
};

} // namespace net
