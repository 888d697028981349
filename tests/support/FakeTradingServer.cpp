#include "tests/support/FakeTradingServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavix::test {

FakeTradingServer::FakeTradingServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (listenFd_ < 0 || wakeFd_ < 0)
        throw std::runtime_error("test server: cannot create sockets");
    const int yes = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 8) != 0)
        throw std::runtime_error("test server: cannot listen");
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread(&FakeTradingServer::Run, this);
}

FakeTradingServer::~FakeTradingServer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    Wake();
    thread_.join();
    CloseClient();
    ::close(listenFd_);
    ::close(wakeFd_);
}

void FakeTradingServer::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

void FakeTradingServer::Run() {
    for (;;) {
        bool paused = false;
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                return;
            paused = paused_;
        }
        pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {clientFd_, POLLIN, 0}};
        const nfds_t count = (clientFd_ >= 0 && !paused) ? 3 : 2;
        if (::poll(fds, count, 1000) < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto n = ::read(wakeFd_, &value, sizeof value);
        }
        // What the old connection sent is read before a new connection replaces it.
        if (count == 3 && (fds[2].revents & (POLLIN | POLLERR | POLLHUP)))
            ReadClient();
        if (fds[1].revents & POLLIN)
            Accept();
    }
}

void FakeTradingServer::Accept() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    const int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    CloseClient();
    std::lock_guard write(writeMutex_);
    std::lock_guard lock(mutex_);
    clientFd_ = fd;
    decoder_ = net::FrameDecoder();
    ++connections_;
    connectionTimes_.push_back(Clock::now());
    changed_.notify_all();
}

void FakeTradingServer::ReadClient() {
    char chunk[16384];
    const ssize_t n = ::recv(clientFd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    if (n <= 0) {
        CloseClient();
        return;
    }
    decoder_.Append(chunk, static_cast<std::size_t>(n));
    net::Frame frame;
    for (;;) {
        const auto status = decoder_.Next(frame);
        if (status == net::FrameDecoder::Status::kNeedMore)
            return;
        if (status == net::FrameDecoder::Status::kBroken) {
            CloseClient();
            return;
        }
        std::function<std::string(const net::Frame&)> reply;
        {
            std::lock_guard lock(mutex_);
            received_.push_back({frame, Clock::now(), connections_});
            consumed_.push_back(false);
            if (const auto it = autoReplies_.find(frame.command); it != autoReplies_.end())
                reply = it->second;
            changed_.notify_all();
        }
        if (reply)
            Send(frame.command, reply(frame));
    }
}

void FakeTradingServer::CloseClient() {
    std::lock_guard write(writeMutex_);
    std::lock_guard lock(mutex_);
    if (clientFd_ >= 0) {
        ::close(clientFd_);
        clientFd_ = -1;
    }
    changed_.notify_all();
}

std::vector<net::Frame> FakeTradingServer::Received() const {
    std::lock_guard lock(mutex_);
    std::vector<net::Frame> frames;
    for (const Entry& e : received_)
        frames.push_back(e.frame);
    return frames;
}

std::vector<FakeTradingServer::Entry> FakeTradingServer::ReceivedLog() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int FakeTradingServer::CountOf(int command) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const Entry& e : received_)
        n += e.frame.command == command ? 1 : 0;
    return n;
}

std::optional<net::Frame> FakeTradingServer::WaitForCommand(int command, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    std::optional<net::Frame> found;
    changed_.wait_for(lock, timeout, [&] {
        for (std::size_t i = 0; i < received_.size(); ++i) {
            if (!consumed_[i] && received_[i].frame.command == command) {
                consumed_[i] = true;
                found = received_[i].frame;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool FakeTradingServer::WaitForConnection(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return clientFd_ >= 0; });
}

bool FakeTradingServer::WaitForConnectionCount(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return connections_ >= count; });
}

int FakeTradingServer::ConnectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool FakeTradingServer::Connected() const {
    // clientFd_ only changes under both locks, so either one makes this read safe.
    std::lock_guard lock(mutex_);
    return clientFd_ >= 0;
}

std::vector<FakeTradingServer::Clock::time_point> FakeTradingServer::ConnectionTimes() const {
    std::lock_guard lock(mutex_);
    return connectionTimes_;
}

bool FakeTradingServer::WriteAll(std::string_view bytes) {
    std::lock_guard lock(writeMutex_);
    if (clientFd_ < 0)
        return false;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(clientFd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool FakeTradingServer::Send(int command, std::string_view body) {
    return WriteAll(net::FormatFrame(command, body));
}

bool FakeTradingServer::SendRaw(std::string_view bytes) {
    return WriteAll(bytes);
}

void FakeTradingServer::SetAutoReply(int command, std::function<std::string(const net::Frame&)> reply) {
    std::lock_guard lock(mutex_);
    autoReplies_[command] = std::move(reply);
}

void FakeTradingServer::Drop() {
    std::lock_guard lock(writeMutex_);
    if (clientFd_ >= 0)
        ::shutdown(clientFd_, SHUT_RDWR);
}

void FakeTradingServer::PauseReading(bool paused) {
    {
        std::lock_guard lock(mutex_);
        paused_ = paused;
    }
    Wake();
}

} // namespace tavix::test
