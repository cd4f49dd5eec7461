#pragma once

#include "data/Statements.h"

#include "base/Units.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace lumaro {

class Database;

// The unit each tea is kept in (茶葉單位表, keyed by 編號 beside the
// catalogue). A tea without a row is in 公斤, as every tea was before units
// existed, so 公斤 is never written there, and a journal row in 公斤 carries
// no unit (NULL), as every older row does.
namespace teaUnits {

// The unit of a tea: 公斤 when it has none. Fails (NumberError) on a name the
// program does not know, which no screen writes.
const units::Unit& unitOf(Database& db, const QString& tea);

// The stored unit names of every tea not in 公斤, by tea number, in one query:
// what the grids and reports name beside a figure.
QHash<QString, QString> namedUnits(Database& db);

// Changes a tea's unit as one journaled move (換算單位). Its stock, 進價 and
// 訂價 are converted exactly; the journal takes the stock out in the old unit
// and puts it in in the new one, one row each, so the history reads as it was
// made and the sums per unit add up. Refused (MoveRefused) with its reason
// when a figure does not convert exactly, when the unit is of another measure
// (weight and count) while the tea has stock, and while an open order holds
// the tea (its lines are whole numbers of the old unit). Across measures with
// no stock, the prices stay as they stand: there is nothing to convert them
// by, and the catalogue shows them at once to be set anew.
void changeUnit(Database& db, const QString& tea, const QString& unit, const QString& moveId = QString());

} // namespace teaUnits

} // namespace lumaro

namespace lumaro::teaUnits {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::teaUnits
