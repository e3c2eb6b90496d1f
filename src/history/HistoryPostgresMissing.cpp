// A build without libpq (the Windows one) keeps its history in SQLite only.
#include "history/HistoryDatabaseImpl.h"

namespace history {

// Without libpq there is no server connection, and no socket to shut.
void shutDownSocket(int) {}

std::unique_ptr<HistoryDatabase> HistoryDatabase::openPostgres(const HistorySettings& s, const Deadline&) {
    throw HistoryError(QStringLiteral("PostgreSQL %1:%2/%3: this build of the program keeps its history in "
                                      "SQLite only (HistorySettings/Driver)")
                           .arg(s.host)
                           .arg(s.port)
                           .arg(s.database));
}

} // namespace history
