#include "data/Books.h"

#include "data/Database.h"
#include "data/Schema.h"

#include <QSysInfo>
#include <QUuid>

namespace lumaro::books {

QString newMoveId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

QString terminalName()
{
    static const QString name = QSysInfo::machineHostName();
    return name;
}

QString nowUtc(const Database& db)
{
    if (db.isSQLite())
        return QStringLiteral("strftime('%Y-%m-%d %H:%M:%S','now')");
    return QStringLiteral("to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS')");
}

namespace {

const QString kColumns = QStringLiteral("(異動編號, 種類, 時間, 終端, 訂單編號, 茶葉編號, 茶葉名稱, 庫存變動, 單價, "
                                        "現金變動, 銀行變動, 說明)");

QVariant nullableText(const QString& s) { return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s); }

} // namespace

void record(Database& db, const QString& moveId, const Entry& e)
{
    db.exec(QStringLiteral("INSERT INTO 帳務日誌表 %1 VALUES (?, ?, %2, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                .arg(kColumns, nowUtc(db)),
            {moveId, e.kind, terminalName(), e.order.isNull() ? QVariant(QMetaType(QMetaType::LongLong)) : e.order,
             e.tea.isNull() ? QVariant(QMetaType(QMetaType::QString)) : e.tea,
             e.teaName.isNull() ? QVariant(QMetaType(QMetaType::QString)) : e.teaName, e.stock.toDouble(),
             e.unitPrice.isNull() ? QVariant(QMetaType(QMetaType::Double)) : e.unitPrice, e.cash.toDouble(),
             e.bank.toDouble(), nullableText(e.note)})
        .finish();
}

void recordCheckoutLines(Database& db, const QString& moveId, qlonglong order)
{
    db.exec(QStringLiteral("INSERT INTO 帳務日誌表 %1 SELECT ?, ?, %2, ?, l.訂單編號, l.茶葉編號, t.名稱, "
                           "-COALESCE(l.數量, 0), %3, 0, 0, NULL "
                           "FROM 訂單明細表 l JOIN 茶葉資料表 t ON t.編號 = l.茶葉編號 "
                           "WHERE l.訂單編號 = ? ORDER BY l.明細編號")
                .arg(kColumns, nowUtc(db), db.roundedAmount(QStringLiteral("t.訂價"))),
            {moveId, schema::journalKind::Checkout, terminalName(), order})
        .finish();
}

void recordOpening(Database& db, const QString& note, bool teas)
{
    const QString id = newMoveId();
    if (teas)
        db.exec(QStringLiteral("INSERT INTO 帳務日誌表 %1 SELECT ?, ?, %2, ?, NULL, 編號, 名稱, 庫存, NULL, 0, 0, ? "
                               "FROM 茶葉資料表 WHERE 庫存 IS NOT NULL AND 庫存 <> 0 ORDER BY 編號")
                    .arg(kColumns, nowUtc(db)),
                {id, schema::journalKind::Opening, terminalName(), note})
            .finish();
    db.exec(QStringLiteral("INSERT INTO 帳務日誌表 %1 SELECT ?, ?, %2, ?, NULL, NULL, NULL, 0, NULL, "
                           "COALESCE(現金, 0), COALESCE(銀行, 0), ? "
                           "FROM 帳款資料表 ORDER BY 帳號 LIMIT 1")
                .arg(kColumns, nowUtc(db)),
            {id, schema::journalKind::Opening, terminalName(), note})
        .finish();
}

bool moveStored(Database& db, const QString& moveId)
{
    return !db.scalar(QStringLiteral("SELECT 1 FROM 帳務日誌表 WHERE 異動編號 = ? LIMIT 1"), {moveId}).isNull();
}

} // namespace lumaro::books
