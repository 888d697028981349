#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace server {

// Text crosses the wire as GBK; the server works in UTF-8 and converts at the socket.
// Unconvertible characters are replaced by '?' on the way out.
std::string Utf8ToGbk(std::string_view utf8);

// Empty when `gbk` is not valid GBK: such a body is malformed and gets rejected.
std::optional<std::string> GbkToUtf8(std::string_view gbk);

} // namespace server
