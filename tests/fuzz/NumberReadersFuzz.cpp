// The number readers follow the C library's conversions (leading blanks, one sign, the
// longest valid prefix) but never its locale: compared with strtoll and strtod in the "C"
// locale, on the texts both define alike.
#include "FuzzCheck.h"

#include "wire/Frame.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The C functions stop at a zero byte; so must the wire texts they are compared on.
    const std::string c(text.substr(0, text.find('\0')));

    const long long integer = net::LeadingInteger(c);
    const long long expected = std::strtoll(c.c_str(), nullptr, 10);
    // Beyond the range both saturate; on the negative side one step apart.
    FUZZ_CHECK(integer == expected || (expected == LLONG_MIN && integer == -LLONG_MAX));
    FUZZ_CHECK(net::LeadingInteger(text) == integer); // a zero byte ends the digits as well

    // Hexadecimal and "inf"/"nan" spellings are the C library's extensions, not wire numbers.
    if (c.find_first_of("xXiInN") == std::string::npos) {
        const double value = net::LeadingDouble(c);
        const double reference = std::strtod(c.c_str(), nullptr);
        FUZZ_CHECK(value == reference || (std::isnan(value) && std::isnan(reference)));
    }
    const int command = net::ParseCommand(text);
    FUZZ_CHECK(command >= -99 && command <= 999);
    return 0;
}
