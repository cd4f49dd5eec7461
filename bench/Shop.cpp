#include "Shop.h"

#include "History.h"
#include "data/Transaction.h"

#include "books/Opening.h"
#include "books/Shop.h"
#include "data/Database.h"

#include <QSqlQuery>

#include <algorithm>
#include <functional>
#include <optional>

using namespace lumaro;

namespace bench {

// Its sales history is a screenful too, so the sales history screens have sales
// to show whichever actions run before them.
ShopSize screenfulShop() { return {40, 20, 5, 40, 40, 40 * 40}; }

namespace {

QString teaNumber(int i) { return QStringLiteral("B%1").arg(i, 7, 10, QLatin1Char('0')); }

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
    QSqlQuery tea(db->sql());
    tea.prepare(QStringLiteral("INSERT INTO 茶葉資料表 (編號, 名稱, 進價, 訂價, 庫存) VALUES (?, ?, ?, ?, ?)"));
    for (int i = 1; i <= size.teas; ++i) {
        tea.addBindValue(teaNumber(i));
        tea.addBindValue(QStringLiteral("測試茶 %1 號").arg(i));
        tea.addBindValue(800 + i % 1700);
        tea.addBindValue(1200 + i % 2300);
        tea.addBindValue(1000000.0); // enough for every checkout the bench makes
        tea.exec();
    }
    QSqlQuery order(db->sql());
    order.prepare(
        QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱, 連絡方式, 訂單狀態) VALUES (?, ?, ?) RETURNING 訂單編號"));
    QSqlQuery line(db->sql());
    line.prepare(QStringLiteral("INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量) VALUES (?, ?, ?)"));
    auto addOrder = [&](int number, int lines, int status) {
        order.addBindValue(QStringLiteral("客戶 %1").arg(number));
        order.addBindValue(QStringLiteral("09%1").arg(number, 8, 10, QLatin1Char('0')));
        order.addBindValue(status);
        order.exec();
        order.next();
        const qlonglong id = order.value(0).toLongLong();
        order.finish();
        for (int l = 0; l < lines; ++l) {
            line.addBindValue(id);
            line.addBindValue(teaNumber(1 + int((qint64(number) * 7 + l * 13) % size.teas)));
            line.addBindValue(1 + l % 3);
            line.exec();
        }
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
    // No ANALYZE: the program never gathers planner statistics, so a shop
    // timed with them would choose plans no owner's shop chooses.
    t->commit();
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

} // namespace bench
