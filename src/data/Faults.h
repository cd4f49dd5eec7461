#pragma once

#include "data/DataError.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

struct sqlite3;

// How a refusal of the database, or of the system under it, is told to the
// shop owner: classified by SQLite's extended result codes or PostgreSQL's
// SQLSTATE (never by English message text), in a Chinese sentence with the
// database's own text after it.
namespace lumaro {

// The database's own text of an error, without PostgreSQL's echo of the
// statement.
QString rawErrorText(const QSqlError& e);
// The error as a DataError: its fault, a sentence for it, the original text.
DataError dataError(const QSqlError& e, const QSqlDatabase& db, bool postgres);
// The sentence that introduces a fault.
QString faultSentence(DataFault f);

// The server went away (restarted, network cut, connection ended by an
// administrator): everything not yet committed is gone on its side.
bool connectionLost(const QSqlError& e, const QSqlDatabase& db);
// The connection's own SQLite handle, or null.
sqlite3* sqliteHandle(const QSqlDatabase& db);

// What the system said when a file could not be opened (errno), when it is
// something other than a missing file; empty for a missing file.
QString systemFileError(int error);
// The same for a SQLite refusal to open or read the file, or empty.
QString systemFileErrorOf(const QSqlDatabase& db, const QSqlError& e);
// Why the system would not make or change a file (errno), in words the owner
// reads.
QString fileErrorReason(int error);
// Refuses when Qt has no driver of that name: missing, or the process is out
// of file handles (the driver's plugin could not be loaded).
void requireDriver(const QString& driver, const QString& missing);
// A file's full path as the owner would look for it.
QString fullPath(const QString& file);

} // namespace lumaro
