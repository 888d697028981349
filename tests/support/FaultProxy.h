#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavix::test {

// A TCP proxy on a loopback port that forwards every connection to a target port (or a local
// socket) and breaks them on request: cut every open connection, refuse new ones, or hold all
// traffic. One thread does the forwarding; every method may be called from any thread.
class FaultProxy final {
public:
    explicit FaultProxy(int targetPort);
    // To the local (unix) socket at `targetPath`, such as a PostgreSQL cluster's.
    explicit FaultProxy(std::string targetPath);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    int Port() const { return port_; }

    // Resets every open connection on both sides (the client sees its connection break);
    // returns once they are reset.
    void CutAll();
    // Cuts every open connection silently, as a dead network path does: from now on their bytes
    // go nowhere and neither side hears anything (no reset, no close) until the client gives
    // up on its connection. New connections pass as before. Returns once the cut is in place.
    void SilenceAll();
    // While refusing, a new connection is reset as soon as it is accepted.
    void SetRefusing(bool refusing);
    // While holding, no bytes are forwarded in either direction (they wait in the kernel);
    // returns once the forwarding thread has seen the change.
    void SetHolding(bool holding);

    // Connections accepted so far (refused ones included) and connections open now.
    int Accepted() const { return accepted_.load(); }
    int Open() const;
    // When the last connection was accepted.
    std::chrono::steady_clock::time_point LastAccepted() const;

private:
    struct Pair {
        int client = -1;
        int server = -1;
        bool silent = false; // its bytes are swallowed (SilenceAll)
    };
    void Run();
    void Wake();
    void AcceptOne();
    static void Reset(int fd);
    // Moves what `from` has to `to`; false when either side is gone.
    static bool Forward(int from, int to);
    // Waits until the forwarding thread has started a new round.
    void WaitForRound();

    int targetPort_ = 0;
    std::string targetPath_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::vector<Pair> pairs_;
    bool cut_ = false;
    bool silence_ = false;
    bool stop_ = false;
    long rounds_ = 0;
    std::chrono::steady_clock::time_point lastAccepted_;
    std::condition_variable roundDone_;
    std::atomic<bool> refusing_{false};
    std::atomic<bool> holding_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

} // namespace tavix::test
