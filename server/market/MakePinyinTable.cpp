// Writes the table PinyinInitials looks characters up in, at build time: for every character of
// the CJK block (U+4E00 to U+9FFF) and of the full-width forms (U+FF00 to U+FFEF), the first
// Latin letter or digit that ICU's Han-Latin transliterator gives it, in capitals, or '.' for
// none. Building the transliterator compiles tens of thousands of rules (a third of a second):
// done here once, no server start pays for it unless a name holds a character outside these.
//
//   pinyin_table_maker OUTPUT.cpp

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

char InitialOf(icu::Transliterator& toLatin, UChar32 codePoint) {
    icu::UnicodeString text(codePoint);
    toLatin.transliterate(text);
    std::string latin;
    text.toUTF8String(latin);
    for (const char c : latin) {
        if (c >= 'a' && c <= 'z')
            return static_cast<char>(c - 'a' + 'A');
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            return c;
    }
    return '.';
}

void WriteBlock(std::ofstream& out, icu::Transliterator& toLatin, const char* name, UChar32 first, UChar32 last) {
    out << "extern const char " << name << "[] =";
    for (UChar32 c = first; c <= last; ++c) {
        if ((c - first) % 96 == 0)
            out << "\n    \"";
        out << InitialOf(toLatin, c);
        if ((c - first) % 96 == 95 || c == last)
            out << '"';
    }
    out << ";\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pinyin_table_maker OUTPUT.cpp\n");
        return 2;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> toLatin(
        icu::Transliterator::createInstance("Han-Latin; Fullwidth-Halfwidth; Latin-ASCII", UTRANS_FORWARD, status));
    if (U_FAILURE(status) || !toLatin) {
        std::fprintf(stderr, "pinyin_table_maker: ICU's Han-Latin transliterator is missing: %s\n",
                     u_errorName(status));
        return 1;
    }
    std::ofstream out(argv[1], std::ios::trunc);
    out << "// Made by server/market/MakePinyinTable.cpp from ICU's Han-Latin transliterator.\n"
           "namespace server::pinyin_table {\n";
    WriteBlock(out, *toLatin, "kHan", 0x4E00, 0x9FFF);
    WriteBlock(out, *toLatin, "kFullwidth", 0xFF00, 0xFFEF);
    out << "} // namespace server::pinyin_table\n";
    out.close();
    if (!out) {
        std::fprintf(stderr, "pinyin_table_maker: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
