// Costs of the order-entry windows: refilling the orders panel and the cancellation list
// with a full day of orders, and the processor time of an open sell form whose quote ticks.

#include "TradeFixture.h"

#include "account/ListCtrlCl.h"
#include "trade/CancelView.h"
#include "trade/SellView.h"
#include "trade/WeituoDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Argument 1: the panel is shown and the refilled rows are painted too.
void BM_FillOrderList512(benchmark::State& state) {
    TradeFixture fixture;
    fixture.FillOrders(512);
    CWeituoDlg panel(fixture.context);
    panel.resize(1000, 400);
    const bool paint = state.range(0) != 0;
    if (paint)
        panel.show();
    for (auto _ : state) {
        panel.FillOrderList();
        if (paint)
            QApplication::processEvents();
    }
    state.counters["rows"] = panel.List()->GetItemCount();
}
BENCHMARK(BM_FillOrderList512)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The cancellation list lists open orders only: all 512 of a full orders table are open.
void BM_FillOpenOrderList512(benchmark::State& state) {
    TradeFixture fixture;
    fixture.FillOrders(512, true);
    CCancelView view(fixture.context);
    view.resize(1000, 600);
    view.OnInitialUpdate();
    view.show();
    for (auto _ : state) {
        view.FillOpenOrderList();
        QApplication::processEvents();
    }
    state.counters["rows"] = view.List()->GetItemCount();
}
BENCHMARK(BM_FillOpenOrderList512)->Unit(benchmark::kMillisecond);

// The sell form open and shown for ten seconds while its quote changes every `range(0)`
// milliseconds (the contest server ticks once a second; 100 ms is a stress case in which
// every level changes on every tick of the form's timer); reports the share of one core
// that the process used.
void BM_SellFormQuoteTicking(benchmark::State& state) {
    TradeFixture fixture;
    fixture.FillAccount();
    CSellView view(fixture.context);
    view.resize(1100, 760);
    view.OnInitialUpdate();
    view.show();
    view.findChild<QLineEdit*>(QStringLiteral("id1002"))->setText(QStringLiteral("600000"));
    int tick = 0;
    QTimer market;
    QObject::connect(&market, &QTimer::timeout, [&] {
        ++tick;
        fixture.FillQuote("600000", "浦发银行", 10.32f + 0.01f * float(tick % 5), 10.20f, tick);
    });
    market.start(int(state.range(0)));
    {
        // The first paint of the whole form is a one-off; measure the steady state.
        QEventLoop warmUp;
        QTimer::singleShot(1000, &warmUp, &QEventLoop::quit);
        warmUp.exec();
    }
    tick = 0; // count the ticks of the measured window only
    double share = 0;
    for (auto _ : state) {
        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop; // sleeps between events, as the program's own loop does
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        share = (ProcessCpuSeconds() - cpu0) / (double(wall.elapsed()) / 1000.0) * 100.0;
    }
    state.counters["cpu_percent_of_one_core"] = share;
    state.counters["quote_ticks_measured"] = tick;
}
BENCHMARK(BM_SellFormQuoteTicking)->Arg(1000)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
