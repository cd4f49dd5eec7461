#include "data/Links.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"

#include <QSqlQuery>
#include <QStringList>

namespace lumaro::links {

namespace {

bool is(const QString& table, const QString& name) { return table.compare(name, Qt::CaseInsensitive) == 0; }

} // namespace

QString teaInOpenOrdersText() { return QStringLiteral("此茶葉仍在未結帳的訂單中："); }

bool hasLinks(const QString& table) { return is(table, schema::TeaTable) || is(table, schema::OrderTable); }

void beforeDelete(Database& db, const QString& table, const QVariant& key)
{
    if (is(table, schema::OrderTable)) {
        db.exec(QStringLiteral("DELETE FROM 訂單明細表 WHERE 訂單編號 = ?"), {key}).finish();
    } else if (is(table, schema::TeaTable)) {
        QSqlQuery q = db.exec(QStringLiteral("SELECT DISTINCT o.訂單編號 FROM 訂單明細表 l "
                                             "JOIN 訂單資料表 o ON o.訂單編號 = l.訂單編號 "
                                             "WHERE l.茶葉編號 = ? AND o.訂單狀態 = 0 ORDER BY o.訂單編號"),
                              {key});
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
        db.exec(QStringLiteral("UPDATE 訂單明細表 SET 茶葉編號 = ? WHERE 茶葉編號 = ?"), {newKey, oldKey}).finish();
}

} // namespace lumaro::links
