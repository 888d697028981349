// The HTTP side: the ranking's masking, rounding and JSON, the metrics' counting and text,
// and the four addresses served from a running contest.

#include "server/engine/Metrics.h"
#include "server/engine/RankingBoard.h"
#include "server/http/HttpServer.h"
#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace tavix::test;

namespace {

template <class F>
bool Eventually(F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(RankingTextTest, NamesAreMaskedToTheirFirstCharacter) {
    EXPECT_EQ(server::MaskName("张三丰"), "张**");
    EXPECT_EQ(server::MaskName("张三"), "张**"); // the length is not told either
    EXPECT_EQ(server::MaskName("zhang3"), "z**");
    EXPECT_EQ(server::MaskName("é"), "é**");
    EXPECT_EQ(server::MaskName("😀x"), "😀**");
    EXPECT_EQ(server::MaskName(""), "");
    // A lead byte without its continuation bytes is not copied past the end.
    EXPECT_EQ(server::MaskName("\xE5"), "\xE5**");
}

TEST(RankingTextTest, ReturnsAreRoundedToHundredthsOfAPercent) {
    // 1,012,345.67 against 1,000,000.00: +1.234567 %.
    EXPECT_EQ(server::ReturnPercent(101'234'567, 100'000'000), "1.23");
    // 1,000,050.00: +0.005 % exactly, half away from zero.
    EXPECT_EQ(server::ReturnPercent(100'005'000, 100'000'000), "0.01");
    EXPECT_EQ(server::ReturnPercent(99'995'000, 100'000'000), "-0.01");
    EXPECT_EQ(server::ReturnPercent(99'996'000, 100'000'000), "0.00");
    EXPECT_EQ(server::ReturnPercent(200'000'000, 100'000'000), "100.00");
    EXPECT_EQ(server::ReturnPercent(0, 100'000'000), "-100.00");
    EXPECT_EQ(server::ReturnPercent(5, 0), "0.00");
    // A total far beyond the initial cash does not overflow: 1,000,000,000.00 on 1.00.
    EXPECT_EQ(server::ReturnPercent(100'000'000'000, 100), "99999999900.00");
}

TEST(RankingTextTest, TheJsonNumbersTheRowsAndEscapesNames) {
    std::vector<server::RankingRow> rows;
    rows.push_back({"a\"b\\c", 0, 150'000, 50'000, 100'000, 2});
    rows.push_back({"张三丰", 1, 90'000, 0, 100'000, 0});
    const auto snapshot = server::MakeRankingSnapshot(rows, "2026-12-07", "2026-12-07 10:00:00");
    EXPECT_EQ(server::RankingJson(*snapshot, true),
              R"({"day":"2026-12-07","updated":"2026-12-07 10:00:00","rows":[)"
              R"({"rank":1,"name":"a\"b\\c","total":"2000.00","return":"100.00","positions":2},)"
              R"({"rank":2,"name":"张三丰","total":"900.00","return":"-10.00","positions":0}]})");
    EXPECT_EQ(server::RankingJson(*snapshot, false),
              R"({"day":"2026-12-07","updated":"2026-12-07 10:00:00","rows":[)"
              R"({"rank":1,"name":"a**","total":"2000.00","return":"100.00","positions":2},)"
              R"({"rank":2,"name":"张**","total":"900.00","return":"-10.00","positions":0}]})");
}

TEST(MetricsTextTest, HistogramBucketsAreCumulativeWithSumAndCount) {
    server::Histogram<3> h({1, 2, 5});
    for (double v : {1.0, 3.0, 3.0, 1000.0, 0.5})
        h.Observe(v);
    std::string text;
    h.Render(text, "x");
    EXPECT_EQ(text, "x_bucket{le=\"1\"} 2\n"
                    "x_bucket{le=\"2\"} 2\n"
                    "x_bucket{le=\"5\"} 4\n"
                    "x_bucket{le=\"+Inf\"} 5\n"
                    "x_sum 1007.500000\n"
                    "x_count 5\n");
}

class ServerHttpTest : public ::testing::Test {
protected:
    ServerHttpTest()
        : http_(harness_.GetEngine().Ranking(), harness_.GetEngine().GetMetrics(), false) {
        http_.Start("127.0.0.1", 0);
    }

    httplib::Result Get(const char* path) {
        httplib::Client client("127.0.0.1", http_.Port());
        client.set_read_timeout(5, 0);
        return client.Get(path);
    }
    // The value of one sample line of the metrics text, -1 when it is missing.
    long long Sample(const std::string& line) {
        const auto res = Get("/metrics");
        if (!res)
            return -1;
        const std::string& text = res->body;
        const auto at = text.find("\n" + line + " ");
        if (at == std::string::npos)
            return -1;
        return std::stoll(text.substr(at + line.size() + 2));
    }

    ServerHarness harness_;
    server::HttpServer http_;
};

TEST_F(ServerHttpTest, HealthSaysServingOnlyOnceTheServerServes) {
    auto res = Get("/healthz");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 503);
    EXPECT_EQ(Sample("quorvexd_serving"), 0);
    http_.SetServing(true);
    res = Get("/healthz");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(Sample("quorvexd_serving"), 1);

    res = Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(res->body.find("ranking.json"), std::string::npos);
    EXPECT_EQ(Get("/no-such-page")->status, 404);
}

TEST_F(ServerHttpTest, TheRankingFollowsTradesAndTheMetricsCountThem) {
    harness_.AddUser("张三丰", "pw", 1'000'000); // 10,000.00
    harness_.AddUser("lisi", "pw", 1'500'000);   // 15,000.00
    harness_.AddUser("wangwu", "pw", 500'000);   // 5,000.00
    TestClient zhang(harness_.Port());
    ASSERT_EQ(Fields(zhang.Login("张三丰", "pw"), ",,,")[0], "0");
    TestClient wrong(harness_.Port());
    ASSERT_EQ(Fields(wrong.Login("lisi", "nope"), ",,,")[0], "1");
    // 300 × 10.00 = 3,000.00 fills at once; commission 5.00 (its minimum), transfer fee 0.03.
    ASSERT_TRUE(zhang.Request(net::kCmdOrder, "code=600000&price=10.00&num=300&name=x&type=1").starts_with("0,"));
    ASSERT_TRUE(zhang.Request(net::kCmdOrder, "code=999999&price=10.00&num=100&name=x&type=1").starts_with("1,"));

    // 9,994.97 is behind 15,000.00 and ahead of 5,000.00; −5.03 on 10,000.00 is −0.05 %.
    const std::string expected = R"("rows":[)"
                                 R"({"rank":1,"name":"l**","total":"15000.00","return":"0.00","positions":0},)"
                                 R"({"rank":2,"name":"张**","total":"9994.97","return":"-0.05","positions":1},)"
                                 R"({"rank":3,"name":"w**","total":"5000.00","return":"0.00","positions":0}]})";
    std::string last;
    EXPECT_TRUE(Eventually([&] {
        const auto res = Get("/ranking.json");
        last = res ? res->body : "";
        return res && res->status == 200 && last.ends_with(expected);
    })) << last;

    EXPECT_EQ(Sample("quorvexd_logins_total{outcome=\"ok\"}"), 1);
    EXPECT_EQ(Sample("quorvexd_logins_total{outcome=\"rejected\"}"), 1);
    EXPECT_EQ(Sample("quorvexd_orders_total{outcome=\"accepted\"}"), 1);
    EXPECT_EQ(Sample("quorvexd_orders_total{outcome=\"rejected\"}"), 1);
    EXPECT_EQ(Sample("quorvexd_fills_total{side=\"buy\"}"), 1);
    EXPECT_EQ(Sample("quorvexd_fills_total{side=\"sell\"}"), 0);
    EXPECT_EQ(Sample("quorvexd_connections_total{outcome=\"accepted\"}"), 2);
    EXPECT_EQ(Sample("quorvexd_connections_open"), 2);
    // Every batch that carried requests was committed and counted.
    EXPECT_GE(Sample("quorvexd_commit_batch_size_count"), 1);
    EXPECT_EQ(Sample("quorvexd_commit_batch_size_count"), Sample("quorvexd_commit_seconds_count"));

    // Quotes: a subscriber gets pushes, and they are counted.
    zhang.Send(net::kCmdQuoteSubscribe, "code=600000");
    EXPECT_TRUE(Eventually([&] { return Sample("quorvexd_quote_pushes_total{outcome=\"sent\"}") >= 2; }));
}

} // namespace

// A crowd of idle connections (browsers keeping theirs open, or someone opening many) neither
// keeps a monitor's health check waiting nor holds a worker for long.
TEST_F(ServerHttpTest, HealthAnswersBesideSixtyFourIdleConnectionsWhichAreClosedSoon) {
    http_.SetServing(true);
    std::vector<int> idle;
    for (int i = 0; i < 64; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(http_.Port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (i % 2)
            ASSERT_EQ(::write(fd, "GET / HTTP/1.1\r\n", 16), 16); // a request that never ends
        idle.push_back(fd);
    }
    httplib::Client client("127.0.0.1", http_.Port());
    client.set_connection_timeout(3, 0);
    client.set_read_timeout(3, 0);
    const auto res = client.Get("/healthz");
    ASSERT_TRUE(res) << "no answer within 3 s";
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
    for (const int fd : idle) {
        // The unfinished requests may be told off first; then the server closes.
        char chunk[512];
        ssize_t n = 1;
        for (pollfd p{fd, POLLIN, 0}; n > 0 && ::poll(&p, 1, 15000) == 1;)
            n = ::read(fd, chunk, sizeof chunk);
        EXPECT_EQ(n, 0) << "an idle connection stays open";
        ::close(fd);
    }
}

TEST_F(ServerHttpTest, ThePageSaysWhatMayRunInIt) {
    const auto res = Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
    const std::string policy = res->get_header_value("Content-Security-Policy");
    EXPECT_TRUE(policy.starts_with("default-src 'none'; script-src 'sha256-")) << policy;
    EXPECT_NE(policy.find("; style-src 'sha256-"), std::string::npos) << policy;
    EXPECT_NE(policy.find("connect-src 'self'"), std::string::npos) << policy;
    EXPECT_EQ(policy.find("unsafe"), std::string::npos) << policy;
}
