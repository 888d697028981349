#include "server/market/PinyinInitials.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <array>
#include <stdexcept>

namespace server {
namespace pinyin_table {        // made at build time (MakePinyinTable.cpp); '.' where there is no initial
extern const char kHan[];       // U+4E00 to U+9FFF
extern const char kFullwidth[]; // U+FF00 to U+FFEF
} // namespace pinyin_table
namespace {

// ICU gives each character one reading, its most common one. In these words of securities'
// names the character is read otherwise (银行 is yín háng, 重庆 chóng qìng, 长江 cháng jiāng):
// the words are matched first, longest first.
struct WordInitials {
    std::u16string_view word;
    std::string_view initials;
};
constexpr std::array kWordInitials = {
    WordInitials{u"银行", "YH"}, WordInitials{u"厦门", "XM"}, WordInitials{u"重庆", "CQ"},
    WordInitials{u"长", "C"},    WordInitials{u"重", "Z"},
};

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

PinyinInitials::PinyinInitials() = default;

PinyinInitials::~PinyinInitials() = default;

char PinyinInitials::InitialOf(int codePoint) {
    if (codePoint < 0x80)
        return IsAsciiAlnum(static_cast<char>(codePoint)) ? Upper(static_cast<char>(codePoint)) : 0;
    const char* table = codePoint >= 0x4E00 && codePoint <= 0x9FFF   ? pinyin_table::kHan + (codePoint - 0x4E00)
                        : codePoint >= 0xFF00 && codePoint <= 0xFFEF ? pinyin_table::kFullwidth + (codePoint - 0xFF00)
                                                                     : nullptr;
    if (table)
        return *table == '.' ? 0 : *table;
    if (const auto it = known_.find(codePoint); it != known_.end())
        return it->second;
    // A character outside the table's blocks (a rarer ideograph): the transliterator is built
    // the first time one is met.
    if (!toLatin_) {
        UErrorCode status = U_ZERO_ERROR;
        toLatin_.reset(
            icu::Transliterator::createInstance("Han-Latin; Fullwidth-Halfwidth; Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status) || !toLatin_)
            throw std::runtime_error(std::string("ICU's Han-Latin transliterator is missing: ") + u_errorName(status));
    }
    icu::UnicodeString text(static_cast<UChar32>(codePoint));
    toLatin_->transliterate(text);
    std::string latin;
    text.toUTF8String(latin);
    char initial = 0;
    for (const char c : latin) {
        if (IsAsciiAlnum(c)) {
            initial = Upper(c);
            break;
        }
    }
    known_.emplace(codePoint, initial);
    return initial;
}

std::string PinyinInitials::Of(std::string_view name) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), name.size()));
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text.getBuffer()),
                                    static_cast<std::size_t>(text.length()));
    std::string out;
    std::size_t i = 0;
    while (i < units.size()) {
        bool matched = false;
        for (const WordInitials& w : kWordInitials) {
            if (units.substr(i).starts_with(w.word)) {
                out += w.initials;
                i += w.word.size();
                matched = true;
                break;
            }
        }
        if (matched)
            continue;
        const UChar32 codePoint = text.char32At(static_cast<int32_t>(i));
        if (const char initial = InitialOf(codePoint))
            out.push_back(initial);
        i += U16_LENGTH(codePoint);
    }
    return out;
}

} // namespace server
