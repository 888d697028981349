#pragma once

#include <filesystem>
#include <string>

namespace tavix::test {

// A fresh folder under the system's temporary directory, removed with everything in it when
// the object goes. `prefix` names it, so that one left by a crashed run says whose it was.
class ScratchDir final {
public:
    explicit ScratchDir(const std::string& prefix = "tavix-test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace tavix::test
