#pragma once

#include "wire/SplitText.h"

#include <string>
#include <vector>

namespace tavix::test {

// The records of a table reply: every record ends with '|', fields are ','-separated.
inline std::vector<std::vector<std::string>> Records(const std::string& body) {
    std::vector<std::vector<std::string>> out;
    const auto pieces = net::SplitText(body, "|");
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        std::vector<std::string> fields;
        for (auto f : net::SplitText(pieces[i], ","))
            fields.emplace_back(f);
        out.push_back(std::move(fields));
    }
    return out;
}

inline std::vector<std::string> Fields(const std::string& text, const char* separator = ",") {
    std::vector<std::string> out;
    for (auto f : net::SplitText(text, separator))
        out.emplace_back(f);
    return out;
}

} // namespace tavix::test
