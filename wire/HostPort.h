#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A server's address as the command lines take it: the server's --listen and --http, the
// client's --server.
namespace net {

struct HostPort {
    std::string host; // without the brackets of an IPv6 address
    std::uint16_t port = 0;
};

// "HOST:PORT" or "[IPv6]:PORT", the port 0 to 65535 in at most five digits; with a default
// port also "HOST" and "[IPv6]" alone. An IPv6 address needs its brackets (in "::1:80" the
// port could not be told), and a host is not empty and holds no blank. Nothing for anything
// else.
std::optional<HostPort> ParseHostPort(std::string_view text, std::optional<std::uint16_t> defaultPort = std::nullopt);

} // namespace net
