#include "tests/support/QuorvexdProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace tavix::test {

namespace {

std::filesystem::path ScratchDirectory() {
    static std::atomic<int> counter{0};
    auto dir = std::filesystem::temp_directory_path() /
               ("tavix-quorvexd-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace

QuorvexdProcess::QuorvexdProcess(std::string binary, std::vector<std::string> extraArguments)
    : binary_(std::move(binary))
    , extra_(std::move(extraArguments))
    , dir_(ScratchDirectory()) {}

QuorvexdProcess::~QuorvexdProcess() {
    if (pid_ > 0) {
        Resume();
        Kill(SIGTERM);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

bool QuorvexdProcess::Start(std::chrono::milliseconds timeout) {
    if (pid_ > 0)
        return true;
    const std::filesystem::path portFile = dir_ / "port";
    std::filesystem::remove(portFile);
    // The first start lets the server pick a free port; restarts keep it.
    const std::string listen = "127.0.0.1:" + std::to_string(port_);
    std::vector<std::string> args = {binary_,       "serve",           "--data",      dir_.string(), "--listen", listen,
                                     "--port-file", portFile.string(), "--fast-hash", "--tick-ms",   "100"};
    args.insert(args.end(), extra_.begin(), extra_.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
            ::dup2(null, STDOUT_FILENO);
        ::setenv("QUORVEXD_TEST_FAST_HASH", "1", 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid_ < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) {
            port_ = port;
            return true;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void QuorvexdProcess::Kill(int signal) {
    if (pid_ <= 0)
        return;
    ::kill(pid_, signal);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void QuorvexdProcess::Pause() {
    if (pid_ > 0)
        ::kill(pid_, SIGSTOP);
}

void QuorvexdProcess::Resume() {
    if (pid_ > 0)
        ::kill(pid_, SIGCONT);
}

} // namespace tavix::test
