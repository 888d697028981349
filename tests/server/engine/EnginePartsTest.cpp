// The engine's parsing helpers: request bodies and the log's rate limit.

#include "server/engine/QueryString.h"
#include "server/engine/RateLimitedLog.h"

#include <gtest/gtest.h>

#include <string>

using namespace server;

TEST(QueryStringTest, DuplicateKeysAndPiecesWithoutValueInvalidateTheBody) {
    const auto q = QueryString::Parse("code=600000&pwd=a=b&name=");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Get("code"), "600000");
    EXPECT_EQ(q->Get("pwd"), "a=b"); // '=' inside a value is kept
    EXPECT_TRUE(q->Has("name"));
    EXPECT_EQ(q->Get("name"), "");
    EXPECT_FALSE(q->Has("missing"));
    EXPECT_FALSE(QueryString::Parse("pwd=x&curuser=eve&curuser=alice")); // injected key
    EXPECT_FALSE(QueryString::Parse("pwd=a&b&curuser=alice"));           // '&' inside a value
    EXPECT_FALSE(QueryString::Parse("=x"));
    EXPECT_TRUE(QueryString::Parse("")); // an empty body has no keys
}

TEST(QueryStringTest, BodiesOfThousandsOfKeysAreRefusedUnread) {
    std::string body;
    for (int i = 0; i < 13898; ++i)
        body += (i ? "&k" : "k") + std::to_string(i) + "=v";
    EXPECT_FALSE(QueryString::Parse(body));
    std::string largest;
    for (std::size_t i = 0; i < QueryString::kMaxPieces; ++i)
        largest += (i ? "&k" : "k") + std::to_string(i) + "=v";
    const auto q = QueryString::Parse(largest);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Get("k63"), "v");
    EXPECT_FALSE(QueryString::Parse(largest + "&one=more"));
}

TEST(RateLimitedLogTest, RepeatsAreCountedAndReportedOncePerPeriod) {
    RateLimitedLog log(std::chrono::seconds(5));
    const auto t0 = RateLimitedLog::Clock::time_point{} + std::chrono::hours(1);
    EXPECT_EQ(log.Line("disk full", t0), "quorvexd: disk full");
    for (int i = 1; i <= 47; ++i)
        EXPECT_EQ(log.Line("disk full", t0 + std::chrono::milliseconds(100 * i)), "") << i;
    EXPECT_EQ(log.Line("disk full", t0 + std::chrono::seconds(5)),
              "quorvexd: disk full (47 more like it since the last report)");
    EXPECT_EQ(log.Line("disk full", t0 + std::chrono::seconds(6)), "");
}
