#pragma once

#include <string>
#include <vector>

// The contestant's own list of securities, kept per user in client.ini: section
// "watch_USER", the codes comma-separated over keys codes0, codes1, … (a key holds at most
// kCodesPerKey codes, since a value is read through a 128-byte buffer); the first missing
// or empty key ends the list.
namespace watchlist {

inline constexpr std::size_t kCodesPerKey = 12;

std::vector<std::string> Load(const std::string& iniPath, const std::string& user);
// True when the file now holds `codes`.
bool Save(const std::string& iniPath, const std::string& user, const std::vector<std::string>& codes);
// Appends `code` once; true when the list changed and was saved.
bool Add(const std::string& iniPath, const std::string& user, const std::string& code);
// Removes `code`; true when the list changed and was saved.
bool Remove(const std::string& iniPath, const std::string& user, const std::string& code);

} // namespace watchlist
