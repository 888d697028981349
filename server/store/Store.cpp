#include "server/store/Store.h"

#include "server/store/pg/PgStore.h"
#include "server/store/sqlite/SqliteStore.h"

namespace server {

bool IsPostgresLocation(std::string_view location) {
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<Store> OpenStore(const std::string& location, Synchronous synchronous, StoreAccess access) {
    if (IsPostgresLocation(location))
        return std::make_unique<PgStore>(location, access == StoreAccess::kReadOnly);
    return std::make_unique<SqliteStore>(location, synchronous, access);
}

} // namespace server
