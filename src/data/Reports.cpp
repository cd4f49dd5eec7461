#include "data/Reports.h"

#include "data/Csv.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Numbers.h"
#include "data/Settings.h"

#include <QHash>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>

namespace lumaro::reports {

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Sums of binary fractions carry noise; money is exact to 1/10000 and
// kilograms never need more than a millionth.
double money(const QVariant& v) { return std::round(v.toDouble() * 10000.0) / 10000.0; }
double kilograms(const QVariant& v) { return std::round(v.toDouble() * 1e6) / 1e6; }

// The UTC range [start of from, start of the day after to) as journal texts.
struct Range {
    QString start;
    QString end;
};

Range rangeOf(const QDate& from, const QDate& to)
{
    Range r;
    r.start = from.isValid() ? journalTime(from.startOfDay()) : QStringLiteral("0000");
    r.end = to.isValid() ? journalTime(to.addDays(1).startOfDay()) : QStringLiteral("9999");
    return r;
}

QString text(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }

// A number cell of an export: plain digits, no grouping; empty when null.
QString number(const QVariant& v) { return v.isNull() ? QString() : formatNumber(v.toDouble()); }

// LIKE pattern for "contains", its wildcards taken literally.
QString containsPattern(const QString& part)
{
    QString p = part;
    p.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    p.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    p.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + p + QLatin1Char('%');
}

} // namespace

QString journalTime(const QDateTime& local) { return local.toUTC().toString(kTimeFormat); }

QDateTime localTime(const QString& journal)
{
    QDateTime t = QDateTime::fromString(journal.left(19), kTimeFormat);
    t.setTimeSpec(Qt::UTC);
    return t.toLocalTime();
}

QList<Sale> salesPage(Database& db, const SalesFilter& filter, int limit, const QString& after)
{
    const Range r = rangeOf(filter.from, filter.to);
    QString sql = QStringLiteral(
        "SELECT j.日誌編號, j.時間, j.訂單編號, o.客戶名稱, j.現金變動 FROM 帳務日誌表 j "
        "LEFT JOIN 訂單資料表 o ON o.訂單編號 = j.訂單編號 "
        "WHERE j.種類 = '結帳' AND j.茶葉編號 IS NULL AND j.訂單編號 IS NOT NULL AND j.時間 >= ? AND j.時間 < ?");
    QVariantList params{r.start, r.end};
    if (!after.isEmpty()) {
        const qsizetype bar = after.indexOf(QLatin1Char('|'));
        const QString time = after.left(bar);
        const qlonglong id = after.mid(bar + 1).toLongLong();
        sql += QStringLiteral(" AND (j.時間 < ? OR (j.時間 = ? AND j.日誌編號 < ?))");
        params << time << time << id;
    }
    if (!filter.customer.isEmpty()) {
        sql += QStringLiteral(" AND o.客戶名稱 LIKE ? ESCAPE '\\'");
        params << containsPattern(filter.customer);
    }
    sql += QStringLiteral(" ORDER BY j.時間 DESC, j.日誌編號 DESC LIMIT ?");
    params << limit;

    QList<Sale> out;
    QSqlQuery q = db.exec(sql, params);
    while (q.next()) {
        Sale s;
        s.order = q.value(2).toLongLong();
        s.settled = localTime(q.value(1).toString());
        s.customer = text(q.value(3));
        s.total = money(q.value(4));
        s.cursor = q.value(1).toString() + QLatin1Char('|') + q.value(0).toString();
        out << s;
    }
    return out;
}

QList<SaleLine> saleLines(Database& db, qlonglong order)
{
    QList<SaleLine> out;
    QSqlQuery q = db.exec(QStringLiteral("SELECT 茶葉編號, 茶葉名稱, 庫存變動, 單價 FROM 帳務日誌表 "
                                         "WHERE 訂單編號 = ? AND 種類 = '結帳' AND 茶葉編號 IS NOT NULL "
                                         "ORDER BY 日誌編號"),
                          {order});
    while (q.next()) {
        SaleLine l;
        l.tea = text(q.value(0));
        l.name = text(q.value(1));
        l.kg = kilograms(-q.value(2).toDouble());
        l.price = money(q.value(3));
        // The subtotal as checkout showed it to the customer.
        l.subtotal = readNumber(formatNumber(l.kg * l.price));
        out << l;
    }
    return out;
}

Receipt receipt(Database& db, qlonglong order)
{
    QSqlQuery q = db.exec(QStringLiteral("SELECT j.時間, o.客戶名稱, j.現金變動 FROM 帳務日誌表 j "
                                         "LEFT JOIN 訂單資料表 o ON o.訂單編號 = j.訂單編號 "
                                         "WHERE j.訂單編號 = ? AND j.種類 = '結帳' AND j.茶葉編號 IS NULL "
                                         "ORDER BY j.日誌編號 LIMIT 1"),
                          {order});
    if (!q.next())
        throw DataError(QStringLiteral("訂單 %1 還沒有結帳，沒有收據。").arg(order));
    Receipt r;
    r.order = order;
    r.settled = localTime(q.value(0).toString());
    r.customer = text(q.value(1));
    r.total = money(q.value(2));
    q.finish();
    r.lines = saleLines(db, order);
    r.shopName = settings::get(db, settings::key::ShopName);
    r.shopAddress = settings::get(db, settings::key::ShopAddress);
    r.shopPhone = settings::get(db, settings::key::ShopPhone);
    return r;
}

DayReport dayReport(Database& db, const QDate& day)
{
    DayReport d;
    d.day = day;
    const Range r = rangeOf(day, day);
    {
        QSqlQuery q = db.exec(QStringLiteral("SELECT COALESCE(SUM(現金變動), 0), COALESCE(SUM(銀行變動), 0) "
                                             "FROM 帳務日誌表 WHERE 時間 < ? OR (種類 = '期初' AND 時間 < ?)"),
                              {r.start, r.end});
        if (q.next()) {
            d.openingCash = money(q.value(0));
            d.openingBank = money(q.value(1));
        }
    }
    d.closingCash = d.openingCash;
    d.closingBank = d.openingBank;

    QSqlQuery q =
        db.exec(QStringLiteral(
                    "SELECT 種類, 茶葉編號, MAX(茶葉名稱), SUM(庫存變動), SUM(現金變動), SUM(銀行變動), "
                    "COUNT(DISTINCT 訂單編號), SUM(-庫存變動 * 單價) FROM 帳務日誌表 "
                    "WHERE 時間 >= ? AND 時間 < ? AND 種類 <> '期初' GROUP BY 種類, 茶葉編號 ORDER BY 種類, 茶葉編號"),
                {r.start, r.end});
    while (q.next()) {
        const QString kind = q.value(0).toString();
        const double cash = money(q.value(4));
        const double bank = money(q.value(5));
        d.closingCash += cash;
        d.closingBank += bank;
        if (kind == QStringLiteral("結帳")) {
            d.takings += cash;
            if (q.value(1).isNull())
                d.orders += q.value(6).toInt();
            else
                d.sold << DayReport::TeaKg{text(q.value(1)), text(q.value(2)), kilograms(-q.value(3).toDouble()),
                                           money(q.value(7))};
        } else if (kind == QStringLiteral("進貨")) {
            const double kg = kilograms(q.value(3));
            d.bought << DayReport::TeaKg{text(q.value(1)), text(q.value(2)), kg, -cash};
            d.purchaseKg += kg;
            d.purchaseCost -= cash;
        } else if (kind == QStringLiteral("存款") || kind == QStringLiteral("提款")) {
            // Either way the money moves between the two; the direction is the sign.
            if (cash < 0)
                d.deposits -= cash;
            else
                d.withdrawals += cash;
        } else {
            d.adjustments += cash;
        }
    }
    auto round = [](double& x) { x = std::round(x * 10000.0) / 10000.0; };
    for (double* x :
         {&d.takings, &d.purchaseCost, &d.deposits, &d.withdrawals, &d.adjustments, &d.closingCash, &d.closingBank})
        round(*x);
    d.purchaseKg = kilograms(d.purchaseKg);
    return d;
}

QList<double> dailyTakings(Database& db, const QDate& last, int days)
{
    const QDate first = last.addDays(1 - days);
    const Range r = rangeOf(first, last);
    QList<double> out(days, 0.0);
    QSqlQuery q = db.exec(QStringLiteral("SELECT 時間, 現金變動 FROM 帳務日誌表 WHERE 種類 = '結帳' "
                                         "AND 茶葉編號 IS NULL AND 時間 >= ? AND 時間 < ?"),
                          {r.start, r.end});
    while (q.next()) {
        const qint64 i = first.daysTo(localTime(q.value(0).toString()).date());
        if (i >= 0 && i < days)
            out[i] += q.value(1).toDouble();
    }
    for (double& x : out)
        x = std::round(x * 10000.0) / 10000.0;
    return out;
}

double currentCash(Database& db)
{
    return money(db.scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表 ORDER BY 帳號 LIMIT 1")));
}

QList<LowStock> lowStock(Database& db, double level, const QDate& today)
{
    QHash<QString, double> sold;
    {
        const Range r = rangeOf(today.addDays(-29), today);
        QSqlQuery q = db.exec(QStringLiteral("SELECT 茶葉編號, SUM(-庫存變動) FROM 帳務日誌表 WHERE 種類 = '結帳' "
                                             "AND 茶葉編號 IS NOT NULL AND 時間 >= ? AND 時間 < ? GROUP BY 茶葉編號"),
                              {r.start, r.end});
        while (q.next())
            sold.insert(q.value(0).toString(), kilograms(q.value(1)));
    }
    QList<LowStock> out;
    QSqlQuery q = db.exec(QStringLiteral("SELECT 編號, 名稱, COALESCE(庫存, 0) FROM 茶葉資料表 "
                                         "WHERE COALESCE(庫存, 0) < ? ORDER BY COALESCE(庫存, 0), 編號"),
                          {level});
    while (q.next()) {
        LowStock s;
        s.tea = q.value(0).toString();
        s.name = text(q.value(1));
        s.stock = kilograms(q.value(2));
        s.soldLast30 = sold.value(s.tea, 0.0);
        out << s;
    }
    return out;
}

qint64 exportCatalogue(Database& db, CsvFile& out)
{
    out.row({QStringLiteral("編號"), QStringLiteral("名稱"), QStringLiteral("進價"), QStringLiteral("訂價"),
             QStringLiteral("庫存")});
    qint64 n = 0;
    QSqlQuery q = db.exec(QStringLiteral("SELECT 編號, 名稱, 進價, 訂價, 庫存 FROM 茶葉資料表 ORDER BY 編號"));
    while (q.next()) {
        out.row({text(q.value(0)), text(q.value(1)), number(q.value(2)), number(q.value(3)), number(q.value(4))});
        ++n;
    }
    return n;
}

qint64 exportSales(Database& db, CsvFile& out, const QDate& from, const QDate& to)
{
    out.row({QStringLiteral("訂單編號"), QStringLiteral("結帳時間"), QStringLiteral("客戶名稱"),
             QStringLiteral("茶葉編號"), QStringLiteral("茶葉名稱"), QStringLiteral("公斤"), QStringLiteral("單價"),
             QStringLiteral("小計")});
    const Range r = rangeOf(from, to);
    qint64 n = 0;
    QSqlQuery q =
        db.exec(QStringLiteral("SELECT j.訂單編號, j.時間, o.客戶名稱, j.茶葉編號, j.茶葉名稱, j.庫存變動, j.單價 "
                               "FROM 帳務日誌表 j LEFT JOIN 訂單資料表 o ON o.訂單編號 = j.訂單編號 "
                               "WHERE j.種類 = '結帳' AND j.茶葉編號 IS NOT NULL AND j.時間 >= ? AND j.時間 < ? "
                               "ORDER BY j.時間, j.日誌編號"),
                {r.start, r.end});
    while (q.next()) {
        const double kg = kilograms(-q.value(5).toDouble());
        const QVariant price = q.value(6);
        out.row({text(q.value(0)), localTime(q.value(1).toString()).toString(kTimeFormat), text(q.value(2)),
                 text(q.value(3)), text(q.value(4)), formatNumber(kg), number(price),
                 price.isNull() ? QString() : formatNumber(kg * money(price))});
        ++n;
    }
    return n;
}

qint64 exportJournal(Database& db, CsvFile& out, const QDate& from, const QDate& to)
{
    out.row({QStringLiteral("日誌編號"), QStringLiteral("異動編號"), QStringLiteral("種類"), QStringLiteral("時間"),
             QStringLiteral("終端"), QStringLiteral("訂單編號"), QStringLiteral("茶葉編號"), QStringLiteral("茶葉名稱"),
             QStringLiteral("庫存變動"), QStringLiteral("單價"), QStringLiteral("現金變動"), QStringLiteral("銀行變動"),
             QStringLiteral("說明")});
    const Range r = rangeOf(from, to);
    qint64 n = 0;
    QSqlQuery q = db.exec(QStringLiteral("SELECT 日誌編號, 異動編號, 種類, 時間, 終端, 訂單編號, 茶葉編號, 茶葉名稱, "
                                         "庫存變動, 單價, 現金變動, 銀行變動, 說明 FROM 帳務日誌表 "
                                         "WHERE 時間 >= ? AND 時間 < ? ORDER BY 時間, 日誌編號"),
                          {r.start, r.end});
    while (q.next()) {
        out.row({text(q.value(0)), text(q.value(1)), text(q.value(2)),
                 localTime(q.value(3).toString()).toString(kTimeFormat), text(q.value(4)), text(q.value(5)),
                 text(q.value(6)), text(q.value(7)), number(q.value(8)), number(q.value(9)), number(q.value(10)),
                 number(q.value(11)), text(q.value(12))});
        ++n;
    }
    return n;
}

} // namespace lumaro::reports
