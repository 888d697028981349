#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace net {

// A fixed-capacity table of plain records that the network thread replaces whole while
// other threads read it. The lock is held only while the records are copied in or out,
// so a reader always gets whole records and never waits for a notification.
template <typename Record, std::size_t Capacity>
class SharedTable final {
public:
    using Slots = std::array<Record, Capacity>;
    static constexpr std::size_t kCapacity = Capacity;

    // `exists` false: the table comes into being only with Create() (the history tables
    // are created by the initial load; replies that arrive before are dropped).
    explicit SharedTable(bool exists = true) {
        if (exists)
            Create();
    }

    // Creates the zeroed table; a table that exists already is left as it is.
    void Create() {
        std::lock_guard lock(mutex_);
        if (!slots_)
            slots_ = std::make_unique<Slots>(Slots{});
    }

    bool Exists() const {
        std::lock_guard lock(mutex_);
        return slots_ != nullptr;
    }

    // Replaces every slot. Returns false (and stores nothing) while the table does not exist.
    // (The parameter is not called `slots`: Qt defines that word as a macro.)
    bool Store(const Slots& records) {
        std::lock_guard lock(mutex_);
        if (!slots_)
            return false;
        *slots_ = records;
        return true;
    }

    // A copy of slot i; a zero record when the table does not exist or i is out of range.
    Record At(std::size_t i) const {
        std::lock_guard lock(mutex_);
        if (!slots_ || i >= Capacity)
            return Record{};
        return (*slots_)[i];
    }

    // Copies of the records from slot 0 up to (not including) the first whose `key` field
    // is empty: the walk every reader of a table makes.
    template <std::size_t N>
    std::vector<Record> Rows(char (Record::*key)[N]) const {
        std::vector<Record> rows;
        std::lock_guard lock(mutex_);
        if (!slots_)
            return rows;
        for (const Record& r : *slots_) {
            if ((r.*key)[0] == '\0')
                break;
            rows.push_back(r);
        }
        return rows;
    }

    // Number of records before the first whose `key` field is empty.
    template <std::size_t N>
    std::size_t Count(char (Record::*key)[N]) const {
        std::lock_guard lock(mutex_);
        if (!slots_)
            return 0;
        std::size_t n = 0;
        while (n < Capacity && ((*slots_)[n].*key)[0] != '\0')
            ++n;
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::unique_ptr<Slots> slots_;
};

// One record replaced whole (the funds record).
template <typename Record>
class SharedRecord final {
public:
    void Store(const Record& r) {
        std::lock_guard lock(mutex_);
        record_ = r;
    }
    Record Get() const {
        std::lock_guard lock(mutex_);
        return record_;
    }

private:
    mutable std::mutex mutex_;
    Record record_{};
};

} // namespace net
