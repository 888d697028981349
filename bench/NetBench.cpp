// Throughput of the trading link: quote updates parsed into the quote table, and frames
// received and dispatched over loopback.

#include "net/LinkNotifier.h"
#include "net/TradingLink.h"
#include "tests/support/FakeTradingServer.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

namespace {

// Counts heap allocations so the benchmarks can show that parsing allocates nothing per field.
std::atomic<long long> g_allocations{0};

} // namespace

// The replacement pair below allocates with malloc and frees with free, which GCC cannot see.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

class CountingNotifier final : public net::LinkNotifier {
public:
    bool HasMainFrame() const override { return true; }
    void NotifyTable(int) override {}
    void DeliverReply(int, std::string_view) override { replies.fetch_add(1, std::memory_order_release); }
    void PostReply(int, std::string) override { replies.fetch_add(1, std::memory_order_release); }
    std::atomic<long long> replies{0};
};

std::string QuoteRecordText(int code) {
    const std::string c = std::to_string(code);
    return c + ",N" + c + ",10.32,10.00,10.31,10.30,10.29,10.28,10.27,100,200,300,400,500," +
           "10.33,10.34,10.35,10.36,10.37,600,700,800,900,1000";
}

std::string QuoteUpdate(int first, int count) {
    std::string body;
    for (int i = 0; i < count; ++i)
        body += QuoteRecordText(first + i) + "|";
    return body;
}

// A 512-record update into a table whose 512 slots are all taken by the same codes.
void BM_ParseQuotes(benchmark::State& state) {
    net::SharedState shared;
    CountingNotifier notifier;
    net::TradingLink link(shared, notifier);
    const std::string body = QuoteUpdate(100000, net::kQuoteCapacity);
    link.ParseQuotes(body);
    if (shared.quotes.Used() != net::kQuoteCapacity)
        state.SkipWithError("table not full");
    const long long before = g_allocations.load();
    for (auto _ : state)
        link.ParseQuotes(body);
    const auto iterations = static_cast<long long>(state.iterations());
    state.SetItemsProcessed(iterations * net::kQuoteCapacity);
    state.SetBytesProcessed(iterations * static_cast<long long>(body.size()));
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(iterations * net::kQuoteCapacity), benchmark::Counter::kIsRate);
    state.counters["allocs/update"] =
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(iterations);
}
BENCHMARK(BM_ParseQuotes)->Unit(benchmark::kMicrosecond);

// Frames sent by the loopback server, received by the network thread and dispatched: quote
// updates of `records` records each, followed by a login answer that marks the batch's end.
void BM_LoopbackFrames(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    constexpr int kBatch = 1000;
    tavix::test::FakeTradingServer server;
    net::SharedState shared;
    shared.port = server.Port();
    CountingNotifier notifier;
    net::TradingLink link(shared, notifier);
    link.Start();
    if (!server.WaitForConnection(std::chrono::seconds(5))) {
        state.SkipWithError("no connection");
        return;
    }
    std::string batch;
    for (int i = 0; i < kBatch; ++i)
        batch += net::FormatFrame(net::kCmdQuoteUpdate, QuoteUpdate(100000 + (i * records) % 500, records));
    batch += net::FormatFrame(net::kCmdLogin, "0");
    long long expected = 0;
    for (auto _ : state) {
        ++expected;
        server.SendRaw(batch);
        while (notifier.replies.load(std::memory_order_acquire) < expected)
            std::this_thread::yield();
    }
    const auto iterations = static_cast<long long>(state.iterations());
    state.SetItemsProcessed(iterations * (kBatch + 1));
    state.SetBytesProcessed(iterations * static_cast<long long>(batch.size()));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(iterations * (kBatch + 1)), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoopbackFrames)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
