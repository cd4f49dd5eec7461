#include "Shop.h"

#include "History.h"
#include "data/Transaction.h"

#include "books/Opening.h"
#include "books/Shop.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Postgres.h"

#include <QAtomicInt>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

using namespace lumaro;

namespace bench {

// Its sales history is a screenful too, so the sales history screens have sales
// to show whichever actions run before them.
ShopSize screenfulShop() { return {40, 20, 5, 40, 40, 40 * 40}; }

namespace {

QString teaNumber(int i) { return QStringLiteral("B%1").arg(i, 7, 10, QLatin1Char('0')); }

// Rows inserted a few hundred to a statement: a server answers every
// statement over the network, and 200,000 teas one at a time took minutes.
class Batch {
public:
    static constexpr int Rows = 400;

    Batch(Database& db, const QString& head, int columns) : m_db(db), m_head(head), m_columns(columns) {}
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    void add(const QVariantList& row)
    {
        m_params << row;
        if (m_params.size() == qsizetype(Rows) * m_columns)
            flush();
    }
    void flush()
    {
        const int rows = int(m_params.size() / m_columns);
        if (rows == 0)
            return;
        if (rows == Rows) {
            if (!m_full)
                m_full.emplace(m_db.prepare(statement(Rows)));
            m_db.run(*m_full, m_params);
        } else {
            QSqlQuery rest = m_db.prepare(statement(rows));
            m_db.run(rest, m_params);
        }
        m_params.clear();
    }

private:
    QString statement(int rows) const
    {
        const QString one =
            QLatin1Char('(') + QStringList(m_columns, QStringLiteral("?")).join(QLatin1Char(',')) + QLatin1Char(')');
        return m_head + QStringLiteral(" VALUES ") + QStringList(rows, one).join(QLatin1Char(','));
    }

    Database& m_db;
    QString m_head;
    int m_columns;
    QVariantList m_params;
    std::optional<QSqlQuery> m_full;
};

const QString kLineInsert = QStringLiteral("INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量)");

} // namespace

void buildShop(const QString& target, const ShopSize& size)
{
    // Opened on the balances it holds, as a new shop is: they are its opening
    // rows, so `lumaro-admin check` finds the books add up.
    const std::function<void(Database&)> opening = [](Database& d) {
        setOpeningBalances(d, {Money::fromDouble(1000000), Money::fromDouble(1000000)});
    };
    auto db = createShop(target, BenchPassword, opening);
    std::optional<Transaction> t(std::in_place, *db);
    {
        Batch tea(*db, QStringLiteral("INSERT INTO 茶葉資料表 (編號, 名稱, 進價, 訂價, 庫存)"), 5);
        for (int i = 1; i <= size.teas; ++i)
            // 庫存: enough for every checkout the bench makes.
            tea.add({teaNumber(i), QStringLiteral("測試茶 %1 號").arg(i), 800 + i % 1700, 1200 + i % 2300, 1000000.0});
        tea.flush();
    }
    QSqlQuery order(db->sql());
    order.prepare(
        QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱, 連絡方式, 訂單狀態) VALUES (?, ?, ?) RETURNING 訂單編號"));
    Batch line(*db, kLineInsert, 3);
    auto addOrder = [&](int number, int lines, int status) {
        order.addBindValue(QStringLiteral("客戶 %1").arg(number));
        order.addBindValue(QStringLiteral("09%1").arg(number, 8, 10, QLatin1Char('0')));
        order.addBindValue(status);
        order.exec();
        order.next();
        const qlonglong id = order.value(0).toLongLong();
        order.finish();
        for (int l = 0; l < lines; ++l)
            line.add({id, teaNumber(1 + int((qint64(number) * 7 + l * 13) % size.teas)), 1 + l % 3});
    };
    // History first, as a shop that has been selling for years has it: settled
    // orders with their journal rows, stock and cash as checkouts leave them.
    if (size.historyOrders > 0) {
        t->commit();
        buildSalesHistory(*db, size.historyOrders, std::max(1, size.historyLines / size.historyOrders));
        t.emplace(*db);
    }
    for (int o = 1; o <= size.openOrders; ++o)
        addOrder(size.historyOrders + o, size.linesPerOrder, 0);
    if (size.bigOrderLines > 0)
        addOrder(size.historyOrders + size.openOrders + 1, size.bigOrderLines, 0);
    line.flush();
    // No ANALYZE: the program never gathers planner statistics, so a shop
    // timed with them would choose plans no owner's shop chooses.
    t->commit();
}

QList<QList<qlonglong>> addTerminalOrders(Database& db, int terminals, int ordersEach, int lines)
{
    const QStringList teas = [&] {
        QStringList out;
        QSqlQuery q = db.exec(QStringLiteral("SELECT 編號 FROM 茶葉資料表 ORDER BY 編號 LIMIT 500"));
        while (q.next())
            out << q.value(0).toString();
        return out;
    }();
    QList<QList<qlonglong>> orders(terminals);
    Transaction t(db);
    QSqlQuery order =
        db.prepare(QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱, 訂單狀態) VALUES (?, 0) RETURNING 訂單編號"));
    {
        Batch line(db, kLineInsert, 3);
        for (int k = 0; k < ordersEach; ++k)
            for (int terminal = 0; terminal < terminals; ++terminal) {
                db.run(order, {QStringLiteral("櫃台 %1").arg(terminal + 1)});
                order.next();
                const qlonglong id = order.value(0).toLongLong();
                order.finish();
                orders[terminal] << id;
                for (int l = 0; l < lines; ++l)
                    line.add({id, teas[int((id * 7 + l * 13) % teas.size())], 1 + l % 3});
            }
        line.flush();
    }
    t.commit();
    return orders;
}

ShopSize measureShop(Database& db)
{
    ShopSize s;
    s.teas = db.scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt();
    s.openOrders = db.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 訂單狀態 = 0")).toInt();
    s.historyOrders = db.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 訂單狀態 <> 0")).toInt();
    s.historyLines = db.scalar(QStringLiteral("SELECT count(*) FROM 訂單明細表 l JOIN 訂單資料表 o "
                                              "ON o.訂單編號 = l.訂單編號 WHERE o.訂單狀態 <> 0"))
                         .toInt();
    s.bigOrderLines =
        db.scalar(QStringLiteral("SELECT count(*) FROM 訂單明細表 WHERE 訂單編號 = ?"), {biggestOrder(db)}).toInt();
    s.linesPerOrder = 0;
    return s;
}

qlonglong biggestOrder(Database& db)
{
    return db
        .scalar(QStringLiteral("SELECT l.訂單編號 FROM 訂單明細表 l JOIN 訂單資料表 o ON o.訂單編號 = l.訂單編號 "
                               "WHERE o.訂單狀態 = 0 GROUP BY l.訂單編號 ORDER BY count(*) DESC, l.訂單編號 LIMIT 1"))
        .toLongLong();
}

namespace server {

namespace {

// Runs statement on the server's maintenance database, outside any shop.
QVariant onServer(const QString& url, const QString& statement, const QVariantList& params = {})
{
    static QAtomicInt counter;
    const QString name = QStringLiteral("bench-server-%1").arg(counter.fetchAndAddRelaxed(1));
    QVariant answer;
    {
        QSqlDatabase db = connectPostgres(name, databaseUrl(url, QStringLiteral("postgres")), QString());
        QSqlQuery q(db);
        // CREATE and DROP DATABASE cannot be prepared.
        bool ran = false;
        if (params.isEmpty()) {
            ran = q.exec(statement);
        } else {
            q.prepare(statement);
            for (const QVariant& p : params)
                q.addBindValue(p);
            ran = q.exec();
        }
        if (!ran)
            throw DataError(statement + QStringLiteral("：") + q.lastError().text());
        if (q.next())
            answer = q.value(0);
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return answer;
}

QString databaseOf(const QString& url) { return QUrl(url).path().mid(1); }

} // namespace

QString databaseUrl(const QString& url, const QString& name)
{
    QUrl u(url);
    u.setPath(QLatin1Char('/') + name);
    return u.toString();
}

bool namesNoShop(const QString& url)
{
    const QString name = databaseOf(url);
    return name.isEmpty() || name == QLatin1String("postgres");
}

bool exists(const QString& url)
{
    return !onServer(url, QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?"), {databaseOf(url)}).isNull();
}

void create(const QString& url)
{
    onServer(url, QStringLiteral("CREATE DATABASE ") + quoteIdentifier(databaseOf(url)));
}

void drop(const QString& url) noexcept
{
    try {
        onServer(url, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(quoteIdentifier(databaseOf(url))));
    } catch (const DataError& e) {
        std::fprintf(stderr, "lumaro-bench: %s\n", qPrintable(e.description()));
    }
}

} // namespace server

} // namespace bench
