#include "wire/Frame.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace net {

std::string FormatFrame(int command, std::string_view body) {
    char header[32];
    const int n = std::snprintf(header, sizeof header, "%08zu%03d", body.size() + kHeaderSize, command);
    std::string frame;
    frame.reserve(static_cast<std::size_t>(n) + body.size());
    frame.append(header, static_cast<std::size_t>(n));
    frame.append(body);
    return frame;
}

std::string WithCredentials(std::string_view body, std::string_view user, std::string_view password) {
    std::string out;
    out.reserve(body.size() + user.size() + password.size() + 20);
    if (!body.empty()) {
        out.append(body);
        out.push_back('&');
    }
    out.append("curuser=").append(user).append("&curpwd=").append(password);
    return out;
}

std::optional<std::size_t> ParseLengthPrefix(std::string_view prefix) {
    if (prefix.size() != kLengthPrefixSize)
        return std::nullopt;
    std::size_t value = 0;
    for (char c : prefix) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    if (value < kHeaderSize || value > kMaxFrameLength)
        return std::nullopt;
    return value;
}

namespace {

// Skips leading white space and one sign, as the C library's conversions do; returns the
// index of the first character after them.
std::size_t SkipBlanksAndSign(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

} // namespace

long long LeadingInteger(std::string_view text) {
    bool negative = false;
    std::size_t i = SkipBlanksAndSign(text, negative);
    // Too many digits saturate instead of overflowing.
    constexpr long long kMax = std::numeric_limits<long long>::max();
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

double LeadingDouble(std::string_view text) {
    // The C library's conversion follows the process locale (a GUI may switch it to one with
    // a decimal comma); the wire always uses a decimal point.
    bool negative = false;
    std::size_t i = SkipBlanksAndSign(text, negative);
    if (i >= text.size() || text[i] == '+' || text[i] == '-')
        return 0.0;
    double value = 0.0;
    const std::errc error = std::from_chars(text.data() + i, text.data() + text.size(), value).ec;
    if (error == std::errc::result_out_of_range) {
        // Like the C library: overflow saturates, underflow gives zero. Which one it is
        // depends on where the first significant digit stands, not on the exponent's sign
        // alone: a thousand digits times 1e-14 is still far too large.
        long long magnitude = 0;
        std::size_t k = i;
        while (k < text.size() && text[k] == '0')
            ++k;
        std::size_t integerDigits = 0;
        while (k + integerDigits < text.size() && text[k + integerDigits] >= '0' && text[k + integerDigits] <= '9')
            ++integerDigits;
        k += integerDigits;
        if (integerDigits > 0) {
            magnitude = static_cast<long long>(integerDigits) - 1;
        } else if (k < text.size() && text[k] == '.') {
            std::size_t zeros = 0;
            while (k + 1 + zeros < text.size() && text[k + 1 + zeros] == '0')
                ++zeros;
            magnitude = -static_cast<long long>(zeros) - 1;
        }
        // Past the fraction: the exponent belongs to the number only if it follows at once.
        if (k < text.size() && text[k] == '.')
            ++k;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9')
            ++k;
        const bool hasExponent = k + 1 < text.size() && (text[k] == 'e' || text[k] == 'E');
        const long long exponent = hasExponent ? LeadingInteger(text.substr(k + 1)) : 0;
        value = static_cast<__int128>(magnitude) + exponent > 0 ? HUGE_VAL : 0.0;
    } else if (error != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

int ParseCommand(std::string_view field) {
    return static_cast<int>(LeadingInteger(field.substr(0, 3)));
}

void FrameDecoder::Append(const char* data, std::size_t size) {
    if (offset_ > 0 && offset_ == buffer_.size()) {
        buffer_.clear();
        offset_ = 0;
    }
    buffer_.append(data, size);
}

std::size_t FrameDecoder::Missing() const {
    const std::size_t available = Buffered();
    if (available < kHeaderSize)
        return kHeaderSize - available;
    const auto length = ParseLengthPrefix(std::string_view(buffer_).substr(offset_, kLengthPrefixSize));
    return length && *length > available ? *length - available : 0;
}

FrameDecoder::Status FrameDecoder::Next(Frame& out) {
    const std::size_t available = buffer_.size() - offset_;
    if (available < kLengthPrefixSize)
        return Status::kNeedMore;
    const auto length = ParseLengthPrefix(std::string_view(buffer_).substr(offset_, kLengthPrefixSize));
    if (!length)
        return Status::kBroken;
    if (available < *length)
        return Status::kNeedMore;
    const std::string_view frame(buffer_.data() + offset_, *length);
    out.command = ParseCommand(frame.substr(kLengthPrefixSize, 3));
    out.body.assign(frame.substr(kHeaderSize));
    offset_ += *length;
    // Compact once the consumed prefix dominates, so a long-lived connection stays small.
    if (offset_ > 4096 && offset_ * 2 > buffer_.size()) {
        buffer_.erase(0, offset_);
        offset_ = 0;
    }
    return Status::kFrame;
}

} // namespace net
