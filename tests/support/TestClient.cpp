#include "tests/support/TestClient.h"

#include "server/engine/GbkCodec.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace tavix::test {

TestClient::TestClient(std::uint16_t port, int receiveBuffer, const char* sourceAddress) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (sourceAddress) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ::inet_pton(AF_INET, sourceAddress, &source.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

TestClient::~TestClient() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool TestClient::SendRaw(const std::string& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

bool TestClient::Send(int command, const std::string& body) {
    return SendRaw(protocol_.RequestFrame(command, server::Utf8ToGbk(body)));
}

bool TestClient::SendPlain(int command, const std::string& body) {
    return SendRaw(net::FormatFrame(command, server::Utf8ToGbk(body)));
}

bool TestClient::Receive(std::chrono::steady_clock::time_point deadline) {
    // Past the deadline it still takes what has arrived already: a short wait asks "answered
    // yet?", which must not read as "no" just because the deadline went by before the look.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0)
        return false;
    // No more than the frame under way needs: what follows stays in the socket, where a test
    // that stops reading wants the server's writes held back.
    char chunk[65536];
    const ssize_t r = ::recv(fd_, chunk, std::min(sizeof chunk, protocol_.Missing()), 0);
    if (r <= 0) {
        closed_ = true;
        truncated_ = protocol_.MidFrame();
        return false;
    }
    protocol_.Received(chunk, static_cast<std::size_t>(r));
    return true;
}

std::optional<TestClient::Reply> TestClient::Next(std::chrono::milliseconds timeout) {
    if (fd_ < 0)
        return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    net::Frame frame;
    for (;;) {
        switch (protocol_.Next(frame)) {
        case net::FrameDecoder::Status::kFrame:
            return Reply{frame.command, server::GbkToUtf8(frame.body).value_or("<not GBK>")};
        case net::FrameDecoder::Status::kBroken:
            broken_ = true;
            return std::nullopt;
        case net::FrameDecoder::Status::kNeedMore:
            if (closed_ || !Receive(deadline))
                return std::nullopt;
        }
    }
}

std::optional<TestClient::Reply> TestClient::NextAnswer(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        auto reply = Next(left);
        if (!reply || !ProtocolClient::IsPush(reply->command))
            return reply;
    }
}

std::string TestClient::Request(int command, const std::string& body) {
    Send(command, body);
    auto reply = NextAnswer();
    // After a rollover, a call auction's fills or an admin change the server sends funds,
    // positions and today's orders and trades unasked.
    while (reply && reply->command != command &&
           (reply->command == net::kCmdFunds || reply->command == net::kCmdPositions ||
            reply->command == net::kCmdTodayOrders || reply->command == net::kCmdTodayTrades))
        reply = NextAnswer();
    if (!reply)
        return "<no answer>";
    if (reply->command != command)
        return "<answer to " + std::to_string(reply->command) + ">" + reply->body;
    return reply->body;
}

bool TestClient::WaitClosed(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!Next(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())))
            return closed_;
    }
    return closed_;
}

void TestClient::SetCredentials(const std::string& user, const std::string& password) {
    protocol_.SetCredentials(server::Utf8ToGbk(user), server::Utf8ToGbk(password));
}

std::string TestClient::Login(const std::string& user, const std::string& password) {
    SetCredentials(user, password);
    SendRaw(protocol_.LoginFrame("TESTMACHINE"));
    const auto reply = NextAnswer();
    return reply ? reply->body : "<no answer>";
}

} // namespace tavix::test
