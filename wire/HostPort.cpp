#include "wire/HostPort.h"

namespace net {

namespace {

std::optional<std::uint16_t> ParsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    unsigned value = 0;
    for (char c : digits)
        value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

} // namespace

std::optional<HostPort> ParseHostPort(std::string_view text, std::optional<std::uint16_t> defaultPort) {
    std::string_view host;
    std::string_view rest; // what follows the host: empty or ":PORT"
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
    } else {
        const std::size_t colon = text.find(':');
        host = text.substr(0, colon);
        // An unbracketed IPv6 address leaves an empty host or a port that is not digits.
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (host.empty() || host.find_first_of(" \t") != std::string_view::npos)
        return std::nullopt;
    std::optional<std::uint16_t> port = defaultPort;
    if (!rest.empty()) {
        if (rest.front() != ':')
            return std::nullopt;
        port = ParsePort(rest.substr(1));
    }
    if (!port)
        return std::nullopt;
    return HostPort{std::string(host), *port};
}

} // namespace net
