// The coloured list under the load of a full positions table: filling 512 rows of eleven
// columns with their colours, and one revaluation pass over them with a quote per row.
// Run offscreen: QT_QPA_PLATFORM=offscreen bench_lists
#include "account/ListCtrlCl.h"
#include "account/PositionRevaluation.h"
#include "net/QuoteTable.h"
#include "net/Records.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {
constexpr int kRows = 512;

std::vector<net::PositionRecord> Records() {
    std::vector<net::PositionRecord> records(kRows);
    for (int i = 0; i < kRows; ++i) {
        net::PositionRecord& r = records[static_cast<std::size_t>(i)];
        std::snprintf(r.code, sizeof r.code, "%06d", 600000 + i);
        std::snprintf(r.name, sizeof r.name, "S%d", i);
        std::snprintf(r.balance, sizeof r.balance, "%d", 100 * (i + 1));
        std::snprintf(r.available, sizeof r.available, "%d", 100 * (i + 1));
        std::snprintf(r.frozen, sizeof r.frozen, "0");
        std::snprintf(r.profit, sizeof r.profit, "%d.00", i % 7 - 3);
        std::snprintf(r.costPrice, sizeof r.costPrice, "10.00");
        std::snprintf(r.profitRatio, sizeof r.profitRatio, "0.00");
        std::snprintf(r.marketPrice, sizeof r.marketPrice, "10.00");
        std::snprintf(r.marketValue, sizeof r.marketValue, "%d.00", 1000 * (i + 1));
    }
    return records;
}

void SetUp(CListCtrlCl& list) {
    positions::SetUpList(list, {90, 100, 90, 90, 90, 80, 80, 110, 90, 90, 90});
    list.resize(1100, 600);
    list.show();
}

void Fill(CListCtrlCl& list, const std::vector<net::PositionRecord>& records) {
    list.setUpdatesEnabled(false);
    list.DeleteAllItems();
    for (const net::PositionRecord& record : records)
        positions::AppendRow(list, record, true);
    list.setUpdatesEnabled(true);
}

void BM_Fill512Rows(benchmark::State& state) {
    CListCtrlCl list;
    SetUp(list);
    const auto records = Records();
    for (auto _ : state) {
        Fill(list, records);
        benchmark::DoNotOptimize(list.GetItemCount());
    }
}
BENCHMARK(BM_Fill512Rows)->Unit(benchmark::kMillisecond);

void BM_Revalue512Rows(benchmark::State& state) {
    CListCtrlCl list;
    SetUp(list);
    const auto records = Records();
    Fill(list, records);
    net::QuoteTable quotes;
    for (const net::PositionRecord& record : records) {
        net::QuoteRecord quote{};
        std::snprintf(quote.code, sizeof quote.code, "%s", record.code);
        quote.lastPrice = 10.5f;
        quotes.Store(quote);
    }
    float price = 10.5f;
    for (auto _ : state) {
        // Alternate the prices so that every pass rewrites every row.
        state.PauseTiming();
        price = price == 10.5f ? 11.0f : 10.5f;
        for (const net::PositionRecord& record : records) {
            net::QuoteRecord quote{};
            std::snprintf(quote.code, sizeof quote.code, "%s", record.code);
            quote.lastPrice = price;
            quotes.Store(quote);
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(positions::Revalue(list, quotes));
    }
}
BENCHMARK(BM_Revalue512Rows)->Unit(benchmark::kMillisecond);

void BM_Paint512Rows(benchmark::State& state) {
    CListCtrlCl list;
    SetUp(list);
    Fill(list, Records());
    for (auto _ : state)
        benchmark::DoNotOptimize(list.grab());
}
BENCHMARK(BM_Paint512Rows)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
