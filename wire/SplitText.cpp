#include "wire/SplitText.h"

namespace net {

void SplitTextInto(std::string_view text, std::string_view separator, std::vector<std::string_view>& pieces) {
    pieces.clear();
    if (separator.empty()) {
        pieces.push_back(text);
        return;
    }
    // A one-byte separator (every table reply) takes the faster character search.
    const bool single = separator.size() == 1;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = single ? text.find(separator[0], start) : text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

std::vector<std::string_view> SplitText(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    SplitTextInto(text, separator, pieces);
    return pieces;
}

} // namespace net
