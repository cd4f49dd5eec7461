#pragma once

#include "data/Statements.h"

#include <QString>

namespace lumaro {

class Database;

// Copies the open shop to dest as one consistent snapshot, while other terminals
// keep working (SQLite reads it in one read transaction; writers are not held up).
// The copy is written under a temporary name, flushed to disk and then renamed, so
// dest is either the whole backup or absent. Refuses an existing dest. Only the
// owner can read the copy, from its first byte.
void backupShop(Database& db, const QString& dest);

// The statements of this unit, for the test that prepares every statement.
QList<Statement> snapshotStatements(Dialect dialect);

} // namespace lumaro
