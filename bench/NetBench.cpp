// Throughput of the trading link: quote updates parsed into the quote table, and frames
// received and dispatched over loopback.

#include "net/LinkNotifier.h"
#include "net/TradingLink.h"
#include "tests/support/FakeTradingServer.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

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

// The table's 512 codes in the order an update lists them: 0 the table's own order, 1 the
// reverse, 2 shuffled.
std::vector<int> CodesInOrder(int order) {
    std::vector<int> codes(net::kQuoteCapacity);
    for (int i = 0; i < net::kQuoteCapacity; ++i)
        codes[static_cast<std::size_t>(i)] = 100000 + i;
    if (order == 1)
        std::reverse(codes.begin(), codes.end());
    else if (order == 2)
        std::shuffle(codes.begin(), codes.end(), std::mt19937(7));
    return codes;
}

// Updates of as many records as one frame holds, into a table whose 512 slots are all
// taken; each update starts where the last one stopped, so every code comes round.
void BM_ParseQuotes(benchmark::State& state) {
    net::SharedState shared;
    CountingNotifier notifier;
    net::TradingLink link(shared, notifier);
    link.Dispatch(net::kCmdQuoteUpdate, QuoteUpdate(100000, net::kQuoteCapacity)); // fills the table in code order
    if (shared.quotes.Used() != net::kQuoteCapacity)
        state.SkipWithError("table not full");
    const std::vector<int> codes = CodesInOrder(static_cast<int>(state.range(0)));
    std::vector<std::string> bodies;
    std::vector<int> counts;
    for (std::size_t next = 0; bodies.size() < 8;) {
        std::string body;
        int count = 0;
        for (;; ++count, next = (next + 1) % codes.size()) {
            const std::string record = QuoteRecordText(codes[next]) + "|";
            if (net::kHeaderSize + body.size() + record.size() > net::kMaxFrameLength)
                break;
            body += record;
        }
        bodies.push_back(std::move(body));
        counts.push_back(count);
    }
    const long long before = g_allocations.load();
    long long records = 0;
    long long bytes = 0;
    std::size_t k = 0;
    for (auto _ : state) {
        link.Dispatch(net::kCmdQuoteUpdate, bodies[k]);
        records += counts[k];
        bytes += static_cast<long long>(bodies[k].size());
        k = (k + 1) % bodies.size();
    }
    const auto iterations = static_cast<long long>(state.iterations());
    state.SetItemsProcessed(records);
    state.SetBytesProcessed(bytes);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
    state.counters["allocs/update"] =
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(iterations);
    state.SetLabel(state.range(0) == 0 ? "table order" : state.range(0) == 1 ? "reversed" : "shuffled");
}
BENCHMARK(BM_ParseQuotes)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

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
