#include "server/ledger/UserDirectory.h"

namespace server {

std::optional<UserAuth> UserDirectory::Find(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto it = users_.find(name);
    if (it == users_.end())
        return std::nullopt;
    return it->second;
}

void UserDirectory::Set(const std::string& name, UserAuth auth) {
    std::lock_guard lock(mutex_);
    users_[name] = std::move(auth);
}

void UserDirectory::Replace(std::unordered_map<std::string, UserAuth> users) {
    std::lock_guard lock(mutex_);
    users_.swap(users);
}

} // namespace server
