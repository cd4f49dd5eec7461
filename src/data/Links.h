#pragma once

#include "data/Statements.h"

#include <QString>
#include <QVariant>

namespace lumaro {

class Database;

// What a row of one table means to rows of another. Order lines name their
// order and their tea; deleting or renumbering either must not cut lines off.
// Each step runs inside the transaction of the change it belongs to, so the
// change and its consequences are stored together or not at all.
namespace links {

// Whether changes to rows of table have consequences elsewhere.
bool hasLinks(const QString& table);

// Before the row of table with key is deleted: an order takes its lines and
// the discounts typed on it and them; a line takes its discount; a tea still used by an open order is refused
// (DataError with teaInOpenOrdersText() and the order numbers).
void beforeDelete(Database& db, const QString& table, const QVariant& key);

// After a row's key changed from oldKey to newKey: a renumbered tea takes its
// order lines along.
void afterRekey(Database& db, const QString& table, const QVariant& oldKey, const QVariant& newKey);

QString teaInOpenOrdersText(); // 此茶葉仍在未結帳的訂單中：

} // namespace links

} // namespace lumaro

namespace lumaro::links {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::links
