// The protocol client the tests and quorvex_load share: the frames it writes, and what the
// blocking TestClient makes of a stream that is cut short, malformed or slow.

#include "tests/support/ProtocolClient.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <thread>

using namespace tavix::test;
using namespace std::chrono_literals;

namespace {

// One loopback connection whose server side the test writes by hand.
class HandServer final {
public:
    HandServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof addr;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), size) != 0 || ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &size) != 0)
            throw std::runtime_error("no loopback listener");
        port_ = ntohs(addr.sin_port);
    }
    ~HandServer() {
        Close();
        ::close(listener_);
    }
    std::uint16_t Port() const { return port_; }
    void Accept() { peer_ = ::accept(listener_, nullptr, nullptr); }
    void Write(const std::string& bytes) {
        ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void Close() {
        if (peer_ >= 0)
            ::close(peer_);
        peer_ = -1;
    }

private:
    int listener_ = -1;
    int peer_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace

// "user_name=ann" (13) "&pwd=pw" (7) "&yjm=M" (6) "&curuser=ann" (12) "&curpwd=pw" (10): a body
// of 48 bytes, 59 with the header.
TEST(ProtocolClientTest, TheLoginAndRequestsCarryTheCredentials) {
    const ProtocolClient client("ann", "pw");
    EXPECT_EQ(client.LoginFrame("M"), "00000059001user_name=ann&pwd=pw&yjm=M&curuser=ann&curpwd=pw");
    EXPECT_EQ(client.RequestFrame(4, ""), "00000032004curuser=ann&curpwd=pw");
    EXPECT_EQ(LoginBody("bob", "x"), "user_name=bob&pwd=x");
}

TEST(ProtocolClientTest, AFrameCutShortByTheServerIsNoticed) {
    HandServer server;
    TestClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    server.Accept();
    server.Write("00000015001abcd00000015002ab"); // a whole frame, then half of one
    server.Close();
    const auto whole = client.Next(2s);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->command, 1);
    EXPECT_EQ(whole->body, "abcd");
    EXPECT_FALSE(client.Next(2s));
    EXPECT_TRUE(client.Truncated());
    EXPECT_TRUE(client.WaitClosed(1s));

    HandServer clean;
    TestClient other(clean.Port());
    clean.Accept();
    clean.Write("00000015001abcd");
    clean.Close();
    ASSERT_TRUE(other.Next(2s));
    EXPECT_TRUE(other.WaitClosed(2s));
    EXPECT_FALSE(other.Truncated());
}

TEST(ProtocolClientTest, AMalformedLengthEndsTheStreamEvenIfAFrameFollows) {
    HandServer server;
    TestClient client(server.Port());
    server.Accept();
    server.Write("0000001X001abcd00000015001abcd");
    EXPECT_FALSE(client.Next(1s));
    EXPECT_TRUE(client.Broken());
    EXPECT_FALSE(client.Next(200ms)); // the bytes after it cannot be trusted to start a frame
    EXPECT_FALSE(client.Truncated());
}

// A wait that ends in the middle of a frame keeps what arrived: the next read completes it.
TEST(ProtocolClientTest, AFrameThatArrivesAcrossATimeoutComesOutWhole) {
    HandServer server;
    TestClient client(server.Port());
    server.Accept();
    server.Write("000000170");
    EXPECT_FALSE(client.Next(100ms));
    server.Write("09ab");
    EXPECT_FALSE(client.Next(100ms));
    server.Write("cdef00000012001z");
    const auto reply = client.Next(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->command, 9);
    EXPECT_EQ(reply->body, "abcdef");
    const auto next = client.Next(2s);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->body, "z");
    EXPECT_FALSE(client.Broken());
}

// A client that reads one frame leaves the next in the socket, where a test that stops
// reading wants the server's writes held back.
TEST(ProtocolClientTest, ReadingAFrameTakesNoMoreOfTheStream) {
    HandServer server;
    TestClient client(server.Port());
    server.Accept();
    server.Write("00000015001abcd00000016002hello");
    std::this_thread::sleep_for(100ms); // both frames in the client's socket
    ASSERT_TRUE(client.Next(2s));
    int waiting = -1;
    ASSERT_EQ(::ioctl(client.Fd(), FIONREAD, &waiting), 0);
    EXPECT_EQ(waiting, 16);
}

// quorvex_load counts a login as accepted by the answer's opening; the server's answers to a
// right and a wrong password tell the two apart.
TEST(ProtocolClientTest, TheServersLoginAnswersAreToldApart) {
    ServerHarness harness;
    harness.AddUser("ann", "pw");
    TestClient right(harness.Port());
    EXPECT_TRUE(ProtocolClient::LoginAccepted(right.Login("ann", "pw")));
    TestClient wrong(harness.Port());
    EXPECT_FALSE(ProtocolClient::LoginAccepted(wrong.Login("ann", "nope")));
}
