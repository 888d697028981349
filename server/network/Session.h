#pragma once

#include <asio.hpp>

#include "server/market/QuoteSnapshot.h"
#include "server/network/SessionHost.h"
#include "wire/Frame.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

class QueryString;

// One client connection: takes frames out of the byte stream, checks every request's
// credentials against the login of this connection, hands work to its host (the Server),
// writes answers and quote pushes in order. Network thread only.
class Session final : public std::enable_shared_from_this<Session> {
public:
    Session(asio::ip::tcp::socket socket, SessionHost& host);

    void Start();
    void Close();
    bool IsOpen() const { return open_; }
    // Nothing this connection sent is being checked, held or worked on, and every answer
    // has been written: what arrives next is all that can change it.
    bool Idle() const { return !loginPending_ && !passwordPending_ && inFlight_ == 0 && held_.empty() && !writing_; }
    const std::string& Address() const { return address_; }
    // What the answers and pushes queued for this client hold in memory.
    std::size_t OutboxBytes() const { return outboxBytes_; }
    std::int64_t UserId() const { return userId_; }
    bool LoginPending() const { return loginPending_; }
    // Where the server keeps this connection while it has not logged in.
    std::optional<std::list<Session*>::iterator> notLoggedInAt;
    std::int64_t accountListed = 0; // the account whose logged-in connections list this one

    // `body` is UTF-8; it goes out as GBK.
    void Send(int command, std::string_view body);
    // Sends a body that is GBK already.
    void SendGbk(int command, std::string_view gbk);
    void PushQuotes(const QuoteSnapshot& snapshot);
    // Tells a logged-in client the market's state when it is not the one it was last told;
    // an empty `phase` tells nothing.
    void PushPhase(const std::string& phase);
    // The account changed without the client asking (a rollover, a call auction, an organiser's
    // freeze): its funds, positions and today's orders and trades go out as if it had asked, so
    // its screen follows.
    void PushAccount();

    // The end of a login attempt: `userId` 0 means rejected.
    void LoginFinished(std::int64_t userId, const std::string& name, const std::string& password,
                       const std::string& answer);
    void PasswordChangeFinished(const std::optional<std::string>& newPassword, const std::string& answer);
    // The end of a request handed to the host with Submit(); no answer is sent when empty.
    void RequestDone(int command, const std::optional<std::string>& answer);

private:
    void Read();
    void Drain();
    void OnFrame(const net::Frame& frame);
    // Handles one request whose login state is decided (no login check is pending).
    void Handle(const net::Frame& frame);
    // Handles the frames that arrived while a login was being checked, in order, until
    // they are done or another login check starts.
    void DrainHeld();
    void OnLogin(const std::optional<QueryString>& query);
    void OnSubscribe(const QueryString& query);
    void OnBoard(const QueryString& query);
    void OnBars(const QueryString& query);
    void OnChangePassword(const QueryString& query);
    void OnStanding(int command, const QueryString& query);
    void Queue(std::string frame, bool push);
    void Write();
    void ArmIdleTimer();
    // After a write of `written` bytes: whether the peer took everything sent before it.
    void NoteTaken(std::size_t written);
    std::chrono::steady_clock::time_point LastSignOfLife() const;

    asio::ip::tcp::socket socket_;
    asio::steady_timer idleTimer_;
    SessionHost& host_;
    std::string address_;
    bool open_ = true;
    std::array<char, 16384> readBuffer_{};
    net::FrameDecoder decoder_;
    std::chrono::steady_clock::time_point loginDeadline_;
    std::chrono::steady_clock::time_point lastRequest_;
    std::chrono::steady_clock::time_point lastTaken_; // the peer had acknowledged all earlier output
    int inFlight_ = 0;
    bool paused_ = false;

    struct Outgoing {
        std::string data;
        bool push;
        std::size_t Cost() const;
    };
    void Unqueue(const Outgoing& frame);
    std::deque<Outgoing> outbox_;
    std::size_t outboxBytes_ = 0;
    bool writing_ = false;
    std::size_t writingCount_ = 0; // the frames at the outbox's front that a write points into
    int queuedPushes_ = 0;

    std::int64_t userId_ = 0;
    std::string name_;
    std::string password_;
    bool loginPending_ = false;
    // Frames that arrived while the login was being checked; bounded, as a client that
    // floods here is hostile and is cut off.
    std::deque<net::Frame> held_;
    std::size_t heldBytes_ = 0;
    bool passwordPending_ = false;
    std::vector<std::string> subscriptions_;
    std::string phaseSent_; // since the last accepted login
};

} // namespace server
