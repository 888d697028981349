#include "server/engine/SecuritiesFile.h"

#include "server/engine/GbkCodec.h"
#include "wire/SplitText.h"

#include <fstream>
#include <sstream>
#include <unordered_map>

namespace server {
namespace {

// Names longer than this do not fit the client's columns or a quote record.
constexpr std::size_t kMaxNameBytes = 48;
constexpr std::size_t kMaxSecurities = 20000;

bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || (length > 1 && c < 0xC2) || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<std::vector<Security>> LoadSecuritiesFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the securities file " + path;
        return std::nullopt;
    }
    std::stringstream whole;
    whole << in.rdbuf();
    std::string content = whole.str();
    if (content.starts_with("\xEF\xBB\xBF"))
        content.erase(0, 3);
    // One encoding for the whole file: UTF-8 when all of it reads as UTF-8, else GBK.
    const bool utf8 = IsUtf8(content);
    std::vector<Security> securities;
    std::unordered_map<std::string, int> lineOf;
    std::istringstream lines(content);
    std::string raw;
    int lineNo = 0;
    const auto bad = [&](const std::string& what) {
        error = path + ":" + std::to_string(lineNo) + ": " + what;
        return std::nullopt;
    };
    while (std::getline(lines, raw)) {
        ++lineNo;
        std::string line = raw;
        if (!utf8) {
            auto decoded = GbkToUtf8(raw);
            if (!decoded)
                return bad("neither UTF-8 nor GBK text");
            line = std::move(*decoded);
        }
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == '#')
            continue;
        const auto fields = net::SplitText(text, text.find(',') != std::string_view::npos ? "," : "\t");
        if (fields.size() != 3)
            return bad("expected code, name and previous close");
        const std::string_view code = Trim(fields[0]);
        const std::string_view name = Trim(fields[1]);
        if (code.size() != 6 || code.find_first_not_of("0123456789") != std::string_view::npos)
            return bad("the code must be six digits: " + std::string(code));
        if (const auto it = lineOf.find(std::string(code)); it != lineOf.end())
            return bad("code " + std::string(code) + " already listed on line " + std::to_string(it->second));
        if (name.empty() || name.size() > kMaxNameBytes || name.find('|') != std::string_view::npos)
            return bad("the name must be 1 to " + std::to_string(kMaxNameBytes) + " bytes without '|'");
        for (const char c : name)
            if (static_cast<unsigned char>(c) < 0x20)
                return bad("control character in the name");
        const auto prevClose = ParseCents(Trim(fields[2]));
        if (!prevClose || *prevClose <= 0)
            return bad("the previous close must be a positive price with at most two decimals");
        if (securities.size() == kMaxSecurities)
            return bad("more than " + std::to_string(kMaxSecurities) + " securities");
        lineOf.emplace(code, lineNo);
        securities.push_back({std::string(code), std::string(name), *prevClose});
    }
    if (securities.empty()) {
        error = path + ": no securities";
        return std::nullopt;
    }
    return securities;
}

std::vector<SecurityInfo> SecurityViews(const std::vector<Security>& securities) {
    std::vector<SecurityInfo> views;
    views.reserve(securities.size());
    for (const Security& s : securities)
        views.push_back({s.code, s.name, s.prevClose});
    return views;
}

} // namespace server
