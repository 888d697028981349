#pragma once

#include "wire/Frame.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavix::test {

// A trading server for tests: listens on 127.0.0.1 on an ephemeral port, serves one client
// at a time (a new connection replaces the old one), records every frame it receives, can
// answer commands automatically and can send or drop at will. Every method may be called
// from any thread.
class FakeTradingServer final {
public:
    using Clock = std::chrono::steady_clock;

    struct Entry {
        net::Frame frame;
        Clock::time_point at; // when the frame was complete
        int connection = 0;   // 1 for the first accepted connection, then 2, …
    };

    FakeTradingServer();
    ~FakeTradingServer();
    FakeTradingServer(const FakeTradingServer&) = delete;
    FakeTradingServer& operator=(const FakeTradingServer&) = delete;

    int Port() const { return port_; }

    // Every frame received so far, in arrival order.
    std::vector<net::Frame> Received() const;
    std::vector<Entry> ReceivedLog() const;
    // Number of frames received with `command`.
    int CountOf(int command) const;

    // The first frame with `command` that no earlier call has returned; waits for it until
    // the time-out.
    std::optional<net::Frame> WaitForCommand(int command, std::chrono::milliseconds timeout);

    // Waits until a client is connected.
    bool WaitForConnection(std::chrono::milliseconds timeout);
    // Waits until at least `count` connections have been accepted in total.
    bool WaitForConnectionCount(int count, std::chrono::milliseconds timeout);
    int ConnectionCount() const;
    bool Connected() const;
    // When each connection was accepted, in order.
    std::vector<Clock::time_point> ConnectionTimes() const;

    // Writes one frame, or raw bytes, to the current client; false without one.
    bool Send(int command, std::string_view body);
    bool SendRaw(std::string_view bytes);

    // Answers every frame with `command` by a frame with the same command and the returned body.
    void SetAutoReply(int command, std::function<std::string(const net::Frame&)> reply);

    // Closes the current connection (the client sees the server close it).
    void Drop();

    // While paused the server reads nothing, so the client's writes back up.
    void PauseReading(bool paused);

private:
    void Run();
    void Accept();
    void ReadClient();
    void CloseClient();
    bool WriteAll(std::string_view bytes);
    void Wake();

    int listenFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;
    bool stop_ = false;

    mutable std::mutex mutex_; // guards everything below and the fields above after start
    std::condition_variable changed_;
    std::vector<Entry> received_;
    std::vector<bool> consumed_;
    std::map<int, std::function<std::string(const net::Frame&)>> autoReplies_;
    int connections_ = 0;
    std::vector<Clock::time_point> connectionTimes_;
    bool paused_ = false;

    std::mutex writeMutex_; // guards clientFd_ against replacement during a write
    int clientFd_ = -1;
    net::FrameDecoder decoder_;

    std::thread thread_;
};

} // namespace tavix::test
