#include "server/engine/published/Metrics.h"

#include <cstdio>

namespace server {
namespace {

void Line(std::string& out, const char* name, const char* labels, std::uint64_t value) {
    out += name;
    out += labels;
    out += ' ';
    out += std::to_string(value);
    out += '\n';
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

std::string Bound(double bound) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", bound);
    return text;
}

} // namespace

void RenderHistogram(std::string& out, const char* name, const double* bounds, const std::atomic<std::uint64_t>* counts,
                     std::size_t boundCount, std::uint64_t sumMillionths) {
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i <= boundCount; ++i) {
        cumulative += counts[i].load(std::memory_order_relaxed);
        const std::string labels = "{le=\"" + (i < boundCount ? Bound(bounds[i]) : std::string("+Inf")) + "\"}";
        Line(out, (std::string(name) + "_bucket").c_str(), labels.c_str(), cumulative);
    }
    char sum[64];
    std::snprintf(sum, sizeof sum, "%.6f", static_cast<double>(sumMillionths) / 1e6);
    out += name;
    out += "_sum ";
    out += sum;
    out += '\n';
    Line(out, (std::string(name) + "_count").c_str(), "", cumulative);
}

std::string Metrics::Render() const {
    const auto get = [](const auto& counter) { return static_cast<std::uint64_t>(counter.load()); };
    std::string out;
    out.reserve(4096);
    Header(out, "quorvexd_connections_total", "counter", "Trading connections by what became of them.");
    Line(out, "quorvexd_connections_total", "{outcome=\"accepted\"}", get(connectionsAccepted));
    Line(out, "quorvexd_connections_total", "{outcome=\"refused\"}", get(connectionsRefused));
    Line(out, "quorvexd_connections_total", "{outcome=\"evicted\"}", get(connectionsEvicted));
    Header(out, "quorvexd_connections_open", "gauge", "Trading connections open now.");
    const std::int64_t open = connectionsOpen.load();
    Line(out, "quorvexd_connections_open", "", open > 0 ? static_cast<std::uint64_t>(open) : 0);
    Header(out, "quorvexd_logins_total", "counter", "Login attempts by outcome.");
    Line(out, "quorvexd_logins_total", "{outcome=\"ok\"}", get(loginsOk));
    Line(out, "quorvexd_logins_total", "{outcome=\"rejected\"}", get(loginsRejected));
    Line(out, "quorvexd_logins_total", "{outcome=\"throttled\"}", get(loginsThrottled));
    Header(out, "quorvexd_password_checks_total", "counter", "Logins checked against a stored password hash.");
    Line(out, "quorvexd_password_checks_total", "", get(passwordChecks));
    Header(out, "quorvexd_orders_total", "counter", "Orders by outcome.");
    Line(out, "quorvexd_orders_total", "{outcome=\"accepted\"}", get(ordersAccepted));
    Line(out, "quorvexd_orders_total", "{outcome=\"rejected\"}", get(ordersRejected));
    Line(out, "quorvexd_orders_total", "{outcome=\"failed\"}", get(ordersFailed));
    Header(out, "quorvexd_fills_total", "counter", "Fills by side.");
    Line(out, "quorvexd_fills_total", "{side=\"buy\"}", get(fillsBuy));
    Line(out, "quorvexd_fills_total", "{side=\"sell\"}", get(fillsSell));
    Header(out, "quorvexd_quote_pushes_total", "counter", "Quote pushes to subscribed clients.");
    Line(out, "quorvexd_quote_pushes_total", "{outcome=\"sent\"}", get(quotePushes));
    Line(out, "quorvexd_quote_pushes_total", "{outcome=\"skipped\"}", get(quotePushesSkipped));
    Header(out, "quorvexd_slow_readers_dropped_total", "counter",
           "Connections closed because their client did not read its answers.");
    Line(out, "quorvexd_slow_readers_dropped_total", "", get(slowReadersDropped));
    Header(out, "quorvexd_commits_failed_total", "counter", "Batches rolled back.");
    Line(out, "quorvexd_commits_failed_total", "", get(commitsFailed));
    Header(out, "quorvexd_requests_failed_total", "counter",
           "Requests that could not be written, undone alone while the rest of their batch committed.");
    Line(out, "quorvexd_requests_failed_total", "", get(requestsFailed));
    Header(out, "quorvexd_commit_batch_size", "histogram", "Requests committed together in one transaction.");
    batchSize.Render(out, "quorvexd_commit_batch_size");
    Header(out, "quorvexd_commit_seconds", "histogram", "Time from a batch's start to its durable commit.");
    commitSeconds.Render(out, "quorvexd_commit_seconds");
    return out;
}

} // namespace server
