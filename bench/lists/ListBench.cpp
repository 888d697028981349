// The funds view's positions list at the size the client holds: the positions table keeps
// at most 64 records (kPositionCapacity). Every figure runs the view's own code:
//   BM_FillPositionList64         CMoneyStockView::FillPositionList over 64 stored positions
//   BM_RevaluePositions64         CMoneyStockView::RevaluePositions (the 500 ms timer's pass)
//                                 with every quote changed, so every row is rewritten
//   BM_PaintPositionListVisible   one paint of the list at the view's size; only the rows
//                                 inside the viewport are painted (counter visible_rows)
// Run offscreen: QT_QPA_PLATFORM=offscreen bench_lists
#include "bench/client/TradeFixture.h"

#include "account/ListCtrlCl.h"
#include "account/MoneyStockView.h"
#include "net/Records.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRows = net::kPositionCapacity;

// A fixture whose positions table is full, with a quote for every position at `price`.
struct FullAccount : TradeFixture {
    FullAccount() {
        FillAccount();
        net::PositionTable::Slots table{};
        for (int i = 0; i < kRows; ++i) {
            net::PositionRecord& r = table[static_cast<std::size_t>(i)];
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
        state.positions.Store(table);
        Quote(10.5f);
    }
    void Quote(float price) {
        for (int i = 0; i < kRows; ++i) {
            char code[8];
            std::snprintf(code, sizeof code, "%06d", 600000 + i);
            FillQuote(code, "样本", price, 10.0f);
        }
    }
    // The view as the main window shows it in its right-hand pane.
    std::unique_ptr<CMoneyStockView> View() {
        auto view = std::make_unique<CMoneyStockView>(context);
        view->resize(1100, 600);
        view->OnInitialUpdate();
        view->show();
        QApplication::processEvents();
        return view;
    }
};

void BM_FillPositionList64(benchmark::State& state) {
    FullAccount account;
    const auto view = account.View();
    for (auto _ : state) {
        view->FillPositionList();
        benchmark::DoNotOptimize(view->List()->GetItemCount());
    }
    state.counters["rows"] = view->List()->GetItemCount();
}
BENCHMARK(BM_FillPositionList64)->Unit(benchmark::kMicrosecond);

void BM_RevaluePositions64(benchmark::State& state) {
    FullAccount account;
    const auto view = account.View();
    float price = 10.5f;
    for (auto _ : state) {
        // New prices for every code, so that the pass rewrites every row.
        state.PauseTiming();
        price = price == 10.5f ? 11.0f : 10.5f;
        account.Quote(price);
        state.ResumeTiming();
        view->RevaluePositions();
    }
    state.counters["rows"] = view->List()->GetItemCount();
}
BENCHMARK(BM_RevaluePositions64)->Unit(benchmark::kMicrosecond);

void BM_PaintPositionListVisible(benchmark::State& state) {
    FullAccount account;
    const auto view = account.View();
    CListCtrlCl* list = view->List();
    for (auto _ : state)
        benchmark::DoNotOptimize(list->grab());
    int visible = 0;
    for (int r = 0; r < list->GetItemCount(); ++r)
        visible += list->visualRect(list->model()->index(r, 0)).intersects(list->viewport()->rect());
    state.counters["rows"] = list->GetItemCount();
    state.counters["visible_rows"] = visible;
}
BENCHMARK(BM_PaintPositionListVisible)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
