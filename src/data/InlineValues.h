#pragma once

#include <QList>
#include <QString>
#include <QVariantList>

#include <optional>

class QSqlDriver;

// Statements sent to the server with their values written in, in one round
// trip, where preparing them would cost three (prepare, execute, deallocate)
// while a move holds the shop's lock.
namespace lumaro::sql {

// Where the ? placeholders of a PostgreSQL statement stand: outside '…' and
// E'…' strings, "…" names, -- and /* */ comments and $tag$…$tag$ quotes.
// Nothing when the text cannot be read with certainty: a quote or comment
// left open, or a backslash in a plain string (whose meaning depends on a
// server setting).
std::optional<QList<qsizetype>> placeholders(const QString& statement);

// The statement with each placeholder replaced by its value, written as the
// driver writes a value it binds (strings escaped for the connection, NULL
// for a null value); numbers are quoted, so that each takes its type from
// where it stands, as a bound value does. Null when placeholders() cannot
// read the statement or the number of values differs.
QString withValues(const QString& statement, const QVariantList& values, const QSqlDriver& driver);

} // namespace lumaro::sql
