#include "server/Store.h"

#include "server/Database.h"
#include "server/PgStore.h"

namespace server {

bool IsPostgresLocation(std::string_view location) {
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<Store> OpenStore(const std::string& location, Synchronous synchronous, StoreAccess access) {
    if (IsPostgresLocation(location))
        return std::make_unique<PgStore>(location, access == StoreAccess::kReadOnly);
    return std::make_unique<Database>(location, synchronous, access);
}

} // namespace server
