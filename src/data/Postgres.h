#pragma once

#include <QSqlDatabase>
#include <QString>

// What only PostgreSQL needs: connecting to the server with its password
// questions, the session settings, and the advisory lock that lets one move at
// a time change the shop.
namespace lumaro {

// Connects to the server named by target (a postgresql:// address) under the
// connection name. A server that wants a password it was not given, or
// refuses the one given, throws ServerPasswordError.
QSqlDatabase connectPostgres(const QString& name, const QString& target, const QString& password);

const QString& postgresUtf8Sql();
const QString& postgresReadOnlySessionSql();

// The advisory lock every move of the shop takes first: waited for in the
// server's queue for half a second at most (lock_timeout, as the move's
// transaction had it, holds again once the lock is taken), or for as long as
// it takes.
enum class MoveLockWait { HalfASecond, Wait };
QString moveLockSql(MoveLockWait wait);

} // namespace lumaro
