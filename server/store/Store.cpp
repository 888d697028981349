#include "server/store/Store.h"

#ifndef QUORVEXD_NO_POSTGRESQL
#include "server/store/pg/PgStore.h"
#endif
#include "server/store/sqlite/SqliteStore.h"

namespace server {

bool IsPostgresLocation(std::string_view location) {
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<Store> OpenStore(const std::string& location, Synchronous synchronous, StoreAccess access) {
    if (IsPostgresLocation(location)) {
#ifndef QUORVEXD_NO_POSTGRESQL
        return std::make_unique<PgStore>(location, access == StoreAccess::kReadOnly);
#else
        throw DatabaseError("this quorvexd was built without PostgreSQL support (QUORVEXD_WITH_POSTGRESQL=OFF)");
#endif
    }
    return std::make_unique<SqliteStore>(location, synchronous, access);
}

} // namespace server
