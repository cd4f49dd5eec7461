#include "Floor.h"

#include "books/Kinds.h"
#include "data/Database.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>
#include <QVariant>

using namespace lumaro;

namespace bench {

namespace {

int connections = 0;

QSqlDatabase connect(const QString& name, const QString& target)
{
    QSqlDatabase db;
    if (Database::isPostgresUrl(target)) {
        const QUrl url(target);
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(url.path().mid(1));
        db.setHostName(url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setUserName(url.userName());
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.open())
        qFatal("floor: %s", qPrintable(db.lastError().text()));
    if (!Database::isPostgresUrl(target)) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    }
    return db;
}

void run(QSqlQuery& q)
{
    if (!q.exec())
        qFatal("floor: %s: %s", qPrintable(q.lastQuery()), qPrintable(q.lastError().text()));
}

QSqlQuery prepared(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        qFatal("floor: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q;
}

} // namespace

Floor::Floor(const QString& target) : m_name(QStringLiteral("bench-floor-%1").arg(++connections))
{
    m_db = connect(m_name, target);
    const QString screenful = QString::number(Screenful);
    m_teas = prepared(m_db, QStringLiteral("SELECT 編號, 名稱, 進價, 訂價, 庫存 FROM 茶葉資料表 ORDER BY 編號 LIMIT ") +
                                screenful);
    m_openOrders =
        prepared(m_db, QStringLiteral("SELECT 訂單編號, 客戶名稱, 訂購日期, 連絡方式, 訂單狀態 FROM 訂單資料表 "
                                      "WHERE 訂單狀態 = 0 ORDER BY 訂單編號 LIMIT ") +
                           screenful);
    m_account = prepared(m_db, QStringLiteral("SELECT 現金, 銀行 FROM 帳款資料表"));
    m_everyTea = prepared(m_db, QStringLiteral("SELECT t.編號, t.名稱, t.庫存, t.進價, u.單位 FROM 茶葉資料表 t "
                                               "LEFT JOIN 茶葉單位表 u ON u.編號 = t.編號 ORDER BY t.編號"));
    m_lines = prepared(m_db, QStringLiteral("SELECT l.明細編號, l.茶葉編號, t.名稱, l.數量, t.訂價, l.數量 * t.訂價 "
                                            "FROM 訂單明細表 l LEFT JOIN 茶葉資料表 t ON t.編號 = l.茶葉編號 "
                                            "WHERE l.訂單編號 = ?"));
    m_insertLine = prepared(m_db, QStringLiteral("INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量) VALUES (?, ?, ?)"));
    m_stockUp = prepared(m_db, QStringLiteral("UPDATE 茶葉資料表 SET 庫存 = 庫存 + ? WHERE 編號 = ?"));
    m_cost = prepared(m_db, QStringLiteral("SELECT 進價 FROM 茶葉資料表 WHERE 編號 = ?"));
    m_oneTea = prepared(m_db, QStringLiteral("SELECT 編號, 名稱, 進價, 訂價, 庫存 FROM 茶葉資料表 WHERE 編號 = ?"));
    m_price = prepared(m_db, QStringLiteral("UPDATE 茶葉資料表 SET 訂價 = ? WHERE 編號 = ?"));
    m_cash = prepared(m_db, QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 + ?"));
    m_bank = prepared(m_db, QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 - ?, 銀行 = 銀行 + ?"));
    m_settle = prepared(m_db, QStringLiteral("UPDATE 訂單資料表 SET 訂單狀態 = 1 WHERE 訂單編號 = ? AND 訂單狀態 = 0"));
    m_takeStock =
        prepared(m_db, QStringLiteral("UPDATE 茶葉資料表 SET 庫存 = 庫存 - sold.kg FROM (SELECT 茶葉編號 AS tea, "
                                      "SUM(數量) AS kg FROM 訂單明細表 WHERE 訂單編號 = ? GROUP BY 茶葉編號) "
                                      "AS sold WHERE 茶葉資料表.編號 = sold.tea"));
    // Every move is journalled, as the books require: a floor that left it
    // out would be cheaper than any honest program, and would leave sales in
    // the measured shop that its books do not know.
    const QString journal = QStringLiteral("INSERT INTO 帳務日誌表 (異動編號, 種類, 時間, 終端, 訂單編號, 茶葉編號, "
                                           "茶葉名稱, 庫存變動, 單價, 現金變動, 銀行變動) ");
    m_journal = prepared(m_db, journal + QStringLiteral("VALUES (?, ?, ?, 'bench', ?, ?, NULL, ?, NULL, ?, ?)"));
    m_journalLines = prepared(m_db, journal + QStringLiteral("SELECT ?, '結帳', ?, 'bench', l.訂單編號, l.茶葉編號, "
                                                             "t.名稱, -l.數量, t.訂價, 0, 0 FROM 訂單明細表 l JOIN "
                                                             "茶葉資料表 t ON t.編號 = l.茶葉編號 WHERE l.訂單編號 = ? "
                                                             "ORDER BY l.明細編號"));
}

Floor::~Floor()
{
    for (QSqlQuery* q : {&m_teas, &m_openOrders, &m_account, &m_lines, &m_insertLine, &m_takeStock, &m_stockUp, &m_cash,
                         &m_settle, &m_bank, &m_cost, &m_oneTea, &m_price, &m_journal, &m_journalLines, &m_everyTea})
        *q = QSqlQuery();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

void Floor::readAll(QSqlQuery& q)
{
    run(q);
    const int columns = q.record().count();
    QList<QVariantList> rows;
    while (q.next()) {
        QVariantList r;
        r.reserve(columns);
        for (int i = 0; i < columns; ++i)
            r << q.value(i);
        rows << r;
    }
    q.finish();
}

void Floor::begin()
{
    m_move = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_time = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QSqlQuery q(m_db);
    if (!q.exec(m_db.driverName() == QLatin1String("QSQLITE") ? QStringLiteral("BEGIN IMMEDIATE")
                                                              : QStringLiteral("BEGIN")))
        qFatal("floor: begin: %s", qPrintable(q.lastError().text()));
}

void Floor::commit()
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("COMMIT")))
        qFatal("floor: commit: %s", qPrintable(q.lastError().text()));
}

void Floor::journal(const QString& kind, const QVariant& order, const QVariant& tea, double kg, double cash,
                    double bank)
{
    m_journal.addBindValue(m_move);
    m_journal.addBindValue(kind);
    m_journal.addBindValue(m_time);
    m_journal.addBindValue(order);
    m_journal.addBindValue(tea);
    m_journal.addBindValue(kg);
    m_journal.addBindValue(cash);
    m_journal.addBindValue(bank);
    run(m_journal);
}

void Floor::teas() { readAll(m_teas); }

void Floor::openOrders()
{
    readAll(m_openOrders);
    m_lines.addBindValue(1);
    readAll(m_lines);
    readAll(m_teas);
}

void Floor::account() { readAll(m_account); }

void Floor::orderLines(qlonglong order)
{
    m_lines.addBindValue(order);
    readAll(m_lines);
}

void Floor::addLine(qlonglong order, const QString& tea, int quantity)
{
    begin();
    m_insertLine.addBindValue(order);
    m_insertLine.addBindValue(tea);
    m_insertLine.addBindValue(quantity);
    run(m_insertLine);
    commit();
    orderLines(order);
}

void Floor::checkout(qlonglong order)
{
    m_lines.addBindValue(order);
    run(m_lines);
    double total = 0;
    while (m_lines.next())
        total += m_lines.value(5).toDouble();
    m_lines.finish();
    begin();
    m_settle.addBindValue(order);
    run(m_settle);
    m_takeStock.addBindValue(order);
    run(m_takeStock);
    m_cash.addBindValue(total);
    run(m_cash);
    m_journalLines.addBindValue(m_move);
    m_journalLines.addBindValue(m_time);
    m_journalLines.addBindValue(order);
    run(m_journalLines);
    journal(lumaro::moves::kind::Checkout.name, order, QVariant(QMetaType(QMetaType::QString)), 0, total, 0);
    commit();
    readAll(m_openOrders);
    m_lines.addBindValue(1);
    readAll(m_lines);
}

void Floor::purchase(const QString& tea, double kg)
{
    m_cost.addBindValue(tea);
    run(m_cost);
    m_cost.next();
    const double cost = m_cost.value(0).toDouble() * kg;
    m_cost.finish();
    begin();
    m_stockUp.addBindValue(kg);
    m_stockUp.addBindValue(tea);
    run(m_stockUp);
    m_cash.addBindValue(-cost);
    run(m_cash);
    journal(lumaro::moves::kind::Purchase.name, QVariant(QMetaType(QMetaType::LongLong)), tea, kg, -cost, 0);
    commit();
    m_oneTea.addBindValue(tea);
    readAll(m_oneTea);
}

void Floor::transfer(double toBank)
{
    begin();
    m_bank.addBindValue(toBank);
    m_bank.addBindValue(toBank);
    run(m_bank);
    journal(lumaro::moves::kind::Deposit.name, QVariant(QMetaType(QMetaType::LongLong)),
            QVariant(QMetaType(QMetaType::QString)), 0, -toBank, toBank);
    commit();
    readAll(m_account);
}

void Floor::editPrice(const QString& tea, double price)
{
    begin();
    m_price.addBindValue(price);
    m_price.addBindValue(tea);
    run(m_price);
    commit();
    m_oneTea.addBindValue(tea);
    readAll(m_oneTea);
}

void Floor::everyTea() { readAll(m_everyTea); }

} // namespace bench
