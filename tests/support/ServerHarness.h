#pragma once

#include "server/engine/Engine.h"
#include "server/engine/ServerOptions.h"
#include "server/ledger/Ledger.h"
#include "server/ledger/UserDirectory.h"
#include "server/network/Server.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/TestDatabase.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace tavix::test {

// The fixed book the tests trade against: previous close 10.00 everywhere, asks from
// 10.00 up (300 shares at 10.00, 200 at 10.01, then 1,000 a level), bids from 9.99 down.
// 600000 and 000001 are main-board (±10%), 300750 ChiNext (±20%).
std::string FixedBookCsv();

// quorvexd's engine and network side in this process, on a free loopback port, over a
// database in a temporary directory, trading against FixedBookCsv().
class ServerHarness final {
public:
    explicit ServerHarness(std::function<void(server::ServerOptions&)> adjust = {});
    ~ServerHarness();

    std::uint16_t Port() const { return port_; }
    const server::ServerOptions& Options() const { return options_; }
    server::Engine& GetEngine() { return *engine_; }
    // Adds an account with 1,000,000.00 yuan unless `cash` says otherwise.
    void AddUser(const std::string& name, const std::string& password, server::Cents cash = 100'000'000);
    // Runs `work` on the engine thread inside a committed batch and waits for it.
    void OnEngine(const std::function<void(server::Ledger&, const server::LocalTime&)>& work);
    server::Engine& Engine() { return *engine_; }
    const server::Metrics& Metrics() const { return server_->GetMetrics(); }
    const server::UserDirectory& Directory() const { return directory_; }
    // Queues work as the network side does, without waiting.
    void Post(server::Engine::Work work, server::Engine::Done done, std::optional<std::string> failure) {
        engine_->Post(std::move(work), std::move(done), std::move(failure));
    }

private:
    ScratchDir dir_;
    TestDatabase db_{dir_.Path()};
    server::ServerOptions options_;
    server::UserDirectory directory_;
    std::unique_ptr<server::Engine> engine_;
    asio::io_context io_;
    std::unique_ptr<server::Server> server_;
    std::thread ioThread_;
    std::uint16_t port_ = 0;
};

} // namespace tavix::test
