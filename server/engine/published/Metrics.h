#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace server {

// Appends a histogram's cumulative buckets (`counts` has one more than `bounds`: +Inf), its
// sum in millionths and its count.
void RenderHistogram(std::string& out, const char* name, const double* bounds, const std::atomic<std::uint64_t>* counts,
                     std::size_t boundCount, std::uint64_t sumMillionths);

// A histogram with fixed upper bounds, filled from one thread and read from any.
template <std::size_t N>
class Histogram final {
public:
    explicit constexpr Histogram(std::array<double, N> bounds)
        : bounds_(bounds) {}

    void Observe(double value) {
        std::size_t i = 0;
        while (i < N && value > bounds_[i])
            ++i;
        counts_[i].fetch_add(1, std::memory_order_relaxed);
        // The sum is kept in millionths so that it can be an atomic integer.
        sum_.fetch_add(static_cast<std::uint64_t>(value * 1e6 + 0.5), std::memory_order_relaxed);
    }
    // Appends the buckets (cumulative, as scrapers expect), the sum and the count.
    void Render(std::string& out, const char* name) const {
        RenderHistogram(out, name, bounds_.data(), counts_.data(), N, sum_.load(std::memory_order_relaxed));
    }

private:
    std::array<double, N> bounds_;
    std::array<std::atomic<std::uint64_t>, N + 1> counts_{}; // the last one is +Inf
    std::atomic<std::uint64_t> sum_{0};
};

// What the server counts for the organisers' monitoring: written by the network and
// engine threads, read by the HTTP side. Relaxed counters: a scrape may see one counter a
// moment ahead of another, never a torn value.
struct Metrics {
    std::atomic<std::uint64_t> connectionsAccepted{0};
    std::atomic<std::uint64_t> connectionsRefused{0}; // beyond the connection limit
    // Closed to make room: the oldest not logged in when the table is full, or an account's
    // oldest login past its cap.
    std::atomic<std::uint64_t> connectionsEvicted{0};
    std::atomic<std::int64_t> connectionsOpen{0};
    std::atomic<std::uint64_t> loginsOk{0};
    std::atomic<std::uint64_t> loginsRejected{0};
    std::atomic<std::uint64_t> loginsThrottled{0};
    std::atomic<std::uint64_t> passwordChecks{0}; // logins checked against a stored hash
    std::atomic<std::uint64_t> ordersAccepted{0};
    std::atomic<std::uint64_t> ordersRejected{0}; // answered with a reason
    std::atomic<std::uint64_t> ordersFailed{0};   // their batch could not be committed
    std::atomic<std::uint64_t> fillsBuy{0};
    std::atomic<std::uint64_t> fillsSell{0};
    std::atomic<std::uint64_t> quotePushes{0};
    std::atomic<std::uint64_t> quotePushesSkipped{0}; // the client was still busy with the last one
    std::atomic<std::uint64_t> slowReadersDropped{0};
    std::atomic<std::uint64_t> commitsFailed{0};
    std::atomic<std::uint64_t> requestsFailed{0}; // undone alone, their batch committed
    Histogram<9> batchSize{{1, 2, 5, 10, 20, 50, 100, 200, 500}};
    Histogram<10> commitSeconds{{0.0005, 0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.5, 1}};

    // The Prometheus text exposition of everything above.
    std::string Render() const;
};

} // namespace server
