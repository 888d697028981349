#include "tests/support/ScratchDir.h"

#include <unistd.h>

#include <atomic>
#include <random>

namespace tavix::test {

ScratchDir::ScratchDir(const std::string& prefix) {
    // The process id and a counter keep folders of one run apart; the random part keeps apart
    // runs whose ids the system reused.
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(rd()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace tavix::test
