#include "server/http/HttpServer.h"

#include "server/http/RankingPage.h"

#include <httplib.h>

#include <stdexcept>

namespace server {

HttpServer::HttpServer(const RankingBoard& board, const Metrics& metrics, bool fullNames)
    : board_(board)
    , metrics_(metrics)
    , fullNames_(fullNames) {}

HttpServer::~HttpServer() {
    Stop();
}

void HttpServer::Start(const std::string& host, std::uint16_t port) {
    http_ = std::make_unique<httplib::Server>();
    http_->Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kRankingPage, "text/html; charset=utf-8");
    });
    http_->Get("/ranking.json", [this](const httplib::Request&, httplib::Response& res) {
        const RankingSnapshotPtr snapshot = board_.Current();
        if (!snapshot) {
            res.status = 503;
            res.set_content("{\"error\":\"no ranking yet\"}", "application/json; charset=utf-8");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(RankingJson(*snapshot, fullNames_), "application/json; charset=utf-8");
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
