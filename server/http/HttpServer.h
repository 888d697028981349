#pragma once

#include "server/engine/published/Metrics.h"
#include "server/engine/published/PublishedRanking.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace server {

// The contest seen from a browser: the live ranking page, its JSON, the metrics and the
// health check. Runs on threads of its own and only reads what the engine published, so a
// slow browser cannot hold up an order.
class HttpServer final {
public:
    HttpServer(const RankingSource& ranking, const Metrics& metrics, bool fullNames);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds HOST:PORT (0 for any free port) and starts serving; throws std::runtime_error
    // when the address cannot be bound.
    void Start(const std::string& host, std::uint16_t port);
    std::uint16_t Port() const { return port_; }
    void Stop();

    // /healthz answers 200 only while this server serves the contest; a standby says 503.
    void SetServing(bool serving) { serving_.store(serving); }

private:
    const RankingSource& ranking_;
    const Metrics& metrics_;
    const bool fullNames_;
    std::atomic<bool> serving_{false};
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
    std::uint16_t port_ = 0;
};

} // namespace server
