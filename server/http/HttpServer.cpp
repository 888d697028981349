#include "server/http/HttpServer.h"

#include "server/http/RankingPage.h"

#include <httplib.h>

#include <stdexcept>

namespace server {
namespace {

// Enough workers for a crowd of idle connections besides the monitor's and the browsers' requests.
constexpr std::size_t kWorkers = 128;
constexpr time_t kIdleSeconds = 2;
constexpr time_t kReadSeconds = 5;

} // namespace

HttpServer::HttpServer(const RankingSource& ranking, const Metrics& metrics, bool fullNames)
    : ranking_(ranking)
    , metrics_(metrics)
    , fullNames_(fullNames) {}

HttpServer::~HttpServer() {
    Stop();
}

void HttpServer::Start(const std::string& host, std::uint16_t port) {
    http_ = std::make_unique<httplib::Server>();
    // Every idle keep-alive connection holds a worker until its time runs out: short limits and
    // workers to spare keep /healthz answering while browsers or a crowd leave connections open.
    http_->new_task_queue = [] { return std::make_unique<httplib::ThreadPool>(kWorkers).release(); }; // httplib owns it
    http_->set_keep_alive_timeout(kIdleSeconds);
    http_->set_keep_alive_max_count(100);
    http_->set_read_timeout(kReadSeconds);
    http_->set_write_timeout(kReadSeconds);
    // No answer is to be taken for another type than the one it says.
    http_->set_default_headers({{"X-Content-Type-Options", "nosniff"}});
    http_->Get("/", [policy = RankingPagePolicy()](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Security-Policy", policy);
        res.set_content(kRankingPage, "text/html; charset=utf-8");
    });
    http_->Get("/ranking.json", [this](const httplib::Request& req, httplib::Response& res) {
        std::optional<net::StandingPeriod> period;
        if (req.has_param("period")) {
            period = net::ParsePeriod(req.get_param_value("period"));
            if (!period) {
                res.status = 400;
                res.set_content("{\"error\":\"period is day, week, month or all\"}", "application/json; charset=utf-8");
                return;
            }
        }
        const RankingSnapshotPtr snapshot = ranking_.Current();
        if (!snapshot) {
            res.status = 503;
            res.set_content("{\"error\":\"no ranking yet\"}", "application/json; charset=utf-8");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(RankingJson(*snapshot, fullNames_, period), "application/json; charset=utf-8");
    });
    http_->Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        std::string text = metrics_.Render();
        text += "# HELP quorvexd_serving 1 while this server serves the contest, 0 while it stands by.\n"
                "# TYPE quorvexd_serving gauge\nquorvexd_serving ";
        text += serving_.load() ? "1\n" : "0\n";
        res.set_content(text, "text/plain; version=0.0.4; charset=utf-8");
    });
    http_->Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
        const bool serving = serving_.load();
        res.status = serving ? 200 : 503;
        res.set_content(serving ? "serving\n" : "standby\n", "text/plain; charset=utf-8");
    });
    if (port == 0) {
        const int bound = http_->bind_to_any_port(host);
        if (bound <= 0)
            throw std::runtime_error("cannot listen for HTTP on " + host);
        port_ = static_cast<std::uint16_t>(bound);
    } else {
        if (!http_->bind_to_port(host, port))
            throw std::runtime_error("cannot listen for HTTP on " + host + ":" + std::to_string(port));
        port_ = port;
    }
    thread_ = std::thread([this] { http_->listen_after_bind(); });
}

void HttpServer::Stop() {
    if (http_)
        http_->stop();
    if (thread_.joinable())
        thread_.join();
}

} // namespace server
