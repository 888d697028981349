#include "wire/GbkText.h"

#include <cstring>

namespace net {

std::size_t GbkPrefixLength(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text.size();
    std::size_t i = 0;
    while (i < limit) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t width = (lead >= 0x81 && lead <= 0xFE && i + 1 < text.size()) ? 2 : 1;
        if (i + width > limit)
            break;
        i += width;
    }
    return i;
}

void StoreField(char* slot, std::size_t width, std::string_view text) {
    if (width == 0)
        return;
    const std::size_t n = GbkPrefixLength(text, width - 1);
    std::memcpy(slot, text.data(), n);
    std::memset(slot + n, 0, width - n);
}

} // namespace net
