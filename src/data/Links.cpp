#include "data/Links.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QSqlQuery>
#include <QStringList>

namespace lumaro::links {

namespace {

bool is(const QString& table, const QString& name) { return table.compare(name, Qt::CaseInsensitive) == 0; }

using namespace schema;

QString deleteLinesSql() { return statement("DELETE FROM {L} WHERE {l.order} = ?"); }

// A discount goes with what it was typed on: line numbers and order numbers
// are never given again, but a discount left behind would still be read by
// the check and the exports.
QString deleteOrderDiscountSql() { return statement("DELETE FROM {D} WHERE {d.order} = ?"); }
QString deleteLineDiscountsSql()
{
    return statement("DELETE FROM {E} WHERE {e.line} IN (SELECT {l.id} FROM {L} WHERE {l.order} = ?)");
}
QString deleteLineDiscountSql() { return statement("DELETE FROM {E} WHERE {e.line} = ?"); }

QString openOrdersWithTeaSql()
{
    return statement("SELECT DISTINCT o.{o.number} FROM {L} l JOIN {O} o ON o.{o.number} = l.{l.order} "
                     "WHERE l.{l.tea} = ? AND o.{o.status} = 0 ORDER BY o.{o.number}");
}

QString renumberTeaSql() { return statement("UPDATE {L} SET {l.tea} = ? WHERE {l.tea} = ?"); }

} // namespace

QString teaInOpenOrdersText() { return QStringLiteral("此茶葉仍在未結帳的訂單中："); }

bool hasLinks(const QString& table)
{
    return is(table, schema::TeaTable) || is(table, schema::OrderTable) || is(table, schema::LineTable);
}

void beforeDelete(Database& db, const QString& table, const QVariant& key)
{
    if (is(table, schema::OrderTable)) {
        db.exec(deleteOrderDiscountSql(), {key}).finish();
        db.exec(deleteLineDiscountsSql(), {key}).finish();
        db.exec(deleteLinesSql(), {key}).finish();
    } else if (is(table, schema::LineTable)) {
        db.exec(deleteLineDiscountSql(), {key}).finish();
    } else if (is(table, schema::TeaTable)) {
        QSqlQuery q = db.exec(openOrdersWithTeaSql(), {key});
        QStringList orders;
        while (q.next())
            orders << q.value(0).toString();
        q.finish();
        if (!orders.isEmpty())
            throw DataError(teaInOpenOrdersText() + orders.join(QStringLiteral("、")));
    }
}

void afterRekey(Database& db, const QString& table, const QVariant& oldKey, const QVariant& newKey)
{
    if (is(table, schema::TeaTable))
        db.exec(renumberTeaSql(), {newKey, oldKey}).finish();
}

QList<Statement> statements(Database::Kind)
{
    return {
        {QStringLiteral("links: delete lines"), deleteLinesSql()},
        {QStringLiteral("links: delete order discount"), deleteOrderDiscountSql()},
        {QStringLiteral("links: delete line discounts"), deleteLineDiscountsSql()},
        {QStringLiteral("links: delete line discount"), deleteLineDiscountSql()},
        {QStringLiteral("links: open orders with tea"), openOrdersWithTeaSql()},
        {QStringLiteral("links: renumber tea"), renumberTeaSql()},
    };
}

} // namespace lumaro::links
