#include "market/Watchlist.h"

#include "core/IniFile.h"
#include "wire/SplitText.h"

#include <algorithm>

namespace watchlist {

namespace {

std::string Section(const std::string& user) {
    return "watch_" + user;
}

std::string Key(std::size_t i) {
    return "codes" + std::to_string(i);
}

} // namespace

std::vector<std::string> Load(const std::string& iniPath, const std::string& user) {
    const CIniFile ini(iniPath);
    std::vector<std::string> codes;
    for (std::size_t i = 0;; ++i) {
        const std::string value = ini.Read(Section(user), Key(i));
        if (value.empty())
            break;
        for (std::string_view code : net::SplitText(value, ",")) {
            if (!code.empty() && std::find(codes.begin(), codes.end(), code) == codes.end())
                codes.emplace_back(code);
        }
    }
    return codes;
}

bool Save(const std::string& iniPath, const std::string& user, const std::vector<std::string>& codes) {
    const CIniFile ini(iniPath);
    std::size_t key = 0;
    for (std::size_t i = 0; i < codes.size(); i += kCodesPerKey, ++key) {
        std::string value;
        for (std::size_t j = i; j < std::min(codes.size(), i + kCodesPerKey); ++j)
            value += (j == i ? "" : ",") + codes[j];
        if (!ini.Write(Section(user), Key(key), value))
            return false;
    }
    // An empty key ends the list: what a longer list left behind is no longer read.
    return ini.Write(Section(user), Key(key), "");
}

bool Add(const std::string& iniPath, const std::string& user, const std::string& code) {
    std::vector<std::string> codes = Load(iniPath, user);
    if (code.empty() || std::find(codes.begin(), codes.end(), code) != codes.end())
        return false;
    codes.push_back(code);
    return Save(iniPath, user, codes);
}

bool Remove(const std::string& iniPath, const std::string& user, const std::string& code) {
    std::vector<std::string> codes = Load(iniPath, user);
    const auto it = std::find(codes.begin(), codes.end(), code);
    if (it == codes.end())
        return false;
    codes.erase(it);
    return Save(iniPath, user, codes);
}

} // namespace watchlist
