#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace server {

// The quote records of one market tick, already in GBK: built once, shared by every
// connection that pushes them.
struct QuoteSnapshot {
    std::uint64_t tick = 0;
    std::unordered_map<std::string, std::string> records; // code → "fields...|"
    std::vector<std::string> board;                       // board records in code order

    // The market's state at this tick as clients are told it (UTF-8); empty when the server
    // does not trade by the exchange's calendar and tells nothing.
    std::string phase;
};

using QuoteSnapshotPtr = std::shared_ptr<const QuoteSnapshot>;

} // namespace server
