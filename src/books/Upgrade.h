#pragma once

#include "data/Statements.h"

#include "data/DataError.h"

#include <QString>

namespace lumaro {

class Database;

// The shop's schema versions. Version 1 is the five tables as the shop has
// always had them; version 2 adds the journal (帳務日誌表) with opening rows
// for the balances and stocks as they stood, the settings (設定表), and range
// checks on every number column; version 3 adds an index of the sales by
// time; version 4 an index of the orders by date; version 5 takes the list of
// kinds off the journal's kind column, so a new kind of move needs no table
// built anew.
namespace upgrade {

// The version the shop carries: PRAGMA user_version on SQLite (0 counts as
// 1), 資料版本表 on PostgreSQL (absent: 1).
int versionOf(Database& db);

// A shop made by a newer program: never written to by this one.
class NewerShopError : public DataError {
public:
    using DataError::DataError;
};

// Refuses a shop newer than this program (NewerShopError), with a message
// saying so: newerShopText().
void refuseNewer(Database& db);
QString newerShopText(int version);

// Why run() would stop part-way on this shop (a value the newer version's
// range checks refuse), or empty when it would not.
QString blocker(Database& db);

// Brings the shop up to schema::CurrentVersion, one step at a time, each step
// in one transaction. A shop file is first copied beside itself as
// FILE.vN.bak (N the version it had); the name used is returned, empty when
// nothing was to be done or on PostgreSQL. Several terminals may try at once:
// one upgrades, the others find it done.
QString run(Database& db);

// Where run() keeps the copy of a shop file of version `from`.
QString backupName(const QString& file, int from);

} // namespace upgrade

} // namespace lumaro

namespace lumaro::upgrade {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::upgrade
