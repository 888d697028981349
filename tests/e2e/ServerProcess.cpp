#include "tests/e2e/ServerProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {
namespace {

// argv for execv: the strings stay alive in `args`.
std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

} // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& extraArgs,
                             const std::vector<std::vector<std::string>>& before) {
    dir_ = std::filesystem::temp_directory_path() /
           ("tavix-e2e-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(dir_);
    for (const auto& command : before) {
        const Result result = Admin(command);
        if (result.status != 0)
            std::fprintf(stderr, "quorvexd %s failed: %s\n", command.front().c_str(), result.output.c_str());
    }
    std::vector<std::string> args = {QUORVEXD_PATH, "serve",       "--data",      dir_.string(),
                                     "--listen",    "127.0.0.1:0", "--port-file", (dir_ / "port").string(),
                                     "--fast-hash", "--tick-ms",   "100"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = fork();
    if (pid_ == 0) {
        std::freopen("/dev/null", "w", stdout);
        setenv("QUORVEXD_TEST_FAST_HASH", "1", 1);
        execv(QUORVEXD_PATH, Argv(args).data());
        _exit(127);
    }
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

int ServerProcess::Port() {
    if (port_ == 0) {
        std::ifstream in(dir_ / "port");
        in >> port_;
    }
    return port_;
}

bool ServerProcess::WaitListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Port() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return Port() != 0;
}

ServerProcess::Result ServerProcess::Admin(const std::vector<std::string>& command) const {
    std::vector<std::string> args = {QUORVEXD_PATH};
    args.insert(args.end(), command.begin(), command.end());
    args.insert(args.end(), {"--data", dir_.string(), "--fast-hash"});
    int out[2];
    if (pipe(out) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        setenv("QUORVEXD_TEST_FAST_HASH", "1", 1);
        execv(QUORVEXD_PATH, Argv(args).data());
        _exit(127);
    }
    close(out[1]);
    Result result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace e2e
