#include "server/ledger/UserDirectory.h"

namespace server {

std::optional<UserAuth> UserDirectory::Find(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto it = users_.find(name);
    if (it == users_.end())
        return std::nullopt;
    return it->second;
}

namespace {

std::uint64_t NextVersion(const UserAuth* old, const UserAuth& now, bool samePassword) {
    if (!old)
        return 0;
    return old->version + (samePassword || old->passwordHash == now.passwordHash ? 0 : 1);
}

} // namespace

void UserDirectory::Set(const std::string& name, UserAuth auth, bool samePassword) {
    std::lock_guard lock(mutex_);
    const auto it = users_.find(name);
    auth.version = NextVersion(it == users_.end() ? nullptr : &it->second, auth, samePassword);
    users_[name] = std::move(auth);
}

void UserDirectory::Replace(std::unordered_map<std::string, UserAuth> users) {
    std::lock_guard lock(mutex_);
    for (auto& [name, auth] : users) {
        const auto it = users_.find(name);
        auth.version = NextVersion(it == users_.end() ? nullptr : &it->second, auth, false);
    }
    users_.swap(users);
}

} // namespace server
