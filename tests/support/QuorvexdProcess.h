#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tavix::test {

// The real contest server as a child process, over a database in its own temporary directory
// (removed with the object). The first start takes a free port; later starts use the same port
// and the same database, as an organiser's restart would.
class QuorvexdProcess final {
public:
    // `binary` is the quorvexd executable; `extraArguments` follow "serve" and the defaults
    // (fast password hashes, a 100 ms market tick).
    explicit QuorvexdProcess(std::string binary, std::vector<std::string> extraArguments = {});
    ~QuorvexdProcess();
    QuorvexdProcess(const QuorvexdProcess&) = delete;
    QuorvexdProcess& operator=(const QuorvexdProcess&) = delete;

    // Starts the server and waits until it accepts connections; false when it did not.
    bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Sends `signal` (SIGKILL by default) and reaps the process.
    void Kill(int signal = 9);
    // Freezes and thaws the process (SIGSTOP / SIGCONT): a server that stalls.
    void Pause();
    void Resume();
    bool Running() const { return pid_ > 0; }

    int Port() const { return port_; }
    const std::filesystem::path& Directory() const { return dir_; }

private:
    std::string binary_;
    std::vector<std::string> extra_;
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace tavix::test
