#include "server/engine/QueryString.h"

#include "wire/SplitText.h"

#include <algorithm>

namespace server {

std::optional<QueryString> QueryString::Parse(std::string_view body) {
    QueryString query;
    if (body.empty())
        return query;
    // Counting the separators first keeps a body of thousands of keys from costing more
    // than one pass; the duplicate check below is then bounded by the cap squared.
    if (static_cast<std::size_t>(std::count(body.begin(), body.end(), '&')) >= kMaxPieces)
        return std::nullopt;
    for (std::string_view piece : net::SplitText(body, "&")) {
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos || eq == 0)
            return std::nullopt;
        const std::string_view key = piece.substr(0, eq);
        if (query.Has(key))
            return std::nullopt;
        query.pairs_.emplace_back(std::string(key), std::string(piece.substr(eq + 1)));
    }
    return query;
}

bool QueryString::Has(std::string_view key) const {
    for (const auto& [k, v] : pairs_)
        if (k == key)
            return true;
    return false;
}

std::string_view QueryString::Get(std::string_view key) const {
    for (const auto& [k, v] : pairs_)
        if (k == key)
            return v;
    return {};
}

} // namespace server
