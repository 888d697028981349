#include "net/ClientSocket.h"

#include "wire/Frame.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPendingSize = 2 * 65536;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool SetNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

bool ResolveIpv4(const std::string& address, int port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    out.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

} // namespace

CClientSocket::CClientSocket(const LinkTimings& timings)
    : m_timings(timings)
    , m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , m_pending(std::make_unique<char[]>(kPendingSize)) {}

CClientSocket::~CClientSocket() {
    Close();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void CClientSocket::Interrupt() {
    m_interrupted.store(true);
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(m_wakeFd, &one, sizeof one);
    }
}

bool CClientSocket::Connect(const std::string& address, int port) {
    m_serverAddress = address;
    m_port = port;
    if (m_interrupted.load())
        return false;
    sockaddr_in target{};
    if (!ResolveIpv4(address, port, target))
        return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool ok = SetNonBlocking(fd, true);
    if (ok && ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0)
        ok = errno == EINPROGRESS;
    if (ok) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, static_cast<int>(m_timings.connectTimeout.count()));
        ok = ready > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) != 0;
        // A refused connect also wakes the wait; only a socket without a pending error is connected.
        int error = 0;
        socklen_t len = sizeof error;
        if (ok)
            ok = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
    if (ok)
        ok = SetNonBlocking(fd, false);
    if (!ok) {
        ::close(fd);
        return false;
    }
    const int noDelay = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    m_pendingBegin = m_pendingEnd = 0;
    {
        std::lock_guard lock(m_writeMutex);
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = fd;
    }
    m_connected.store(true);
    return true;
}

int CClientSocket::WaitReadable(int fd) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, static_cast<int>(m_timings.receiveWait.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return -1;
        if (ready == 0 || m_interrupted.load())
            return 0;
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP))
            return 1;
        if (fds[0].revents & POLLNVAL)
            return -1;
    }
}

int CClientSocket::Fill(int fd, std::size_t count) {
    while (m_pendingEnd - m_pendingBegin < count) {
        if (m_pendingEnd == kPendingSize) {
            std::memmove(m_pending.get(), m_pending.get() + m_pendingBegin, m_pendingEnd - m_pendingBegin);
            m_pendingEnd -= m_pendingBegin;
            m_pendingBegin = 0;
        }
        char* const free = m_pending.get() + m_pendingEnd;
        const std::size_t room = kPendingSize - m_pendingEnd;
        const ssize_t n = m_source ? static_cast<ssize_t>(m_source(free, room)) : ::recv(fd, free, room, MSG_DONTWAIT);
        if (n > 0) {
            m_pendingEnd += static_cast<std::size_t>(n);
            continue;
        }
        // Zero bytes: the server closed the connection.
        if (n == 0)
            return -1;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        const int ready = WaitReadable(fd);
        if (ready <= 0)
            return ready;
    }
    return 1;
}

int CClientSocket::ReceiveFrame(char* buffer) {
    const int fd = m_socket;
    if (fd < 0 && !m_source)
        return -1;
    int step = Fill(fd, kLengthPrefixSize);
    std::optional<std::size_t> length;
    if (step > 0) {
        length = ParseLengthPrefix(std::string_view(m_pending.get() + m_pendingBegin, kLengthPrefixSize));
        // An impossible length cannot be skipped: the stream has lost its frame boundaries.
        if (!length)
            step = -1;
    }
    if (step > 0)
        step = Fill(fd, *length);
    if (step < 0) {
        Close();
        return -1;
    }
    if (step == 0) {
        // A frame interrupted by a silent wait is abandoned; the next call starts afresh with
        // whatever bytes follow.
        m_pendingBegin = m_pendingEnd = 0;
        return 0;
    }
    std::memcpy(buffer, m_pending.get() + m_pendingBegin, *length);
    m_pendingBegin += *length;
    if (m_pendingBegin == m_pendingEnd)
        m_pendingBegin = m_pendingEnd = 0;
    return static_cast<int>(*length);
}

bool CClientSocket::Send(std::string_view frame) {
    if (!m_connected.load())
        return false;
    std::lock_guard lock(m_writeMutex);
    if (m_socket < 0)
        return false;
    const auto deadline = Clock::now() + m_timings.sendTimeout;
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(m_socket, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{m_socket, POLLOUT, 0};
            const int wait = RemainingMs(deadline);
            if (wait > 0 && ::poll(&p, 1, wait) >= 0 && (p.revents & POLLOUT))
                continue;
            if (wait > 0 && errno == EINTR)
                continue;
        }
        // A frame cut short leaves the stream without frame boundaries; shutting the socket
        // down makes the network thread notice and reconnect.
        if (sent > 0)
            ::shutdown(m_socket, SHUT_RDWR);
        return false;
    }
    return true;
}

void CClientSocket::ReadFrom(ByteSource source) {
    m_pendingBegin = m_pendingEnd = 0;
    m_source = std::move(source);
}

void CClientSocket::Close() {
    m_pendingBegin = m_pendingEnd = 0;
    m_source = nullptr;
    std::lock_guard lock(m_writeMutex);
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

} // namespace net
