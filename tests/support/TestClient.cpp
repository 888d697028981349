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
    return SendPlain(command, net::WithCredentials(body, user_, password_));
}

bool TestClient::SendPlain(int command, const std::string& body) {
    return SendRaw(net::FormatFrame(command, server::Utf8ToGbk(body)));
}

bool TestClient::ReadExact(char* out, std::size_t n, std::chrono::steady_clock::time_point deadline) {
    std::size_t got = 0;
    while (got < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        const ssize_t r = ::recv(fd_, out + got, n - got, 0);
        if (r <= 0) {
            closed_ = true;
            return false;
        }
        got += static_cast<std::size_t>(r);
    }
    return true;
}

std::optional<TestClient::Reply> TestClient::Next(std::chrono::milliseconds timeout) {
    if (fd_ < 0 || closed_)
        return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char header[net::kHeaderSize];
    if (!ReadExact(header, sizeof header, deadline))
        return std::nullopt;
    const auto length = net::ParseLengthPrefix(std::string_view(header, net::kLengthPrefixSize));
    if (!length)
        return std::nullopt;
    std::string body(*length - net::kHeaderSize, '\0');
    if (!ReadExact(body.data(), body.size(), deadline))
        return std::nullopt;
    Reply reply;
    reply.command = net::ParseCommand(std::string_view(header + net::kLengthPrefixSize, 3));
    reply.body = server::GbkToUtf8(body).value_or("<not GBK>");
    return reply;
}

std::optional<TestClient::Reply> TestClient::NextAnswer(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        auto reply = Next(left);
        if (!reply || (reply->command != net::kCmdQuoteUpdate && reply->command != net::kCmdMarketPhase))
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

std::string TestClient::Login(const std::string& user, const std::string& password) {
    SetCredentials(user, password);
    Send(net::kCmdLogin, "user_name=" + user + "&pwd=" + password + "&yjm=TESTMACHINE");
    const auto reply = NextAnswer();
    return reply ? reply->body : "<no answer>";
}

} // namespace tavix::test
