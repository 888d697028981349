#include "tests/support/FaultProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace tavix::test {

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    return addr;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

FaultProxy::FaultProxy(std::string targetPath)
    : FaultProxy(0) {
    std::lock_guard lock(mutex_);
    targetPath_ = std::move(targetPath);
}

FaultProxy::FaultProxy(int targetPort)
    : targetPort_(targetPort) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    sockaddr_in addr = Loopback(0);
    socklen_t length = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(listenFd_, 64) == 0 &&
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port_ = ntohs(addr.sin_port);
    thread_ = std::thread(&FaultProxy::Run, this);
}

FaultProxy::~FaultProxy() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    roundDone_.notify_all();
    Wake();
    thread_.join();
    for (const Pair& p : pairs_) {
        ::close(p.client);
        ::close(p.server);
    }
    ::close(listenFd_);
    ::close(wakeFd_);
}

void FaultProxy::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

void FaultProxy::WaitForRound() {
    std::unique_lock lock(mutex_);
    const long seen = rounds_;
    Wake();
    roundDone_.wait(lock, [&] { return rounds_ > seen || stop_; });
}

void FaultProxy::CutAll() {
    {
        std::lock_guard lock(mutex_);
        cut_ = true;
    }
    // The round that starts next sees the request and performs it before anything else.
    WaitForRound();
}

void FaultProxy::SilenceAll() {
    {
        std::lock_guard lock(mutex_);
        silence_ = true;
    }
    WaitForRound();
}

void FaultProxy::SetRefusing(bool refusing) {
    refusing_.store(refusing);
}

void FaultProxy::SetHolding(bool holding) {
    holding_.store(holding);
    WaitForRound();
}

std::chrono::steady_clock::time_point FaultProxy::LastAccepted() const {
    std::lock_guard lock(mutex_);
    return lastAccepted_;
}

int FaultProxy::Open() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(pairs_.size());
}

void FaultProxy::Reset(int fd) {
    // A zero linger turns the close into a reset, as a broken network path looks to a peer.
    linger off{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    ::close(fd);
}

bool FaultProxy::Forward(int from, int to) {
    char buffer[16384];
    const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
    return n > 0 && WriteAll(to, buffer, static_cast<std::size_t>(n));
}

void FaultProxy::AcceptOne() {
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    {
        std::lock_guard lock(mutex_);
        lastAccepted_ = std::chrono::steady_clock::now();
    }
    ++accepted_;
    if (refusing_.load()) {
        Reset(client);
        return;
    }
    std::string path;
    {
        std::lock_guard lock(mutex_);
        path = targetPath_;
    }
    const sockaddr_in target = Loopback(targetPort_);
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    std::strncpy(local.sun_path, path.c_str(), sizeof local.sun_path - 1);
    const int server = ::socket(path.empty() ? AF_INET : AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        server >= 0 && (path.empty() ? ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target)
                                     : ::connect(server, reinterpret_cast<const sockaddr*>(&local), sizeof local)) == 0;
    if (!connected) {
        if (server >= 0)
            ::close(server);
        Reset(client);
        return;
    }
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (path.empty())
        ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(mutex_);
    pairs_.push_back({client, server});
}

void FaultProxy::Run() {
    for (;;) {
        std::vector<Pair> pairs;
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                return;
            if (cut_) {
                cut_ = false;
                for (const Pair& p : pairs_) {
                    Reset(p.client);
                    Reset(p.server);
                }
                pairs_.clear();
            }
            if (silence_) {
                silence_ = false;
                for (Pair& p : pairs_)
                    p.silent = true;
            }
            pairs = pairs_;
            ++rounds_;
        }
        roundDone_.notify_all();
        const bool holding = holding_.load();
        std::vector<pollfd> fds = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (!holding) {
            for (const Pair& p : pairs) {
                // A silent pair: only the client's close is noticed; the server hears nothing.
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.server, static_cast<short>(p.silent ? 0 : POLLIN), 0});
            }
        }
        if (::poll(fds.data(), fds.size(), 1000) <= 0)
            continue;
        if (fds[1].revents != 0) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto n = ::read(wakeFd_, &value, sizeof value);
        }
        if (fds[0].revents & POLLIN)
            AcceptOne();
        if (holding)
            continue;
        std::vector<int> broken;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const pollfd& c = fds[2 + 2 * i];
            const pollfd& s = fds[3 + 2 * i];
            bool alive = true;
            if (c.revents != 0 && pairs[i].silent) {
                char swallowed[16384];
                alive = ::recv(pairs[i].client, swallowed, sizeof swallowed, 0) > 0;
            } else if (c.revents != 0) {
                alive = Forward(pairs[i].client, pairs[i].server);
            }
            if (alive && s.revents != 0)
                alive = Forward(pairs[i].server, pairs[i].client);
            if (!alive)
                broken.push_back(pairs[i].client);
        }
        if (broken.empty())
            continue;
        // One side went away: so does the other, as through a real path.
        std::lock_guard lock(mutex_);
        for (int fd : broken) {
            for (auto it = pairs_.begin(); it != pairs_.end(); ++it) {
                if (it->client == fd) {
                    ::close(it->client);
                    ::close(it->server);
                    pairs_.erase(it);
                    break;
                }
            }
        }
    }
}

} // namespace tavix::test
