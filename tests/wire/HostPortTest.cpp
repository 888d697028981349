#include "wire/HostPort.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct Case {
    const char* text;
    std::optional<std::uint16_t> defaultPort;
    bool valid;
    const char* host;
    std::uint16_t port;
};

TEST(HostPortTest, HostsWithPortsAndIpv6InBrackets) {
    const Case cases[] = {
        {"127.0.0.1:9690", std::nullopt, true, "127.0.0.1", 9690},
        {"localhost:0", std::nullopt, true, "localhost", 0},
        {"h:65535", std::nullopt, true, "h", 65535},
        {"[::1]:9690", std::nullopt, true, "::1", 9690},
        {"[fe80::1%eth0]:80", std::nullopt, true, "fe80::1%eth0", 80},
        {"10.0.0.5", 9690, true, "10.0.0.5", 9690},
        {"[::1]", 9690, true, "::1", 9690},
        {"localhost:7000", 9690, true, "localhost", 7000},
    };
    for (const Case& c : cases) {
        const auto address = net::ParseHostPort(c.text, c.defaultPort);
        ASSERT_TRUE(address) << c.text;
        EXPECT_EQ(address->host, c.host) << c.text;
        EXPECT_EQ(address->port, c.port) << c.text;
    }
}

TEST(HostPortTest, RefusesWhatNamesNoAddress) {
    const Case cases[] = {
        {"localhost", std::nullopt, false, "", 0}, // no port and no default
        {"[::1]", std::nullopt, false, "", 0},
        {"h:", 9690, false, "", 0},
        {":80", 9690, false, "", 0},
        {"h:70000", 9690, false, "", 0},
        {"h:65536", 9690, false, "", 0},
        {"h:000080", 9690, false, "", 0},
        {"h:x1", 9690, false, "", 0},
        {"h:-1", 9690, false, "", 0},
        {"::1", 9690, false, "", 0}, // IPv6 without brackets
        {"::1:80", std::nullopt, false, "", 0},
        {"[::1]80", 9690, false, "", 0},
        {"[::1:80", 9690, false, "", 0},
        {"[]:80", 9690, false, "", 0},
        {"a b:80", 9690, false, "", 0},
        {"", 9690, false, "", 0},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(net::ParseHostPort(c.text, c.defaultPort)) << c.text;
}

} // namespace
