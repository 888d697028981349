#include "net/QuoteTable.h"

#include "wire/GbkText.h"

#include <cstring>

namespace net {

namespace {

// Codes are zero-padded to their slot width, so whole-slot equality is byte-for-byte text
// equality.
bool SameCode(const QuoteRecord& a, const char (&code)[sizeof QuoteRecord::code]) {
    return std::memcmp(a.code, code, sizeof a.code) == 0;
}

} // namespace

QuoteTable::QuoteTable()
    : slots_(std::make_unique<std::array<QuoteRecord, kQuoteCapacity>>())
    , storedAt_(std::make_unique<std::array<std::chrono::steady_clock::time_point, kQuoteCapacity>>()) {}

bool QuoteTable::Store(const QuoteRecord& record) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    // Slots fill from 0 upward and are never emptied, so the used ones are 0 … used_ − 1.
    // Updates tend to list their codes in the same order each time, so the search starts
    // behind the previous hit; it still visits every used slot, and a code has one slot.
    for (int n = 0, i = nextProbe_; n < used_; ++n, ++i) {
        if (i >= used_)
            i = 0;
        if (SameCode((*slots_)[i], record.code)) {
            (*slots_)[i] = record;
            (*storedAt_)[i] = now;
            nextProbe_ = i + 1;
            return true;
        }
    }
    if (used_ >= kQuoteCapacity)
        return false;
    (*slots_)[used_] = record;
    (*storedAt_)[used_] = now;
    // A record without a code leaves its slot looking empty: the next new code takes it.
    if (record.code[0] != '\0')
        ++used_;
    return true;
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
    for (std::size_t i = 0; i < slots_->size(); ++i) {
        if (SameCode((*slots_)[i], key)) {
            out = (*slots_)[i];
            storedAt = (*storedAt_)[i];
            return true;
        }
    }
    return false;
}

int QuoteTable::Used() const {
    std::lock_guard lock(mutex_);
    return used_;
}

} // namespace net
