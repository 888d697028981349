#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavix::test {

// The quorvexd this build made.
std::string QuorvexdPath();

// One quorvexd process with any command line (`serve` or an administration command). Its
// stdout and stderr come back on a pipe; or its stdout goes to a file and its stderr to the
// test's. `input` is written to its stdin.
// A still running child is stopped when the object goes: SIGTERM, SIGKILL after 10 s.
class QuorvexdChild final {
public:
    struct Options {
        std::string binary = QuorvexdPath();
        std::filesystem::path cwd;        // empty: the test's own
        std::filesystem::path outputFile; // empty: the pipe that WaitLine reads
        bool fastHash = true;             // a test run may ask for cheap password hashes
        bool pipeStderr = true;           // false: stderr stays the caller's, beside the pipe
        std::string input;
    };
    explicit QuorvexdChild(std::vector<std::string> args);
    QuorvexdChild(std::vector<std::string> args, Options options);
    ~QuorvexdChild();
    QuorvexdChild(const QuorvexdChild&) = delete;
    QuorvexdChild& operator=(const QuorvexdChild&) = delete;

    // The next line of output that contains `marker`, lines before it consumed; empty when the
    // output ends (the child is gone) or `limit` passed first.
    std::string WaitLine(const std::string& marker, std::chrono::milliseconds limit = std::chrono::seconds(20));
    // The port of the "listening on HOST:PORT" line; 0 when the child never listened.
    std::uint16_t WaitListeningPort(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // What WaitLine has not consumed, up to the end of the output (for a command that ends).
    std::string ReadAll();

    // The exit status; -1 when a signal ended the child.
    int Wait();
    // Like Wait, for a command that should end by itself: one still running after `limit`
    // is killed and reported as -2.
    int WaitExit(std::chrono::milliseconds limit);
    // True once the child has ended (reaped here); never blocks.
    bool Exited();
    // Sends `signal` and reaps the child.
    void Kill(int signal = 9);
    // Freezes and thaws the process (SIGSTOP / SIGCONT): a server that stalls.
    void Pause();
    void Resume();
    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

private:
    bool ReadSome(std::chrono::milliseconds wait);

    pid_t pid_ = -1;
    int fd_ = -1;
    int status_ = -1;
    std::string buffer_;
};

} // namespace tavix::test
