#pragma once

#include <string_view>
#include <vector>

namespace net {

// Cuts `text` at every occurrence of `separator`, left to right. Every piece counts,
// empty ones included, and the remainder after the last separator is always kept:
// "a,b" → 2 pieces, "a,b," → 3, "" → 1 empty piece. The pieces view into `text`.
std::vector<std::string_view> SplitText(std::string_view text, std::string_view separator);

// The same into a caller-owned vector, reusing its capacity (no allocation once warm).
void SplitTextInto(std::string_view text, std::string_view separator, std::vector<std::string_view>& pieces);

} // namespace net
