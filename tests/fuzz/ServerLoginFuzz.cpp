// A whole connection on the server: the input is the byte stream a client sends, fed to the
// real Session and Server over a socket pair, with the engine, the password check and the
// login throttle behind them. The answers that come back must be whole frames in both
// senses: well-formed and in GBK; before a login is accepted only login and heartbeat
// frames are answered, and a login is accepted only for the right name and password.
//
// The contest (engine and database) is made once; each input gets a fresh Server (its
// throttle and remembered logins start empty) and, when it logged in, the account is reset
// afterwards. The stream is written at once and ended only when the connection is idle,
// so requests after a login are answered rather than cut off by the end of the stream.
#include "FuzzCheck.h"

#include "server/engine/Engine.h"
#include "server/engine/GbkCodec.h"
#include "server/engine/QueryString.h"
#include "server/engine/ServerOptions.h"
#include "server/ledger/Ledger.h"
#include "server/ledger/PasswordHash.h"
#include "server/ledger/UserDirectory.h"
#include "server/network/Server.h"
#include "server/network/Session.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <asio.hpp>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUser = "fuzz";
constexpr const char* kPassword = "fuzz123";
// Thirty failed logins from one address make every further attempt wait a quarter second or
// more (by design); the stream is fed only up to that many login frames so that an input
// takes milliseconds, not seconds.
constexpr int kMaxLoginFrames = 29;
// A ceiling for one wait on the other threads; an input that needs it is reported as a hang.
constexpr auto kWaitCeiling = std::chrono::seconds(5);

struct Contest {
    server::ServerOptions options = Options();
    server::UserDirectory directory;
    server::Engine engine{options, directory};
    std::string hash = server::HashPassword(kPassword, options.hashCost);

    Contest() {
        engine.Open();
        engine.RunNow([&](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            ledger.AddUser(kUser, hash, 100'000'000, "A000001", "0000001", ledger.Day(), now.time);
            return std::nullopt;
        });
        engine.Start([](server::QuoteSnapshotPtr) {});
    }

    static server::ServerOptions Options() {
        server::ServerOptions options;
        options.dbPath = ":memory:";
        options.createDemo = false;
        options.hashCost = server::HashCost::kMinimal;
        options.tickMs = 3'600'000; // no market ticks while an input runs
        // A Monday morning while the market is open: orders are taken.
        options.clock = [] { return server::LocalTime{"2026-12-07", "10:30:00", 10 * 60 + 30}; };
        return options;
    }

    // Back to the account as it was made: no orders or holdings, the first password.
    void ResetAccount() {
        std::promise<void> done;
        engine.Post(
            [this](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
                server::Account* account = ledger.FindAccount(std::string_view(kUser));
                ledger.Reset(*account, ledger.Day(), now.time);
                ledger.SetPasswordHash(*account, hash);
                return std::nullopt;
            },
            [&done](std::optional<server::Answer>) { done.set_value(); });
        done.get_future().wait();
    }
};

// The bytes of the stream up to (not including) the login frame past the limit, and
// whether some login frame in them carries the right name and password.
struct Fed {
    std::size_t size = 0;
    bool rightLogin = false;
};

Fed WhatIsFed(std::string_view stream) {
    net::FrameDecoder decoder;
    decoder.Append(stream.data(), stream.size());
    Fed fed{stream.size(), false};
    int logins = 0;
    net::Frame frame;
    while (decoder.Next(frame) == net::FrameDecoder::Status::kFrame) {
        if (frame.command != net::kCmdLogin)
            continue;
        if (++logins > kMaxLoginFrames) {
            fed.size = stream.size() - decoder.Buffered() - frame.body.size() - net::kHeaderSize;
            break;
        }
        const auto body = server::GbkToUtf8(frame.body);
        const auto query = body ? server::QueryString::Parse(*body) : std::nullopt;
        if (query && query->Get("user_name") == kUser && query->Get("pwd") == kPassword)
            fed.rightLogin = true;
    }
    return fed;
}

class Connection final {
public:
    Connection(asio::io_context& io, server::Server& server) {
        FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) == 0);
        // The session only reads, writes and closes its socket; the family behind it is
        // of no concern to it.
        asio::ip::tcp::socket socket(io);
        socket.assign(asio::ip::tcp::v4(), fds_[0]);
        session_ = std::make_shared<server::Session>(std::move(socket), server);
        session_->Start();
    }
    ~Connection() { ::close(fds_[1]); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const server::Session& Link() const { return *session_; }
    bool Released() const { return session_.use_count() == 1; }
    const std::string& Received() const { return received_; }

    // Writes what the socket takes; returns how much.
    std::size_t Write(std::string_view bytes) {
        const ssize_t n = ::send(fds_[1], bytes.data(), bytes.size(), MSG_NOSIGNAL);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    void EndStream() { ::shutdown(fds_[1], SHUT_WR); }
    void ReadAnswers() {
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::recv(fds_[1], buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            received_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Bytes written that the session has not read yet.
    int Unread() const {
        int n = 0;
        return session_->IsOpen() && ::ioctl(fds_[0], FIONREAD, &n) == 0 ? n : 0;
    }

private:
    int fds_[2] = {-1, -1};
    std::shared_ptr<server::Session> session_;
    std::string received_;
};

// Runs the network thread's handlers until `done`, waiting for the other threads' posts.
template <typename Done>
void RunUntil(asio::io_context& io, Connection& connection, Done done) {
    for (;;) {
        io.restart();
        const std::size_t ran = io.poll();
        connection.ReadAnswers();
        if (done())
            return;
        if (ran == 0) {
            // The other threads' posts end this wait at once; a reference to the session
            // they drop without posting (a finished engine job) is seen a millisecond later.
            const auto deadline = std::chrono::steady_clock::now() + kWaitCeiling;
            while (io.run_one_for(std::chrono::milliseconds(1)) == 0 && !done())
                FUZZ_CHECK(std::chrono::steady_clock::now() < deadline); // nothing moved: a hang
        }
    }
}

void CheckAnswers(const std::string& received, bool rightLogin) {
    net::FrameDecoder decoder;
    decoder.Append(received.data(), received.size());
    bool loggedIn = false;
    net::Frame frame;
    net::FrameDecoder::Status status;
    while ((status = decoder.Next(frame)) == net::FrameDecoder::Status::kFrame) {
        const auto body = server::GbkToUtf8(frame.body);
        FUZZ_CHECK(body.has_value());
        if (!loggedIn)
            FUZZ_CHECK(frame.command == net::kCmdLogin || frame.command == net::kCmdHeartbeat);
        if (frame.command == net::kCmdLogin && body->starts_with("0,")) {
            FUZZ_CHECK(rightLogin);
            loggedIn = true;
        }
    }
    // The session writes whole frames; only one being written when it cut the connection
    // off may end early.
    FUZZ_CHECK(status == net::FrameDecoder::Status::kNeedMore);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Contest contest;
    static asio::io_context io;

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const Fed fed = WhatIsFed(input);
    std::string_view rest = input.substr(0, fed.size);
    {
        // The other threads' answers arrive as posts: waiting for them is waiting for work.
        const auto guard = asio::make_work_guard(io);
        server::Server server(io, contest.engine, contest.directory, contest.options);
        Connection connection(io, server);
        RunUntil(io, connection, [&] {
            rest.remove_prefix(connection.Write(rest));
            return !connection.Link().IsOpen() ||
                   (rest.empty() && connection.Link().Idle() && connection.Unread() == 0);
        });
        connection.EndStream();
        // Until the session has closed and nothing queued anywhere still refers to it.
        RunUntil(io, connection, [&] { return !connection.Link().IsOpen() && connection.Released(); });
        connection.ReadAnswers();
        CheckAnswers(connection.Received(), fed.rightLogin);
        if (fed.rightLogin)
            contest.ResetAccount();
    }
    return 0;
}
