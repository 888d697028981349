#include "tests/support/TestDatabase.h"

#include "server/store/Store.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace tavix::test {

TestDatabase::TestDatabase(const std::filesystem::path& dir) {
    const char* state = std::getenv("QUORVEXD_TEST_PG_STATE");
    if (!state || !*state) {
        location_ = (dir / "quorvex.db").string();
        return;
    }
    std::ifstream in(state);
    std::string folder;
    std::getline(in, folder);
    std::getline(in, adminUri_);
    if (adminUri_.empty())
        throw std::runtime_error(std::string("no PostgreSQL test cluster described in ") + state);
    CreateInCluster("qt");
}

TestDatabase::TestDatabase(std::string adminUri, const std::string& prefix)
    : adminUri_(std::move(adminUri)) {
    CreateInCluster(prefix);
}

void TestDatabase::CreateInCluster(const std::string& prefix) {
    // The maintenance database's URI names "/postgres"; this database replaces it.
    const auto at = adminUri_.find("/postgres");
    if (at == std::string::npos || (at + 9 < adminUri_.size() && adminUri_[at + 9] != '?'))
        throw std::runtime_error("not the URI of a cluster's maintenance database: " + adminUri_);
    static std::atomic<int> counter{0};
    name_ = prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    const auto admin = server::OpenStore(adminUri_);
    admin->Execute(("DROP DATABASE IF EXISTS " + name_).c_str());
    admin->Execute(("CREATE DATABASE " + name_).c_str());
    location_ = adminUri_.substr(0, at) + "/" + name_ + adminUri_.substr(at + 9);
}

TestDatabase::~TestDatabase() {
    if (!IsPostgres())
        return;
    try {
        server::OpenStore(adminUri_)->Execute(("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)").c_str());
    } catch (const std::exception& e) {
        // The test cluster goes away at the end of the run anyway; a benchmark's says so.
        std::fprintf(stderr, "could not drop %s: %s\n", name_.c_str(), e.what());
    }
}

} // namespace tavix::test
