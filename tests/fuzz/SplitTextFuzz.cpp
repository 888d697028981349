// Text splitting: the pieces joined with the separator give back the text, and both forms
// of the call cut alike. The first byte picks the separator length.
#include "FuzzCheck.h"

#include "wire/SplitText.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t separatorLength = std::min<std::size_t>(data[0] % 4, size - 1);
    const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string_view separator = all.substr(0, separatorLength);
    const std::string_view text = all.substr(separatorLength);
    if (separator.empty())
        return 0; // not a separator any caller uses

    const std::vector<std::string_view> pieces = net::SplitText(text, separator);
    FUZZ_CHECK(!pieces.empty());
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            joined.append(separator);
        joined.append(pieces[i]);
        // Every piece views into the text itself.
        FUZZ_CHECK(pieces[i].data() >= text.data() && pieces[i].data() + pieces[i].size() <= text.data() + text.size());
    }
    FUZZ_CHECK(joined == text);
    std::vector<std::string_view> again{std::string_view("stale")};
    net::SplitTextInto(text, separator, again);
    FUZZ_CHECK(again == pieces);
    return 0;
}
