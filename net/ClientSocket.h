#pragma once

#include "net/LinkTimings.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace net {

// The one connection to the trading server. The network thread connects, reads and
// closes; every thread may send. A send puts a whole frame on the wire under a lock, so
// frames from several threads never mix.
class CClientSocket final {
public:
    static constexpr std::size_t kBufferSize = 65536;

    explicit CClientSocket(const LinkTimings& timings = {});
    ~CClientSocket();
    CClientSocket(const CClientSocket&) = delete;
    CClientSocket& operator=(const CClientSocket&) = delete;

    // Network thread only. Connects to a dotted IPv4 address (or host name) within the
    // connect time-out. On success the new socket replaces the current one (the caller has
    // closed that) and the connected flag is set for good.
    bool Connect(const std::string& address, int port);

    // Network thread only. Reads one frame into `buffer` (kBufferSize bytes, zero-filled by
    // the caller). Returns the frame length (≥ 11), 0 when nothing arrived within one
    // receive wait (a partly read frame is abandoned), or −1 when the connection broke: a
    // failed wait or read, the peer closing, or an impossible length prefix. On −1 the
    // socket is already closed.
    int ReceiveFrame(char* buffer);

    // Any thread. Writes the whole frame, finishing partial writes, giving up after the
    // send time-out. False when never connected, the socket is closed, or the write failed.
    bool Send(std::string_view frame);

    // Network thread only. Closes the current socket (sends then fail until a reconnect).
    void Close();

    // Network thread only. Until the next Close(), ReceiveFrame reads from `source` instead of
    // a socket: each call copies up to `size` bytes to `data` and returns how many, 0 at the
    // end of the stream. Feeds the read path a stream cut at any point without a server.
    using ByteSource = std::function<std::size_t(char* data, std::size_t size)>;
    void ReadFrom(ByteSource source);

    // Any thread. Ends every current and future wait of Connect and ReceiveFrame at once
    // (as a time-out), so a link that is being stopped does not sit out its time-outs.
    void Interrupt();

    // Set by the first successful Connect and never cleared.
    bool Connected() const { return m_connected.load(); }

    const std::string& ServerAddress() const { return m_serverAddress; }
    int Port() const { return m_port; }

private:
    // Waits until the socket is readable; 1 readable, 0 time-out, −1 failure.
    int WaitReadable(int fd);
    // Reads until at least `count` bytes are pending, waiting as ReceiveFrame does: 1 done,
    // 0 nothing arrived within one wait, −1 failure or the peer closed.
    int Fill(int fd, std::size_t count);

    LinkTimings m_timings;
    std::mutex m_writeMutex; // guards m_socket against a send while it is replaced
    int m_socket = -1;
    std::string m_serverAddress;
    int m_port = 0;
    std::atomic<bool> m_connected{false};
    int m_wakeFd = -1; // readable once Interrupt() was called
    // Network thread only: bytes received but not yet handed out. Reading whatever the kernel
    // holds saves two system calls per frame; a frame is still handed out only when whole.
    std::unique_ptr<char[]> m_pending;
    std::size_t m_pendingBegin = 0;
    std::size_t m_pendingEnd = 0;
    std::atomic<bool> m_interrupted{false};
    ByteSource m_source;
};

} // namespace net
