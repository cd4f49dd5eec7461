#pragma once

#include "data/Statements.h"

#include <QString>
#include <QVariant>

namespace lumaro {

class Database;

// Finding a row by what the user types, for the grids' find box. The database
// answers with one key at a time, so a find costs the same on a shop of twenty
// thousand teas as on one of twenty, and nothing is read into memory.
namespace find {

// The number of the next tea after `after` in number order, going round to the
// first after the last (null `after`: from the first), whose number starts with
// the text or whose name holds it; case is ignored. Null when none does.
QVariant nextTea(Database& db, const QString& text, const QVariant& after = {});
QString teaHint(); // what may be typed, for the find box

// The same over the open orders: the order's number is the text, or its
// customer's name or contact holds the text.
QVariant nextOpenOrder(Database& db, const QString& text, const QVariant& after = {});
QString openOrderHint();

} // namespace find

} // namespace lumaro

namespace lumaro::find {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::find
