#include "net/QuoteTable.h"

#include <cstring>

namespace net {

namespace {

// Codes are zero-padded to their slot width, so whole-slot equality is byte-for-byte text
// equality, and the slot's eight bytes are the code's key.
std::uint64_t KeyOf(const char (&code)[sizeof QuoteRecord::code]) {
    static_assert(sizeof code == sizeof(std::uint64_t));
    std::uint64_t key = 0;
    std::memcpy(&key, code, sizeof key);
    return key;
}

std::size_t BucketOf(std::uint64_t key, std::size_t size) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 32) & (size - 1);
}

} // namespace

QuoteTable::QuoteTable()
    : slots_(std::make_unique<std::array<QuoteRecord, kQuoteCapacity>>())
    , storedAt_(std::make_unique<std::array<std::chrono::steady_clock::time_point, kQuoteCapacity>>()) {
    index_.fill(-1);
}

int QuoteTable::SlotOf(const char (&code)[sizeof QuoteRecord::code]) const {
    const std::uint64_t key = KeyOf(code);
    for (std::size_t b = BucketOf(key, kIndexSize);; b = (b + 1) & (kIndexSize - 1)) {
        const int slot = index_[b];
        if (slot < 0 || KeyOf((*slots_)[static_cast<std::size_t>(slot)].code) == key)
            return slot;
    }
}

bool QuoteTable::Store(const QuoteRecord& record) {
    return StoreAll(&record, 1) == 1;
}

std::size_t QuoteTable::StoreAll(const QuoteRecord* records, std::size_t count) {
    const auto now = std::chrono::steady_clock::now();
    std::size_t stored = 0;
    std::lock_guard lock(mutex_);
    for (const QuoteRecord* record = records; record != records + count; ++record) {
        // A record without a code matches no used slot (their codes are not empty).
        const int known = record->code[0] != '\0' ? SlotOf(record->code) : -1;
        if (known >= 0) {
            (*slots_)[static_cast<std::size_t>(known)] = *record;
            (*storedAt_)[static_cast<std::size_t>(known)] = now;
            ++stored;
            continue;
        }
        if (used_ >= kQuoteCapacity)
            continue; // dropped: every slot holds another code
        // Slots fill from 0 upward and are never emptied, so the used ones are 0 … used_ − 1.
        (*slots_)[static_cast<std::size_t>(used_)] = *record;
        (*storedAt_)[static_cast<std::size_t>(used_)] = now;
        ++stored;
        // A record without a code leaves its slot looking empty: the next new code takes it.
        if (record->code[0] == '\0')
            continue;
        std::size_t b = BucketOf(KeyOf(record->code), kIndexSize);
        while (index_[b] >= 0)
            b = (b + 1) & (kIndexSize - 1);
        index_[b] = static_cast<std::int16_t>(used_);
        ++used_;
    }
    return stored;
}

bool QuoteTable::FindQuote(std::string_view code, QuoteRecord& out) const {
    std::chrono::steady_clock::time_point unused;
    return FindQuote(code, out, unused);
}

bool QuoteTable::FindQuote(std::string_view code, QuoteRecord& out,
                           std::chrono::steady_clock::time_point& storedAt) const {
    char key[sizeof QuoteRecord::code] = {};
    if (code.size() >= sizeof key)
        return false;
    std::memcpy(key, code.data(), code.size());
    std::lock_guard lock(mutex_);
    int slot = key[0] != '\0' ? SlotOf(key) : -1;
    // A code that starts empty can only be in an unused slot (those look empty, or hold the
    // last record that came without a code).
    for (int i = used_; key[0] == '\0' && slot < 0 && i < kQuoteCapacity; ++i)
        if (KeyOf((*slots_)[static_cast<std::size_t>(i)].code) == KeyOf(key))
            slot = i;
    if (slot < 0)
        return false;
    out = (*slots_)[static_cast<std::size_t>(slot)];
    storedAt = (*storedAt_)[static_cast<std::size_t>(slot)];
    return true;
}

int QuoteTable::Used() const {
    std::lock_guard lock(mutex_);
    return used_;
}

} // namespace net
