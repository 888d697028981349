#pragma once

#include "tests/support/QuorvexdChild.h"
#include "tests/support/ScratchDir.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tavix::test {

// The real contest server as a child process, over a database in its own scratch folder
// (removed with the object). The first start takes a free port; later starts use the same port
// and the same database, as an organiser's restart would. The administration commands run
// against the same database, before the start or while it serves.
class QuorvexdProcess final {
public:
    // `extraArguments` follow "serve" and the defaults (the folder, fast password hashes, a
    // 100 ms market tick); `binary` is the quorvexd executable.
    explicit QuorvexdProcess(std::vector<std::string> extraArguments = {}, std::string binary = QuorvexdPath());
    ~QuorvexdProcess();
    QuorvexdProcess(const QuorvexdProcess&) = delete;
    QuorvexdProcess& operator=(const QuorvexdProcess&) = delete;

    // Starts the server and waits until it accepts connections; false when it did not, at
    // once when the child ended before that.
    bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Sends `signal` (SIGKILL by default) and reaps the process.
    void Kill(int signal = 9);
    // Freezes and thaws the process (SIGSTOP / SIGCONT): a server that stalls.
    void Pause();
    void Resume();
    bool Running() const { return child_ && child_->Running(); }

    int Port() const { return port_; }
    // What the latest start wrote on standard output so far.
    std::string Output() const;
    const std::filesystem::path& Directory() const { return dir_.Path(); }

    struct Result {
        int status = -1; // exit status, -1 when the command did not end normally
        std::string output;
    };
    // Runs `quorvexd ARGS --data FOLDER --fast-hash` (an administration command) to its end.
    Result Admin(const std::vector<std::string>& args) const;
    // Runs each administration command in turn (accounts to add before a start, say); false
    // once one fails, its output on stderr.
    bool AdminAll(const std::vector<std::vector<std::string>>& commands) const;

private:
    std::string binary_;
    std::vector<std::string> extra_;
    ScratchDir dir_{"tavix-quorvexd"};
    std::unique_ptr<QuorvexdChild> child_;
    int port_ = 0;
};

} // namespace tavix::test
