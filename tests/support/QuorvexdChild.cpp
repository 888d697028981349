#include "tests/support/QuorvexdChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

namespace tavix::test {

std::string QuorvexdPath() {
    return QUORVEXD_PATH;
}

QuorvexdChild::QuorvexdChild(std::vector<std::string> args)
    : QuorvexdChild(std::move(args), Options{}) {}

QuorvexdChild::QuorvexdChild(std::vector<std::string> args, Options options) {
    int out[2] = {-1, -1};
    int in[2];
    if (options.outputFile.empty() && ::pipe(out) != 0)
        return;
    if (::pipe(in) != 0)
        return;
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<char*> argv{options.binary.data()};
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string cwd = options.cwd.string();
    const std::string file = options.outputFile.string();
    const bool pipeStderr = options.pipeStderr;
    pid_ = ::fork();
    if (pid_ == 0) {
        const int sink = file.empty() ? out[1] : ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (sink < 0)
            ::_exit(126);
        ::dup2(sink, STDOUT_FILENO);
        if (file.empty() && pipeStderr)
            ::dup2(sink, STDERR_FILENO);
        ::dup2(in[0], STDIN_FILENO);
        ::close(sink);
        if (out[0] >= 0)
            ::close(out[0]);
        ::close(in[0]);
        ::close(in[1]);
        if (options.fastHash)
            ::setenv("QUORVEXD_TEST_FAST_HASH", "1", 1);
        else
            ::unsetenv("QUORVEXD_TEST_FAST_HASH");
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    if (out[1] >= 0)
        ::close(out[1]);
    fd_ = out[0];
    if (pid_ > 0 && !options.input.empty() &&
        ::write(in[1], options.input.data(), options.input.size()) != static_cast<ssize_t>(options.input.size()))
        std::fprintf(stderr, "could not write quorvexd's input\n");
    ::close(in[1]);
}

QuorvexdChild::~QuorvexdChild() {
    if (pid_ > 0) {
        Resume();
        ::kill(pid_, SIGTERM);
        if (WaitExit(std::chrono::seconds(10)) == -2)
            std::fprintf(stderr, "quorvexd did not stop on SIGTERM within 10 s; killed\n");
    }
    if (fd_ >= 0)
        ::close(fd_);
}

bool QuorvexdChild::ReadSome(std::chrono::milliseconds wait) {
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0)
        return true; // nothing yet
    char chunk[4096];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n <= 0)
        return false; // the child closed its output: it has ended
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

std::string QuorvexdChild::WaitLine(const std::string& marker, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto eol = buffer_.find('\n');
        if (eol != std::string::npos) {
            std::string line = buffer_.substr(0, eol);
            buffer_.erase(0, eol + 1);
            if (line.find(marker) != std::string::npos)
                return line;
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline || !ReadSome(std::chrono::milliseconds(100)))
            return {};
    }
}

std::uint16_t QuorvexdChild::WaitListeningPort(std::chrono::milliseconds limit) {
    const std::string line = WaitLine("listening on", limit);
    // "quorvexd listening on HOST:PORT, database …"
    const auto comma = line.find(',');
    const auto colon = line.rfind(':', comma);
    if (comma == std::string::npos || colon == std::string::npos)
        return 0;
    return static_cast<std::uint16_t>(std::atoi(line.c_str() + colon + 1));
}

std::string QuorvexdChild::ReadAll() {
    while (ReadSome(std::chrono::milliseconds(100))) {
    }
    return std::exchange(buffer_, {});
}

int QuorvexdChild::Wait() {
    if (pid_ > 0) {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return status_;
}

int QuorvexdChild::WaitExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Exited()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            Kill(SIGKILL);
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

bool QuorvexdChild::Exited() {
    if (pid_ <= 0)
        return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_)
        return false;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

void QuorvexdChild::Kill(int signal) {
    if (pid_ <= 0)
        return;
    ::kill(pid_, signal);
    if (signal != SIGKILL)
        ::kill(pid_, SIGCONT); // a paused child would never act on it
    Wait();
}

void QuorvexdChild::Pause() {
    if (pid_ > 0)
        ::kill(pid_, SIGSTOP);
}

void QuorvexdChild::Resume() {
    if (pid_ > 0)
        ::kill(pid_, SIGCONT);
}

} // namespace tavix::test
