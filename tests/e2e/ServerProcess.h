#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace e2e {

// Runs `quorvexd serve` on a port the system picks, with a fresh database in a folder of its
// own, for one test; ends it and removes the folder when destroyed. The administration
// commands run against the same database while it serves.
class ServerProcess {
public:
    // `extraArgs` follow the serve command's own (data folder, listen address, fast hashes,
    // 100 ms ticks); the administration commands `before` run first, on the new database.
    explicit ServerProcess(const std::vector<std::string>& extraArgs = {},
                           const std::vector<std::vector<std::string>>& before = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // The port the server bound, once it accepts connections; 0 while it is not yet listening.
    int Port();
    // Waits (up to 20 s) until the server listens; false when it never did.
    bool WaitListening();
    const std::filesystem::path& Folder() const { return dir_; }

    struct Result {
        int status = -1; // exit status, -1 when the command did not end normally
        std::string output;
    };
    // Runs `quorvexd ARGS --data FOLDER` (an administration command) and returns its output.
    Result Admin(const std::vector<std::string>& args) const;

private:
    static inline int counter_ = 0;
    std::filesystem::path dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

} // namespace e2e
