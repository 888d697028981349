#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace server {

// The parameters of a request body "key=value&key=value". Values are taken verbatim
// (the protocol has no escaping). A piece without '=' or a key that appears twice makes
// the whole body invalid: a value holding "&curuser=..." can never smuggle in a key.
class QueryString final {
public:
    // Bodies of more pieces than any request has are refused unread.
    static constexpr std::size_t kMaxPieces = 64;

    static std::optional<QueryString> Parse(std::string_view body);

    bool Has(std::string_view key) const;
    // The value, or an empty text when the key is absent.
    std::string_view Get(std::string_view key) const;

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
};

} // namespace server
