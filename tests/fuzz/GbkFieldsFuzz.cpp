// The GBK field cuts: a text stored into a slot of any width stays inside the slot,
// zero-terminated and zero-filled, as a prefix of the text that ends on a character
// boundary. The first byte picks the width.
#include "FuzzCheck.h"

#include "wire/GbkText.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>

namespace {

bool IsLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t width = data[0] % 40 + 1;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::size_t limit = width - 1;
    const std::size_t prefix = net::GbkPrefixLength(text, limit);
    if (text.size() <= limit)
        FUZZ_CHECK(prefix == text.size());
    else
        FUZZ_CHECK(prefix == limit || prefix + 1 == limit); // at most the lead byte is left out
    // Walking the prefix character by character lands exactly on its end.
    std::size_t i = 0;
    while (i < prefix)
        i += IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    FUZZ_CHECK(i == prefix);

    // Exactly `width` bytes on the heap: a write past the slot is caught by the sanitizer.
    const auto slot = std::make_unique<char[]>(width);
    std::fill(slot.get(), slot.get() + width, '\x55');
    net::StoreField(slot.get(), width, text);
    FUZZ_CHECK(text.substr(0, prefix) == std::string_view(slot.get(), prefix));
    for (std::size_t k = prefix; k < width; ++k)
        FUZZ_CHECK(slot[k] == '\0');
    return 0;
}
