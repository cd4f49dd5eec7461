#include "History.h"

#include "app/MDI_frm.h"
#include "books/Reports.h"
#include "data/Database.h"
#include "data/Transaction.h"
#include "reports/SalesHistory_frm.h"

#include <QDateEdit>
#include <QDateTime>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QUuid>

namespace bench {

using namespace lumaro;

void buildSalesHistory(Database& db, int orders, int linesPerOrder)
{
    Transaction t(db);
    const QList<QVariantList> teas = [&] {
        QList<QVariantList> out;
        QSqlQuery q = db.exec(QStringLiteral("SELECT 編號, 名稱, 訂價 FROM 茶葉資料表 ORDER BY 編號 LIMIT 500"));
        while (q.next())
            out << QVariantList{q.value(0), q.value(1), q.value(2)};
        return out;
    }();
    QSqlQuery order = db.prepare(
        QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱, 訂購日期, 訂單狀態) VALUES (?, ?, 1) RETURNING 訂單編號"));
    QSqlQuery line = db.prepare(QStringLiteral("INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量) VALUES (?, ?, ?)"));
    QSqlQuery journal = db.prepare(QStringLiteral(
        "INSERT INTO 帳務日誌表 (異動編號, 種類, 時間, 終端, 訂單編號, 茶葉編號, 茶葉名稱, 庫存變動, 單價, 現金變動) "
        "VALUES (?, '結帳', ?, 'bench', ?, ?, ?, ?, ?, ?)"));
    const QDateTime end = QDateTime::currentDateTime();
    const qint64 span = end.toSecsSinceEpoch() - end.addYears(-10).toSecsSinceEpoch();
    QHash<QString, double> sold; // kg by tea
    double takings = 0;
    for (int i = 0; i < orders; ++i) {
        const QDateTime when = end.addSecs(-span + span * (i + 1) / orders);
        const QString time = reports::journalTime(when);
        const QString move = QUuid::createUuid().toString(QUuid::WithoutBraces);
        db.run(order, {QStringLiteral("客戶%1").arg(i * 7919 % 300), when.date()});
        order.next();
        const qlonglong id = order.value(0).toLongLong();
        order.finish();
        double total = 0;
        for (int l = 0; l < linesPerOrder; ++l) {
            const QVariantList& tea = teas[(i * 31 + l) % teas.size()];
            const int kg = 1 + (i + l) % 3;
            db.run(line, {id, tea[0], kg});
            db.run(journal, {move, time, id, tea[0], tea[1], -kg, tea[2], 0});
            total += kg * tea[2].toDouble();
            sold[tea[0].toString()] += kg;
        }
        db.run(journal, {move, time, id, QVariant(), QVariant(), 0, QVariant(), total});
        takings += total;
    }
    // The stock and cash these checkouts leave, in one update each rather than
    // one per checkout; and the shop opened before its first sale.
    QSqlQuery stock = db.prepare(QStringLiteral("UPDATE 茶葉資料表 SET 庫存 = 庫存 - ? WHERE 編號 = ?"));
    for (auto it = sold.cbegin(); it != sold.cend(); ++it)
        db.run(stock, {it.value(), it.key()});
    db.exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 + ?"), {takings}).finish();
    db.exec(QStringLiteral("UPDATE 帳務日誌表 SET 時間 = ? WHERE 種類 = '期初'"),
            {reports::journalTime(end.addSecs(-span - 60))})
        .finish();
    t.commit();
}

} // namespace bench
