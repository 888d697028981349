// One Session over a loopback socket, with a host written for the test in place of the
// Server: what a connection hands its host, and when.

#include "server/network/Session.h"
#include "server/network/SessionHost.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"

#include <gtest/gtest.h>

#include <asio.hpp>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using server::Session;
using tavix::test::TestClient;

// Lets "amy" with "pw" in as account 7 and answers every request "0,done"; notes each call.
class RecordingHost final : public server::SessionHost {
public:
    explicit RecordingHost(asio::io_context& io)
        : io_(io) {}

    void Authenticate(std::shared_ptr<Session> session, std::string name, std::string password, std::string) override {
        Note("authenticate " + name + " " + password);
        const bool ok = name == "amy" && password == "pw";
        session->LoginFinished(ok ? 7 : 0, name, password, ok ? "0,,,welcome" : "1,,,refused");
    }
    void ChangePassword(std::shared_ptr<Session>, std::int64_t, std::string) override { Note("change password"); }
    void Submit(std::shared_ptr<Session> session, std::int64_t userId, int command,
                server::QueryString query) override {
        Note("submit " + std::to_string(userId) + " " + std::to_string(command) + " " + std::string(query.Get("code")));
        asio::post(io_, [session, command] { session->RequestDone(command, std::string("0,done")); });
    }
    void LoggedIn(Session& session) override { Note("logged in " + std::to_string(session.UserId())); }
    void Remove(const std::shared_ptr<Session>&) override { Note("removed"); }
    void OutputQueued(std::size_t) override {}
    void OutputReleased(std::size_t) override {}
    const server::QuoteSnapshotPtr& Snapshot() const override { return snapshot_; }
    server::RankingSnapshotPtr Standings() const override { return nullptr; }
    const server::MarketHistory& History() const override { return history_; }
    server::Metrics& GetMetrics() override { return metrics_; }
    const server::SessionLimits& Limits() const override { return limits_; }

    std::vector<std::string> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void Note(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }

    asio::io_context& io_;
    server::QuoteSnapshotPtr snapshot_;
    server::MarketHistory history_;
    server::Metrics metrics_;
    server::SessionLimits limits_{std::chrono::seconds(30), std::chrono::seconds(300)};
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Accepts one connection as a Session of the host, on a network thread of its own.
class SessionTest : public ::testing::Test {
protected:
    SessionTest() {
        acceptor_.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
            if (!ec)
                std::make_shared<Session>(std::move(socket), host_)->Start();
        });
        thread_ = std::thread([this] { io_.run(); });
    }
    ~SessionTest() override {
        work_.reset();
        io_.stop();
        thread_.join();
    }
    std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
    asio::ip::tcp::acceptor acceptor_{io_, {asio::ip::make_address("127.0.0.1"), 0}};
    RecordingHost host_{io_};
    std::thread thread_;
};

TEST_F(SessionTest, OnlyRequestsWithTheLoginsCredentialsReachTheHostUnderItsAccount) {
    const std::vector<std::string> expected{"authenticate amy pw", "logged in 7", "submit 7 2 600000"};
    {
        TestClient client(Port());
        client.SetCredentials("amy", "pw");
        ASSERT_TRUE(client.Send(net::kCmdOrder, "code=600001")); // before any login: ignored
        ASSERT_EQ(client.Login("amy", "pw"), "0,,,welcome");
        client.SetCredentials("amy", "guess");
        ASSERT_TRUE(client.Send(net::kCmdOrder, "code=600002")); // not the login's password: ignored
        client.SetCredentials("amy", "pw");
        EXPECT_EQ(client.Request(net::kCmdOrder, "code=600000"), "0,done");
        EXPECT_EQ(host_.Calls(), expected);
    }
    // The client hung up: the session leaves the host's tables.
    for (int i = 0; i < 500 && host_.Calls().size() == expected.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(host_.Calls().back(), "removed");
}

} // namespace
