#include "net/Frame.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

long long LeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < 1'000'000'000'000'000'000LL)
            value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

double LeadingDouble(std::string_view text) {
    // strtod needs a terminated text; fields are short, so a small local copy does.
    char local[64];
    const std::size_t n = text.size() < sizeof local - 1 ? text.size() : sizeof local - 1;
    text.copy(local, n);
    local[n] = '\0';
    return std::strtod(local, nullptr);
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
