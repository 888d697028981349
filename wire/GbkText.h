#pragma once

#include <cstddef>
#include <string_view>

namespace net {

// Length of the longest prefix of `text` that has at most `limit` bytes and does not end
// inside a two-byte GBK character (lead byte 0x81–0xFE followed by its trail byte).
std::size_t GbkPrefixLength(std::string_view text, std::size_t limit);

// Copies `text` into a zero-terminated slot of `width` bytes. A text longer than
// width − 1 bytes is cut at a character boundary; the rest of the slot is zero.
void StoreField(char* slot, std::size_t width, std::string_view text);

template <std::size_t N>
void StoreField(char (&slot)[N], std::string_view text) {
    StoreField(slot, N, text);
}

// The text of a zero-terminated slot (never reads past the slot).
template <std::size_t N>
std::string_view FieldText(const char (&slot)[N]) {
    std::size_t n = 0;
    while (n < N && slot[n] != '\0')
        ++n;
    return {slot, n};
}

template <std::size_t N>
bool FieldEmpty(const char (&slot)[N]) {
    return slot[0] == '\0';
}

} // namespace net
