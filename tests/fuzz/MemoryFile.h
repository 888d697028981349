#pragma once

#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

// A file holding the current input, for code that reads by path. One per process, removed
// at exit. It lives in /dev/shm where there is one: on a disk every input costs a write and
// a saved file's flush waits for the disk, which held some targets to a few dozen inputs a second.
class MemoryFile final {
public:
    explicit MemoryFile(const char* name) {
        const char* tmp = std::getenv("TMPDIR");
        const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : tmp && *tmp ? tmp : "/tmp";
        path_ = dir + "/" + name + "." + std::to_string(getpid());
    }
    ~MemoryFile() { std::remove(path_.c_str()); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& Write(const void* data, std::size_t size) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        return path_;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
