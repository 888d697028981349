#pragma once

#include <QString>

#include <string>
#include <string_view>

// The wire, the shared tables and client.ini hold GBK bytes; the windows show Unicode.
// These two are the only crossing points.
QString FromGbk(std::string_view bytes);
std::string ToGbk(const QString& text);

template <std::size_t N>
QString FromGbkField(const char (&slot)[N]) {
    std::size_t n = 0;
    while (n < N && slot[n] != '\0')
        ++n;
    return FromGbk(std::string_view(slot, n));
}
