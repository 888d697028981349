#pragma once

#include <unicode/uversion.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

U_NAMESPACE_BEGIN
class Transliterator;
U_NAMESPACE_END

namespace server {

// The pinyin initials of a security's name in capitals, the way contestants look a security
// up ("浦发银行" → "PFYH", "TCL科技" → "TCLKJ", "*ST国华" → "STGH"): each Chinese character
// gives the first letter of its reading, Latin letters and digits stay (full-width ones made
// plain), anything else is left out. Readings come from ICU's Han-Latin transliterator: for
// the common ideographs and the full-width forms from a table made with it at build time, for
// any other character from the transliterator itself, built when first needed.
// Not thread-safe; made once when the securities are loaded.
class PinyinInitials final {
public:
    PinyinInitials();
    ~PinyinInitials();
    PinyinInitials(const PinyinInitials&) = delete;
    PinyinInitials& operator=(const PinyinInitials&) = delete;

    // `name` in UTF-8.
    std::string Of(std::string_view name);

private:
    char InitialOf(int codePoint);

    std::unique_ptr<icu::Transliterator> toLatin_; // once a character outside the table comes
    std::unordered_map<int, char> known_;          // a character's initial, 0 for none
};

} // namespace server
