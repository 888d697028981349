#include "tests/support/ServerHarness.h"

#include "server/store/Store.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <random>
#include <stdexcept>

namespace tavix::test {

std::string FixedBookCsv() {
    std::string csv = "# tick,code,name,last,prev close,bids,bid volumes,asks,ask volumes\n";
    for (const char* line : {"0,600000,浦发银行,", "0,000001,平安银行,", "0,300750,宁德时代,"})
        csv += std::string(line) +
               "10.00,10.00,9.99,9.98,9.97,9.96,9.95,300,200,1000,1000,1000,10.00,10.01,10.02,10.03,10.04,"
               "300,200,1000,1000,1000\n";
    return csv;
}

ServerHarness::ServerHarness(std::function<void(server::ServerOptions&)> adjust) {
    options_.port = 0;
    options_.dbPath = db_.Location();
    options_.quotesCsv = (dir_.Path() / "book.csv").string();
    options_.hashCost = server::HashCost::kMinimal;
    options_.tickMs = 100;
    options_.createDemo = false;
    std::ofstream(options_.quotesCsv) << FixedBookCsv();
    if (adjust)
        adjust(options_);
    server::InitPasswordHashing();
    engine_ = std::make_unique<server::Engine>(options_, directory_);
    engine_->Open();
    server_ = std::make_unique<server::Server>(io_, *engine_, directory_, options_);
    server_->Listen();
    port_ = server_->Port();
    engine_->OnAccountsChanged([this] { server_->AccountsChanged(); });
    engine_->OnOrdersFilled([this](const std::vector<std::int64_t>& ids) { server_->OrdersFilled(ids); });
    engine_->Start([this](server::QuoteSnapshotPtr snapshot) { server_->QuotesReady(std::move(snapshot)); });
    ioThread_ = std::thread([this] { io_.run(); });
}

ServerHarness::~ServerHarness() {
    asio::post(io_, [this] { server_->Shutdown(); });
    engine_->Stop();
    io_.stop();
    ioThread_.join();
    server_.reset();
    engine_.reset();
}

void ServerHarness::AddUser(const std::string& name, const std::string& password, server::Cents cash) {
    const std::string hash = server::HashPassword(password, options_.hashCost);
    OnEngine([&](server::Ledger& ledger, const server::LocalTime& now) {
        ledger.AddUser(name, hash, cash, "", "", now.day, now.time);
    });
}

void ServerHarness::OnEngine(const std::function<void(server::Ledger&, const server::LocalTime&)>& work) {
    std::promise<void> done;
    engine_->Post(
        [&](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            work(ledger, now);
            return std::nullopt;
        },
        [&](std::optional<std::string>) { done.set_value(); });
    if (done.get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready)
        throw std::runtime_error("engine did not run the work");
}

} // namespace tavix::test
