#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace net {

// The current quote subscription list: codes joined by "," without blanks, empty at start.
// Written by the network thread (positions stored) and the order forms; guarded so that
// every reader sees a whole list.
class QuoteCodes final {
public:
    std::string Get() const;
    void Set(std::string list);
    bool Empty() const;

    // Appends every code of the comma-separated `codes` that is not yet in the list (whole
    // codes between commas are compared) and returns the resulting list; `added` tells
    // whether any code was appended.
    std::string Add(std::string_view codes, bool* added = nullptr);

    // Stores `list` when it differs from the current list; true when it was stored.
    bool ReplaceIfDifferent(const std::string& list);

private:
    mutable std::mutex mutex_;
    std::string list_;
};

} // namespace net
