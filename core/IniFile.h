#pragma once

#include <string>
#include <string_view>

// A small initialisation-file reader and writer with the semantics the saved users rely
// on: "[section]" headers and "key=value" lines, names compared without regard to letter
// case, blanks around names and values ignored, values kept as raw bytes (GBK). A read
// uses a 128-byte buffer, so a longer value comes back cut to 127 bytes (never inside a
// two-byte character). A missing file or key reads as the default; a write says whether it
// was made, so the caller can tell the user.
class CIniFile final {
public:
    static constexpr std::size_t kReadBuffer = 128;

    explicit CIniFile(std::string path)
        : m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }

    std::string Read(std::string_view section, std::string_view key, std::string_view fallback = {}) const;
    int ReadInt(std::string_view section, std::string_view key, int fallback) const;
    // True when the file now holds the value.
    bool Write(std::string_view section, std::string_view key, std::string_view value) const;

private:
    std::string m_path;
};
