#pragma once

#include "wire/Frame.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tavix::test {

// "user_name=U&pwd=P", and "&yjm=M" when a machine code is given: a login's own fields.
std::string LoginBody(std::string_view user, std::string_view password, std::string_view machine = {});

// What a test or a benchmark says to quorvexd and makes of what it hears, whatever drives the
// socket: the blocking TestClient and quorvex_load's asynchronous clients both speak through
// it. Bodies are wire text (GBK); a caller holding UTF-8 converts it first.
class ProtocolClient final {
public:
    ProtocolClient() = default;
    ProtocolClient(std::string user, std::string password)
        : user_(std::move(user))
        , password_(std::move(password)) {}

    void SetCredentials(std::string user, std::string password) {
        user_ = std::move(user);
        password_ = std::move(password);
    }
    const std::string& User() const { return user_; }

    // A request with the credentials every request carries appended.
    std::string RequestFrame(int command, std::string_view body) const;
    // The login as the client sends it: its fields with `machine`, then the credentials.
    std::string LoginFrame(std::string_view machine) const;

    // The bytes that arrived, in whatever pieces.
    void Received(const char* data, std::size_t size) { decoder_.Append(data, size); }
    // The next whole frame; kBroken, now and at every later call, after a malformed length
    // prefix (such a stream cannot be resynchronised).
    net::FrameDecoder::Status Next(net::Frame& out) { return decoder_.Next(out); }
    // How many more bytes the frame under way needs (a header's worth between frames).
    std::size_t Missing() const { return decoder_.Missing(); }
    // Part of a frame is waiting for the rest: a connection that ends now has cut it short.
    bool MidFrame() const { return decoder_.Buffered() > 0; }

    // Quotes and the market's state arrive unasked between answers.
    static bool IsPush(int command);
    // A login's answer that let the user in ("0,,," opens the account fields).
    static bool LoginAccepted(std::string_view answer) { return answer.starts_with("0,,,"); }

private:
    std::string user_;
    std::string password_;
    net::FrameDecoder decoder_;
};

} // namespace tavix::test
