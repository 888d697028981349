// Load tool: how long the client's link takes from a cut of its connection to the first quote
// frame on the new connection, against a real quorvexd on loopback through a cutting proxy.
//
//   bench_link_cut_recovery QUORVEXD [CUTS [SETTLE_MS [reset|silent]]]     (100 cuts, 1500 ms, reset)
//
// A reset cut breaks the connection as the kernel reports a refused path; a silent one
// swallows its bytes with no word to either side, as a dead network path does, so the link
// must notice by its own time-outs.
//
// Prints the median and the worst time over the cuts, in milliseconds. The link runs at the
// product's own time-outs. Each cut comes SETTLE_MS after the previous recovery: a connection
// that breaks within the retry pause (1 s) of being made is retried only after that pause, so
// with SETTLE_MS 0 the figure is that pause, not the recovery of an established connection.

#include "net/TradingLink.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/QuorvexdProcess.h"
#include "tests/support/RecordingNotifier.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

// The first quote for 600000 stored after `since`; nullopt-like max on time-out.
Clock::time_point QuoteAfter(const net::SharedState& state, Clock::time_point since, std::chrono::seconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        net::QuoteRecord q{};
        Clock::time_point at;
        if (state.quotes.FindQuote("600000", q, at) && at > since)
            return at;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return Clock::time_point::max();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s QUORVEXD [CUTS [SETTLE_MS [reset|silent]]]\n", argv[0]);
        return 2;
    }
    const int cuts = argc > 2 ? std::atoi(argv[2]) : 100;
    const int settleMs = argc > 3 ? std::atoi(argv[3]) : 1500;
    const bool silent = argc > 4 && std::string(argv[4]) == "silent";
    if (argc > 4 && !silent && std::string(argv[4]) != "reset") {
        std::fprintf(stderr, "the kind of cut is reset or silent, not %s\n", argv[4]);
        return 2;
    }
    tavix::test::QuorvexdProcess server({}, argv[1]);
    if (!server.Start()) {
        std::fprintf(stderr, "quorvexd did not start\n");
        return 1;
    }
    tavix::test::FaultProxy proxy(server.Port());
    net::SharedState state;
    state.port = proxy.Port();
    state.credentials.Set("demo", "demo123");
    tavix::test::RecordingNotifier notifier;
    net::TradingLink link(state, notifier);
    link.Start();
    while (!link.Socket().Connected())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    link.SendLogin("user_name=demo&pwd=demo123&yjm=BENCH");
    if (!notifier.WaitFor(net::kMsgLoginReply, 1, std::chrono::seconds(10))) {
        std::fprintf(stderr, "no login answer\n");
        return 1;
    }
    link.ReplaceQuoteSubscription("600000");
    if (QuoteAfter(state, Clock::time_point::min(), std::chrono::seconds(10)) == Clock::time_point::max()) {
        std::fprintf(stderr, "no quotes\n");
        return 1;
    }

    std::vector<double> ms;
    for (int i = 0; i < cuts; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        const int accepted = proxy.Accepted();
        const auto cut = Clock::now();
        if (silent)
            proxy.SilenceAll();
        else
            proxy.CutAll();
        // Only a quote that came over the new connection counts.
        while (proxy.Accepted() <= accepted && Clock::now() - cut < std::chrono::seconds(60))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto quote = QuoteAfter(state, proxy.LastAccepted(), std::chrono::seconds(30));
        if (quote == Clock::time_point::max()) {
            std::fprintf(stderr, "cut %d: no quote within 30 s\n", i);
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(quote - cut).count());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    std::printf("%s cuts %zu  cut -> first quote on the new connection: median %.1f ms, worst %.1f ms\n",
                silent ? "silent" : "reset", ms.size(), median, ms.back());
    return 0;
}
