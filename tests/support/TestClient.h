#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tavix::test {

// A blocking loopback client speaking the trading protocol, for tests: UTF-8 in and
// out, GBK on the wire. Every wait has a deadline.
class TestClient final {
public:
    // `receiveBuffer` > 0 shrinks the socket's receive buffer: a client that stops reading
    // then holds the server's writes back after a few kilobytes. `sourceAddress` (say
    // "127.0.0.2") makes the connection come from another loopback address.
    explicit TestClient(std::uint16_t port, int receiveBuffer = 0, const char* sourceAddress = nullptr);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // Each send is false once the connection is gone (the server hung up).
    bool SendRaw(const std::string& bytes);
    // Sends `body` with this client's credentials appended.
    bool Send(int command, const std::string& body);
    // Sends without credentials (login as the client does it carries them too).
    bool SendPlain(int command, const std::string& body);

    struct Reply {
        int command = 0;
        std::string body;
    };
    // The next frame, whatever its command; nothing on timeout or close.
    std::optional<Reply> Next(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The next frame that is not a push (quotes, the market's state).
    std::optional<Reply> NextAnswer(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Sends and waits for the answer of the same command (quote pushes are skipped).
    std::string Request(int command, const std::string& body = {});
    // True when the server closes the connection within the timeout.
    bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Logs in the way the client does; returns the answer body.
    std::string Login(const std::string& user, const std::string& password);
    void SetCredentials(const std::string& user, const std::string& password) {
        user_ = user;
        password_ = password;
    }

private:
    bool ReadExact(char* out, std::size_t n, std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    bool closed_ = false;
    std::string user_;
    std::string password_;
};

} // namespace tavix::test
