#pragma once

#include "net/Records.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

namespace net {

// The latest quote of each subscribed security: 512 slots filled from slot 0 upward, a
// code in at most one slot, never emptied or reordered during the run. An index from code
// to slot finds a code's slot whatever order updates list their codes in.
class QuoteTable final {
public:
    QuoteTable();

    // Network thread: overwrites the slot of the record's code, or takes the first empty
    // slot. Returns false (record dropped) when all slots hold other codes.
    bool Store(const QuoteRecord& record);
    // Network thread: the records of one update, in order, under one lock and with one time
    // (a reader sees the update whole or not at all). Returns how many were stored.
    std::size_t StoreAll(const QuoteRecord* records, std::size_t count);

    // Any thread: copies the quote of `code` into `out`. False (out untouched) when no slot
    // matches. An empty code matches the first empty slot and yields a zero record.
    bool FindQuote(std::string_view code, QuoteRecord& out) const;
    // The same, and when the quote was last stored.
    bool FindQuote(std::string_view code, QuoteRecord& out, std::chrono::steady_clock::time_point& storedAt) const;

    // Number of slots in use.
    int Used() const;

private:
    static constexpr std::size_t kIndexSize = 1024; // a power of two, twice the slots
    // The slot of a non-empty code, −1 when it has none. Caller holds the lock.
    int SlotOf(const char (&code)[sizeof QuoteRecord::code]) const;

    mutable std::mutex mutex_;
    std::unique_ptr<std::array<QuoteRecord, kQuoteCapacity>> slots_;
    std::unique_ptr<std::array<std::chrono::steady_clock::time_point, kQuoteCapacity>> storedAt_;
    int used_ = 0;
    // Open addressing over the codes of the used slots: a slot number, or −1 for none.
    std::array<std::int16_t, kIndexSize> index_;
};

} // namespace net
