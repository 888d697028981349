// A whole session's frame stream on the server: framing, GBK decoding, query strings and
// every request handler, against a contest in an in-memory database. Each answer must fit a
// frame and convert back to the UTF-8 it came from.
#include "FuzzCheck.h"

#include "net/Commands.h"
#include "net/Frame.h"
#include "server/Engine.h"
#include "server/GbkCodec.h"
#include "server/Ledger.h"
#include "server/QueryString.h"
#include "server/Requests.h"
#include "server/ServerOptions.h"
#include "server/UserDirectory.h"

#include <cstdint>
#include <optional>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    server::ServerOptions options;
    options.dbPath = ":memory:";
    options.createDemo = false;
    server::UserDirectory directory;
    server::Engine engine(options, directory);
    engine.Open();
    engine.RunNow([&](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
        const std::int64_t userId =
            ledger.AddUser("fuzz", "-", 100'000'000, "A000001", "0000001", ledger.Day(), now.time);
        net::FrameDecoder decoder;
        decoder.Append(reinterpret_cast<const char*>(data), size);
        net::Frame frame;
        while (decoder.Next(frame) == net::FrameDecoder::Status::kFrame) {
            const auto body = server::GbkToUtf8(frame.body);
            if (!body)
                continue;
            const auto query = server::QueryString::Parse(*body);
            if (!query)
                continue;
            const auto answer = server::HandleAccountRequest(ledger, options.hours, userId, frame.command, *query, now);
            ledger.MatchOpenOrders(now.time);
            if (!answer)
                continue;
            const std::string gbk = server::Utf8ToGbk(*answer);
            const auto back = server::GbkToUtf8(gbk);
            FUZZ_CHECK(back.has_value());
            if (gbk.find('?') == std::string::npos)
                FUZZ_CHECK(*back == *answer);
        }
        return std::nullopt;
    });
    return 0;
}
