// The client's read path: a byte stream that arrives cut at arbitrary points goes through
// the socket's frame reassembly, and every frame through the link's dispatch and parsers.
// The frames handed out must be exactly those the server side's decoder finds in the same
// stream, whatever the cuts.
#include "FuzzCheck.h"
#include "ReusedState.h"

#include "net/ClientSocket.h"
#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "wire/Frame.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

class NullNotifier final : public net::LinkNotifier {
public:
    bool HasMainFrame() const override { return true; }
    void NotifyTable(int) override {}
    void DeliverReply(int, std::string_view) override {}
    void PostReply(int, std::string) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte seeds the piece sizes, the rest is the stream.
    if (size < 1)
        return 0;
    std::uint32_t seed = data[0] * 2654435761u + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    static ReusedState reused;
    net::SharedState& state = reused.Renewed();
    NullNotifier notifier;
    net::TradingLink link(state, notifier);

    std::size_t offset = 0;
    link.Socket().ReadFrom([&](char* out, std::size_t room) -> std::size_t {
        seed = seed * 1103515245u + 12345u;
        // Mostly small pieces, now and then a large one.
        const std::size_t piece = (seed >> 16) % 8 == 0 ? (seed >> 8) % 70000 + 1 : (seed >> 16) % 13 + 1;
        const std::size_t n = std::min({piece, room, stream.size() - offset});
        std::memcpy(out, stream.data() + offset, n);
        offset += n;
        return n;
    });

    net::FrameDecoder reference;
    reference.Append(stream.data(), stream.size());
    std::vector<char> buffer(net::CClientSocket::kBufferSize, '\0');
    std::size_t dirty = 0; // only the last frame's bytes need clearing: the rest is still zero
    for (;;) {
        std::fill_n(buffer.begin(), dirty, '\0');
        const int length = link.Socket().ReceiveFrame(buffer.data());
        FUZZ_CHECK(length != 0); // an in-memory stream never times out
        net::Frame expected;
        const auto status = reference.Next(expected);
        if (length < 0) {
            FUZZ_CHECK(status != net::FrameDecoder::Status::kFrame);
            break;
        }
        FUZZ_CHECK(status == net::FrameDecoder::Status::kFrame);
        dirty = static_cast<std::size_t>(length);
        FUZZ_CHECK(static_cast<std::size_t>(length) == expected.body.size() + net::kHeaderSize);
        const int command = net::ParseCommand(std::string_view(buffer.data() + net::kLengthPrefixSize, 3));
        FUZZ_CHECK(command == expected.command);
        FUZZ_CHECK(std::string_view(buffer.data() + net::kHeaderSize, expected.body.size()) == expected.body);
        const char* body = buffer.data() + net::kHeaderSize;
        link.Dispatch(command, std::string_view(body, strnlen(body, expected.body.size())));
    }
    return 0;
}
