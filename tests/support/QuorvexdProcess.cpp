#include "tests/support/QuorvexdProcess.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

namespace tavix::test {

QuorvexdProcess::QuorvexdProcess(std::vector<std::string> extraArguments, std::string binary)
    : binary_(std::move(binary))
    , extra_(std::move(extraArguments)) {}

QuorvexdProcess::~QuorvexdProcess() = default;

bool QuorvexdProcess::Start(std::chrono::milliseconds timeout) {
    if (Running())
        return true;
    const std::filesystem::path portFile = Directory() / "port";
    std::filesystem::remove(portFile);
    // The first start lets the server pick a free port; restarts keep it.
    const std::string listen = "127.0.0.1:" + std::to_string(port_);
    std::vector<std::string> args = {"serve",       "--data",          Directory().string(), "--listen",  listen,
                                     "--port-file", portFile.string(), "--fast-hash",        "--tick-ms", "100"};
    args.insert(args.end(), extra_.begin(), extra_.end());
    QuorvexdChild::Options options;
    options.binary = binary_;
    options.outputFile = Directory() / "serve.out";
    child_ = std::make_unique<QuorvexdChild>(std::move(args), std::move(options));
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) {
            port_ = port;
            return true;
        }
        if (child_->Exited())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string QuorvexdProcess::Output() const {
    std::ifstream in(Directory() / "serve.out");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void QuorvexdProcess::Kill(int signal) {
    if (child_)
        child_->Kill(signal);
}

void QuorvexdProcess::Pause() {
    if (child_)
        child_->Pause();
}

void QuorvexdProcess::Resume() {
    if (child_)
        child_->Resume();
}

QuorvexdProcess::Result QuorvexdProcess::Admin(const std::vector<std::string>& command) const {
    std::vector<std::string> args = command;
    args.insert(args.end(), {"--data", Directory().string(), "--fast-hash"});
    QuorvexdChild::Options options;
    options.binary = binary_;
    QuorvexdChild child(std::move(args), std::move(options));
    Result result;
    result.output = child.ReadAll();
    result.status = child.Wait();
    return result;
}

bool QuorvexdProcess::AdminAll(const std::vector<std::vector<std::string>>& commands) const {
    for (const auto& command : commands) {
        const Result result = Admin(command);
        if (result.status != 0) {
            std::fprintf(stderr, "quorvexd %s failed: %s\n", command.front().c_str(), result.output.c_str());
            return false;
        }
    }
    return true;
}

} // namespace tavix::test
