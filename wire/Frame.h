#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Frames look alike in both directions: "%08d%03d%s" — the total length including the
// 11 header bytes, the command, then the body (GBK text, no terminator on the wire).

namespace net {

inline constexpr std::size_t kHeaderSize = 11;
inline constexpr std::size_t kLengthPrefixSize = 8;
inline constexpr std::size_t kMaxFrameLength = 65535;

// Builds a whole frame for `command` around `body`.
std::string FormatFrame(int command, std::string_view body);

// Appends the credentials that every request carries:
// "body&curuser=U&curpwd=P", or "curuser=U&curpwd=P" for an empty body.
std::string WithCredentials(std::string_view body, std::string_view user, std::string_view password);

// Reads the 8-byte length prefix. Empty when it is not eight decimal digits or lies
// outside [kHeaderSize, kMaxFrameLength]: such a stream cannot be resynchronised.
std::optional<std::size_t> ParseLengthPrefix(std::string_view prefix);

// Reads the 3-byte command field with the leading-digits rule; no digits give 0.
int ParseCommand(std::string_view field);

// Leading-digits integer conversion (atoi rules: optional blanks and sign, then digits).
long long LeadingInteger(std::string_view text);

// Longest-valid-prefix floating-point conversion (atof rules); no number gives 0.
double LeadingDouble(std::string_view text);

struct Frame {
    int command = 0;
    std::string body;
};

// Takes whole frames out of a byte stream that arrives in pieces. Used by the server
// side, which owns an asynchronous socket and receives whatever the kernel has.
class FrameDecoder final {
public:
    enum class Status { kFrame, kNeedMore, kBroken };

    void Append(const char* data, std::size_t size);
    // kFrame fills `out`; kBroken means a malformed length prefix: the connection must close.
    Status Next(Frame& out);
    std::size_t Buffered() const { return buffer_.size() - offset_; }
    // How many more bytes the frame under way needs (a header's worth when none has begun);
    // 0 once a whole frame or a malformed prefix waits for Next. A reader that takes no more
    // than this leaves the rest of the stream in the socket.
    std::size_t Missing() const;

private:
    std::string buffer_;
    std::size_t offset_ = 0;
};

} // namespace net
