#include "core/IniFile.h"

#include "wire/Frame.h"
#include "wire/GbkText.h"

#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> ReadLines(const std::string& path, bool* exists) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    *exists = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "[name]" → name; anything else → nothing.
bool SectionName(std::string_view line, std::string_view* name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[')
        return false;
    const auto close = line.find(']');
    if (close == std::string_view::npos)
        return false;
    *name = Trim(line.substr(1, close - 1));
    return true;
}

bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
    const auto trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';')
        return false;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    *key = Trim(line.substr(0, eq));
    *value = Trim(line.substr(eq + 1));
    return true;
}

} // namespace

std::string CIniFile::Read(std::string_view section, std::string_view key, std::string_view fallback) const {
    bool exists = false;
    const auto lines = ReadLines(m_path, &exists);
    std::string found(fallback);
    bool inSection = false;
    for (const auto& line : lines) {
        std::string_view name;
        if (SectionName(line, &name)) {
            inSection = SameName(name, section);
            continue;
        }
        std::string_view k, v;
        if (inSection && KeyValue(line, &k, &v) && SameName(k, key)) {
            found.assign(v);
            break;
        }
    }
    found.resize(net::GbkPrefixLength(found, kReadBuffer - 1));
    return found;
}

int CIniFile::ReadInt(std::string_view section, std::string_view key, int fallback) const {
    const std::string text = Read(section, key, {});
    if (text.empty())
        return fallback;
    return static_cast<int>(net::LeadingInteger(text));
}

bool CIniFile::Write(std::string_view section, std::string_view key, std::string_view value) const {
    bool exists = false;
    auto lines = ReadLines(m_path, &exists);
    const std::string entry = std::string(key) + "=" + std::string(value);

    bool inSection = false;
    bool sectionSeen = false;
    std::size_t insertAt = lines.size();
    bool replaced = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (SectionName(lines[i], &name)) {
            if (inSection)
                break; // the key is not in our section: append after its last entry
            inSection = SameName(name, section);
            if (inSection) {
                sectionSeen = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        std::string_view k, v;
        if (KeyValue(lines[i], &k, &v) && SameName(k, key)) {
            lines[i] = entry;
            replaced = true;
            break;
        }
        if (!Trim(lines[i]).empty())
            insertAt = i + 1;
    }
    if (!replaced) {
        if (sectionSeen) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        } else {
            std::string header(1, '[');
            header.append(section);
            header.push_back(']');
            lines.push_back(std::move(header));
            lines.push_back(entry);
        }
    }

    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    QSaveFile file(QString::fromLocal8Bit(m_path.data(), static_cast<qsizetype>(m_path.size())));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
