// The engine's parsing helpers: request bodies, the wire's text encoding and the log's rate limit.

#include "server/engine/AnswerBudget.h"
#include "server/engine/GbkCodec.h"
#include "server/engine/QueryString.h"
#include "server/engine/RateLimitedLog.h"

#include <gtest/gtest.h>

#include <chrono>
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

TEST(GbkCodecTest, AnswersOfRepeatedNamesConvertEveryNameAndReplaceWhatGbkCannotHold) {
    // 浦发银行 C6D6 B7A2 D2F8 D0D0, 平安银行 C6BD B0B2 D2F8 D0D0 (as long, differing in the
    // middle), 未成交 CEB4 B3C9 BDBB, 已成 D2D1 B3C9.
    const std::string answer = "600000,浦发银行,未成交|000001,平安银行,已成|600000,浦发银行,已成|";
    const std::string gbk = "600000,\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0,\xCE\xB4\xB3\xC9\xBD\xBB|"
                            "000001,\xC6\xBD\xB0\xB2\xD2\xF8\xD0\xD0,\xD2\xD1\xB3\xC9|"
                            "600000,\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0,\xD2\xD1\xB3\xC9|";
    for (int i = 0; i < 3; ++i) // the words met before convert as the first time
        EXPECT_EQ(Utf8ToGbk(answer), gbk) << i;
    EXPECT_EQ(Utf8ToGbk("未成交"), "\xCE\xB4\xB3\xC9\xBD\xBB");
    // A text longer than a name, converted as it comes: 平安银行 twenty times in a row.
    std::string longUtf8;
    std::string longGbk;
    for (int i = 0; i < 20; ++i) {
        longUtf8 += "平安银行";
        longGbk += "\xC6\xBD\xB0\xB2\xD2\xF8\xD0\xD0";
    }
    EXPECT_EQ(Utf8ToGbk("a" + longUtf8 + "b"), "a" + longGbk + "b");
    // Broken UTF-8 and a character GBK has no code for: one '?' per byte skipped.
    EXPECT_EQ(Utf8ToGbk("a\xE6"
                        "b"),
              "a?b");
    EXPECT_EQ(Utf8ToGbk("ab\xE6\xB5"), "ab??");
    EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80,已成"), "x????,\xD2\xD1\xB3\xC9");
}

TEST(AnswerBudgetTest, AnAccountPastItsBytesWaitsForThemAtTheBudgetsPaceAndOthersDoNot) {
    using namespace std::chrono_literals;
    // 1,000 bytes a second, 1,000 at once; each answer costs its bytes and 256 for the reading.
    AnswerBudget budget(1000, 1000);
    const auto t0 = AnswerBudget::Clock::time_point{} + 24h;
    EXPECT_LE(budget.ReadyAt(1), t0);
    budget.Charge(1, 744, t0); // 1,000 bytes: paid for at t0 + 1 s, within the burst
    EXPECT_EQ(budget.ReadyAt(1), t0);
    budget.Charge(1, 1744, t0); // 2,000 more: paid for at t0 + 3 s, ready 1 s before
    EXPECT_EQ(budget.ReadyAt(1), t0 + 2s);
    EXPECT_LE(budget.ReadyAt(2), t0) << "another account is not held";
    budget.Charge(1, 0, t0 + 2s); // an empty answer costs its reading: 256 ms more
    EXPECT_EQ(budget.ReadyAt(1), t0 + 2256ms);
    // Quiet for a while, the account starts afresh: no credit piles up beyond the burst.
    budget.Charge(1, 744, t0 + 10s);
    EXPECT_EQ(budget.ReadyAt(1), t0 + 10s);
    budget.Charge(1, 744, t0 + 10s);
    EXPECT_EQ(budget.ReadyAt(1), t0 + 11s);

    AnswerBudget unlimited(0, 0);
    unlimited.Charge(1, 1'000'000'000, t0);
    EXPECT_LE(unlimited.ReadyAt(1), t0);
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
