// The market's own requests: the quote board and the bars of a replay whose prices and volumes
// are chosen here (expected figures worked out by hand), across a restart and the day's
// settlement, on the store the tests run against; the pinyin initials; the securities file.

#include "server/engine/Engine.h"
#include "server/engine/GbkCodec.h"
#include "server/engine/SecuritiesFile.h"
#include "server/ledger/UserDirectory.h"
#include "server/market/PinyinInitials.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"
#include "wire/MarketRecords.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <thread>

using namespace tavix::test;

namespace {

constexpr const char* kFriday = "2026-03-06";

server::LocalTime At(const std::string& day, int hour, int minute) {
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:00", hour, minute);
    return {day, time, hour * 60 + minute};
}

class TestClock final {
public:
    void Set(server::LocalTime now) {
        std::lock_guard lock(mutex_);
        now_ = std::move(now);
    }
    server::LocalTime operator()() const {
        std::lock_guard lock(mutex_);
        return now_;
    }

private:
    mutable std::mutex mutex_;
    server::LocalTime now_ = At(kFriday, 10, 0);
};

// 600000 trades 1,000 shares at 10.00, 500 at 10.20, 300 at 9.90 and 200 at 10.10 in the
// 10:00 minute, then 100 at 10.30 and 50 at 10.00 in the 10:01 minute (ticks 300 and 310).
// 000001 opens at 20.00 without a volume field and trades 400 at 20.50.
std::string ReplayCsv() {
    const std::string book = ",9.99,9.98,9.97,9.96,9.95,100,100,100,100,100,10.01,10.02,10.03,10.04,10.05,"
                             "100,100,100,100,100";
    std::string csv;
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"0,000001,平安银行,20.00,20.00", ""},       {"0,600000,浦发银行,10.00,10.00", ",1000"},
        {"1,600000,浦发银行,10.20,10.00", ",500"},   {"2,000001,平安银行,20.50,20.00", ",400"},
        {"2,600000,浦发银行,9.90,10.00", ",300"},    {"3,600000,浦发银行,10.10,10.00", ",200"},
        {"300,600000,浦发银行,10.30,10.00", ",100"}, {"310,600000,浦发银行,10.00,10.00", ",50"}};
    for (const auto& [row, volume] : rows)
        csv += row + book + volume + "\n";
    return csv;
}

std::vector<std::string> Board(const server::Engine& engine) {
    std::vector<std::string> rows;
    for (const std::string& gbk : engine.Snapshot()->board)
        rows.push_back(server::GbkToUtf8(gbk).value_or("?"));
    return rows;
}

std::string Bars(const server::Engine& engine, const char* code, net::BarPeriod period) {
    return engine.History().BarsText(code, period, net::kMaxBarRecords, 65000);
}

template <class Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

TEST(MarketHistoryTest, BoardAndBarsOfAReplayAcrossARestartAndTheSettlement) {
    ScratchDir dir;
    TestDatabase db(dir.Path());
    auto clock = std::make_shared<TestClock>();
    server::ServerOptions options;
    options.dbPath = db.Location();
    options.quotesCsv = (dir.Path() / "replay.csv").string();
    std::ofstream(options.quotesCsv) << ReplayCsv();
    options.tickMs = 10;
    options.exchangeDay = server::ExchangeCalendar();
    options.clock = [clock] { return (*clock)(); };

    const std::vector<std::string> firstMinuteBoard = {
        "000001,平安银行,PAYH,20.00,20.50,20.00,20.50,20.00,400,8200.00|",
        // 1000 × 10.00 + 500 × 10.20 + 300 × 9.90 + 200 × 10.10 = 20,090.00
        "600000,浦发银行,PFYH,10.00,10.10,10.00,10.20,9.90,2000,20090.00|"};
    {
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        engine.Start({});
        ASSERT_TRUE(WaitFor([&] { return engine.Snapshot()->tick >= 5; }));
        EXPECT_EQ(Board(engine), firstMinuteBoard);
        EXPECT_EQ(Bars(engine, "600000", net::BarPeriod::kMinute), "600000,1,1000,10.00,10.20,9.90,10.10,2000|");
        EXPECT_EQ(Bars(engine, "000001", net::BarPeriod::kMinute), "000001,1,1000,20.00,20.50,20.00,20.50,400|");
        EXPECT_EQ(Bars(engine, "600000", net::BarPeriod::kDay), "");
        EXPECT_EQ(Bars(engine, "999999", net::BarPeriod::kMinute), "");
        engine.Stop();
    }
    // Back in the same minute: the day's figures and bars come from the store and the replay
    // goes on where it was, not counting its first lines twice.
    {
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        EXPECT_EQ(Board(engine), firstMinuteBoard);
        EXPECT_EQ(Bars(engine, "600000", net::BarPeriod::kMinute), "600000,1,1000,10.00,10.20,9.90,10.10,2000|");
        clock->Set(At(kFriday, 10, 1));
        engine.Start({});
        ASSERT_TRUE(WaitFor([&] { return engine.Snapshot()->tick >= 312; }));
        EXPECT_EQ(Bars(engine, "600000", net::BarPeriod::kMinute),
                  "600000,1,1000,10.00,10.20,9.90,10.10,2000|600000,1,1001,10.30,10.30,10.00,10.00,150|");
        // The newest first: one asked for, or as many whole ones as a byte limit holds.
        EXPECT_EQ(engine.History().BarsText("600000", net::BarPeriod::kMinute, 1, 65000),
                  "600000,1,1001,10.30,10.30,10.00,10.00,150|");
        EXPECT_EQ(engine.History().BarsText("600000", net::BarPeriod::kMinute, 5, 60),
                  "600000,1,1001,10.30,10.30,10.00,10.00,150|");
        // 20,090.00 + 100 × 10.30 + 50 × 10.00 = 21,620.00
        EXPECT_EQ(Board(engine)[1], "600000,浦发银行,PFYH,10.00,10.00,10.00,10.30,9.90,2150,21620.00|");
        EXPECT_EQ(Bars(engine, "000001", net::BarPeriod::kMinute), "000001,1,1000,20.00,20.50,20.00,20.50,400|");
        engine.Stop();
    }
    // Settled at 15:30: the day's figures become daily bars, the next day starts empty.
    clock->Set(At(kFriday, 15, 30));
    {
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        EXPECT_EQ(Bars(engine, "600000", net::BarPeriod::kDay), "600000,d,20260306,10.00,10.30,9.90,10.00,2150|");
        EXPECT_EQ(Bars(engine, "000001", net::BarPeriod::kDay), "000001,d,20260306,20.00,20.50,20.00,20.50,400|");
        EXPECT_EQ(Bars(engine, "600000", net::BarPeriod::kMinute), "");
        EXPECT_EQ(Board(engine)[1], "600000,浦发银行,PFYH,10.00,10.00,0.00,0.00,0.00,0,0.00|");
    }
    {
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        EXPECT_EQ(Bars(engine, "600000", net::BarPeriod::kDay), "600000,d,20260306,10.00,10.30,9.90,10.00,2150|");
    }
}

TEST(MarketHistoryTest, TheServerAnswersPagesOfTheBoardAndBars) {
    ServerHarness harness([](server::ServerOptions& o) { o.tickMs = 20; });
    harness.AddUser("amy", "pw");
    TestClient client(harness.Port());
    ASSERT_EQ(client.Login("amy", "pw").substr(0, 2), "0,");
    const std::string all = client.Request(net::kCmdQuoteBoard, "start=0&count=1000");
    EXPECT_EQ(std::count(all.begin(), all.end(), '|'), 3) << all;
    EXPECT_TRUE(all.starts_with("000001,平安银行,PAYH,10.00,10.00,10.00,10.00,10.00,0,0.00|300750,宁德时代,NDSD,"))
        << all;
    EXPECT_EQ(client.Request(net::kCmdQuoteBoard, "start=2&count=5"),
              "600000,浦发银行,PFYH,10.00,10.00,10.00,10.00,10.00,0,0.00|");
    EXPECT_EQ(client.Request(net::kCmdQuoteBoard, "start=1&count=1").substr(0, 7), "300750,");
    EXPECT_EQ(client.Request(net::kCmdQuoteBoard, "start=3&count=5"), "");
    EXPECT_EQ(client.Request(net::kCmdBars, "code=999999&period=1&count=10"), "");
    EXPECT_EQ(client.Request(net::kCmdBars, "code=600000&period=d&count=10"), "");

    // A contestant's fill is the market's volume too: 300 shares bought at the 10.00 ask.
    EXPECT_TRUE(client.Request(net::kCmdOrder, "code=600000&price=10.00&num=300&type=1").starts_with("0,"));
    std::string row;
    ASSERT_TRUE(WaitFor([&] {
        row = client.Request(net::kCmdQuoteBoard, "start=2&count=1");
        return row.find(",0,0.00|") == std::string::npos;
    }));
    EXPECT_EQ(row, "600000,浦发银行,PFYH,10.00,10.00,10.00,10.00,10.00,300,3000.00|");
}

TEST(MarketHistoryTest, ABoardPageHoldsWholeRecordsThatFitOneFrame) {
    ScratchDir dir;
    std::string file;
    for (int i = 0; i < 1000; ++i)
        file += std::to_string(600000 + i) + ",名称很长的证券" + std::to_string(i) + ",1234.56\n";
    std::ofstream(dir.Path() / "many.txt") << file;
    std::string error;
    auto securities = server::LoadSecuritiesFile((dir.Path() / "many.txt").string(), error);
    ASSERT_TRUE(securities) << error;
    ServerHarness harness([&](server::ServerOptions& o) {
        o.quotesCsv.clear();
        o.securities = *securities;
    });
    harness.AddUser("amy", "pw");
    TestClient client(harness.Port());
    ASSERT_EQ(client.Login("amy", "pw").substr(0, 2), "0,");
    const std::string page = client.Request(net::kCmdQuoteBoard, "start=0&count=1000");
    const auto records = std::count(page.begin(), page.end(), '|');
    EXPECT_GT(records, 500);
    EXPECT_LT(records, 1000) << "1000 records of this size do not fit a frame";
    EXPECT_TRUE(page.ends_with("|"));
    const std::string next = client.Request(net::kCmdQuoteBoard, "start=" + std::to_string(records) + "&count=1000");
    EXPECT_TRUE(next.starts_with(std::to_string(600000 + records) + ",")) << next.substr(0, 40);
}

TEST(PinyinInitialsTest, InitialsOfSecuritiesNames) {
    server::PinyinInitials initials;
    EXPECT_EQ(initials.Of("浦发银行"), "PFYH");
    EXPECT_EQ(initials.Of("TCL科技"), "TCLKJ");
    EXPECT_EQ(initials.Of("*ST国华"), "STGH");
    EXPECT_EQ(initials.Of("万科Ａ"), "WKA");
    EXPECT_EQ(initials.Of("长江电力"), "CJDL");
    EXPECT_EQ(initials.Of("重庆啤酒"), "CQPJ");
    EXPECT_EQ(initials.Of("中国重工"), "ZGZG");
    EXPECT_EQ(initials.Of("厦门银行"), "XMYH");
    EXPECT_EQ(initials.Of(""), "");
}

TEST(SecuritiesFileTest, ReadsUtf8AndGbkAndNamesTheFaultyLine) {
    ScratchDir dir;
    const auto load = [&](const std::string& content, std::string& error) {
        const auto path = dir.Path() / "securities.txt";
        std::ofstream(path, std::ios::binary) << content;
        return server::LoadSecuritiesFile(path.string(), error);
    };
    std::string error;
    const auto utf8 = load("# code,name,previous close\n600000,浦发银行,7.12\n000001\t平安银行\t10.5\n", error);
    ASSERT_TRUE(utf8) << error;
    ASSERT_EQ(utf8->size(), 2u);
    EXPECT_EQ((*utf8)[1].name, "平安银行");
    EXPECT_EQ((*utf8)[1].prevClose, 1050);
    // "浦发银行" in GBK.
    const auto gbk = load("600000,\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0,7.12\n", error);
    ASSERT_TRUE(gbk) << error;
    EXPECT_EQ((*gbk)[0].name, "浦发银行");

    const std::vector<std::pair<std::string, std::string>> faults = {
        {"600000,浦发银行,7.12\n60001,短码,1.00\n", "securities.txt:2: the code must be six digits"},
        {"600000,浦发银行,7.12\n\n600000,又一个,1.00\n", "securities.txt:3: code 600000 already listed on line 1"},
        {"600000,浦发银行,0\n", "securities.txt:1: the previous close must be a positive"},
        {"600000,浦发银行,7.123\n", "securities.txt:1: the previous close must be a positive"},
        {"600000,浦发银行\n", "securities.txt:1: expected code, name and previous close"},
        {"600000,,7.12\n", "securities.txt:1: the name must be"},
        {"600000,ok,1.00\n000001,\xFF\xFF,1.00\n", "securities.txt:2: neither UTF-8 nor GBK"},
        {"# nothing\n", "securities.txt: no securities"},
    };
    for (const auto& [content, message] : faults) {
        error.clear();
        EXPECT_FALSE(load(content, error)) << content;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

TEST(MarketRecordsTest, ReadsWhatTheServerWrites) {
    const auto board = net::ParseBoardRecord("600000,PFYH-name,PFYH,10.00,10.10,10.00,10.2,9.90,2000,20090.00,extra");
    ASSERT_TRUE(board);
    EXPECT_EQ(board->high, 1020);
    EXPECT_EQ(board->low, 990);
    EXPECT_EQ(board->volume, 2000);
    EXPECT_EQ(board->amount, 2'009'000);
    EXPECT_FALSE(net::ParseBoardRecord("600000,x,X,10.00,10.10,10.00,10.20,9.90,2000"));
    EXPECT_FALSE(net::ParseBoardRecord("600000,x,X,10.00,10.10,10.00,10.20,9.90,-5,1.00"));
    const auto bar = net::ParseBarRecord("600000,1,0931,10.00,10.20,9.90,10.10,2000");
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->time, 931);
    EXPECT_EQ(bar->close, 1010);
    EXPECT_FALSE(net::ParseBarRecord("600000,1,931,10.00,10.20,9.90,10.10,2000"));
    EXPECT_FALSE(net::ParseBarRecord("600000,w,0931,10.00,10.20,9.90,10.10,2000"));
    EXPECT_TRUE(net::ParseBarRecord("600000,d,20260306,10.00,10.20,9.90,10.10,2000"));
}
