// Returns and voids: partial returns of a discounted sale add up to the sale
// to the last 0.0001, nothing is returned beyond what was sold, not even by
// two terminals at once, and the check passes after each.
#include "books/Audit.h"
#include "books/MoneyMoves.h"
#include "books/OrderStore.h"
#include "books/Payments.h"
#include "books/Returns.h"
#include "books/Shop.h"
#include "books/TeaUnits.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "support/TestShop.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace lumaro;
using namespace lumaro::test;

namespace lumaro {
char* toString(const Money& m) { return qstrdup(m.toString().toUtf8().constData()); }
} // namespace lumaro

namespace {

Money M(const char* x) { return Money::parse(QString::fromLatin1(x)); }
QStringList S(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* t : list)
        out << QString::fromUtf8(t);
    return out;
}

// A (100 × 3, 10% off the line) and B (70 × 1), 7 off the whole order, paid
// in cash: 340 - 7 = 333. The order's 7 falls 5.5588 on A and 1.4412 on B.
qlonglong discountedSale(TestShop& shop)
{
    shop.balances(1000, 0);
    shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 60, 100, 10)
        .tea(QStringLiteral("B"), QStringLiteral("包種"), 40, 70, 10);
    const qlonglong order = shop.order(QStringLiteral("王小明"));
    payments::setLineDiscount(shop.db(), shop.line(order, QStringLiteral("A"), 3), QStringLiteral("10%"));
    shop.line(order, QStringLiteral("B"), 1);
    payments::setOrderDiscount(shop.db(), order, QStringLiteral("7"));
    OrderStore::settleOrder(shop.db(), order);
    return order;
}

returns::Request request(qlonglong order, const returns::Sale& s, const QList<std::pair<int, Money>>& lines)
{
    returns::Request r;
    r.order = order;
    r.reason = QStringLiteral("客人退回");
    for (const auto& [i, q] : lines)
        r.quantities << std::pair{s.lines[i].row, q};
    return r;
}

void checkClean(Database& db)
{
    const ShopCheck c = checkShop(db);
    QVERIFY(c.books.isEmpty());
    QVERIFY(c.overreturned.isEmpty());
    QVERIFY(c.unknownKinds.isEmpty());
}

} // namespace

class tst_returns : public QObject {
    Q_OBJECT
private slots:
    // Each step returns some quantities of A (0) and B (1); its refund, or
    // the start of its refusal. Quantities are in 公斤.
    void partialReturnsAddUpToTheSale_data()
    {
        using Step = QList<std::pair<int, Money>>;
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QStringList>("refunds");
        QTest::newRow("thirds of A, then the rest with B")
            << QList<Step>{{{0, M("1")}}, {{0, M("1")}}, {{0, M("1")}, {1, M("1")}}}
            << S({"88.1471", "88.1471", "156.7058"});
        QTest::newRow("half a kilo, then the rest")
            << QList<Step>{{{0, M("0.5")}}, {{0, M("2.5")}, {1, M("1")}}} << S({"44.0735", "288.9265"});
        QTest::newRow("B alone, then all of A")
            << QList<Step>{{{1, M("1")}}, {{0, M("3")}}} << S({"68.5588", "264.4412"});
        QTest::newRow("more than is left")
            << QList<Step>{{{0, M("2")}}, {{0, M("1.5")}}, {{0, M("1")}, {1, M("1")}}}
            << S({"176.2941", "茶葉 A 烏龍 賣出 3 公斤，已退 2 公斤，只剩 1 公斤", "156.7059"});
    }
    void partialReturnsAddUpToTheSale()
    {
        using Step = QList<std::pair<int, Money>>;
        QFETCH(QList<Step>, steps);
        QFETCH(QStringList, refunds);
        TestShop shop;
        const qlonglong order = discountedSale(shop);
        const Money total = Money::fromStored(shop.scalar(
            QStringLiteral("SELECT SUM(現金變動) FROM 帳務日誌表 WHERE 種類 = '結帳' AND 茶葉編號 IS NULL")));
        QCOMPARE(total, M("333"));
        Money refunded;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const returns::Sale s = returns::sale(shop.db(), order);
            const qlonglong rows = shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toLongLong();
            try {
                const returns::Slip slip = returns::returnSale(shop.db(), request(order, s, steps[i]));
                QCOMPARE(slip.refund.toString(), refunds[i]);
                refunded += slip.refund;
            } catch (const DataError& e) {
                QVERIFY2(e.description().startsWith(refunds[i]), qPrintable(e.description()));
                QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toLongLong(), rows);
            }
            checkClean(shop.db());
        }
        // Everything went back: exactly the sale, to the last 0.0001.
        QCOMPARE(refunded, total);
        QCOMPARE(returns::sale(shop.db(), order).refunded, total);
        QCOMPARE(shop.cash(), 1000.0);
        QCOMPARE(shop.stock(QStringLiteral("A")), 10.0);
        QCOMPARE(shop.stock(QStringLiteral("B")), 10.0);
        // The sale's own rows are as the checkout wrote them.
        QCOMPARE(shop.scalar(
                         QStringLiteral("SELECT count(*) FROM 帳務日誌表 WHERE 種類 = '結帳' AND 原交易 IS NOT NULL"))
                     .toInt(),
                 0);
    }

    // Written off: the tea comes back and goes out again as a 調整 at 進價;
    // a tea deleted since the sale can only be written off; a void is the
    // rest of a sale of today, refunded by the sale's method.
    void whereTheTeaGoes()
    {
        TestShop shop;
        const qlonglong order = discountedSale(shop);
        returns::Sale s = returns::sale(shop.db(), order);
        returns::Request off = request(order, s, {{0, M("1")}});
        off.destination = returns::Destination::WriteOff;
        off.method = QStringLiteral("轉帳");
        QCOMPARE(returns::returnSale(shop.db(), off).refund, M("88.1471"));
        QCOMPARE(shop.stock(QStringLiteral("A")), 7.0);
        QCOMPARE(shop.bank(), -88.1471);
        QCOMPARE(shop.rows(QStringLiteral(
                     "SELECT 庫存變動, 單價, 原因 FROM 帳務日誌表 WHERE 種類 = '調整' AND 原交易 IS NOT NULL")),
                 (QList<QVariantList>{{-1.0, 60.0, QStringLiteral("受潮/報廢")}}));

        shop.exec(QStringLiteral("DELETE FROM 茶葉資料表 WHERE 編號 = 'B'"));
        s = returns::sale(shop.db(), order);
        try {
            returns::returnSale(shop.db(), request(order, s, {{1, M("1")}}));
            QFAIL("a deleted tea went back into stock");
        } catch (const DataError& e) {
            QCOMPARE(e.description(), QStringLiteral("茶葉 B 包種 已從茶葉資料表刪除，不能退回庫存；可以選擇報廢。"));
        }
        returns::Request gone = request(order, s, {{1, M("1")}});
        gone.destination = returns::Destination::WriteOff;
        QCOMPARE(returns::returnSale(shop.db(), gone).refund, M("68.5588"));
        checkClean(shop.db());

        returns::Request v;
        v.order = order;
        v.isVoid = true;
        v.reason = QStringLiteral("作廢");
        const returns::Slip slip = returns::returnSale(shop.db(), v);
        QCOMPARE(slip.kind, QStringLiteral("作廢"));
        QCOMPARE(slip.refund, M("176.2941"));
        QCOMPARE(slip.method, QStringLiteral("現金"));
        QCOMPARE(shop.stock(QStringLiteral("A")), 9.0);
        QVERIFY_THROWS_EXCEPTION(DataError, returns::returnSale(shop.db(), v)); // nothing left
        // Not today's: refused.
        shop.exec(QStringLiteral("UPDATE 帳務日誌表 SET 時間 = '2020-01-01 12:00:00' WHERE 種類 = '結帳'"));
        const qlonglong other = shop.order(QStringLiteral("李"));
        shop.line(other, QStringLiteral("A"), 1);
        OrderStore::settleOrder(shop.db(), other);
        shop.exec(QStringLiteral("UPDATE 帳務日誌表 SET 時間 = '2020-01-01 12:00:00' WHERE 種類 = '結帳'"));
        v.order = other;
        try {
            returns::returnSale(shop.db(), v);
            QFAIL("voided a sale of another day");
        } catch (const DataError& e) {
            QVERIFY(e.description().startsWith(QStringLiteral("訂單 %1 不是今天結帳的").arg(other)));
        }
        checkClean(shop.db());
    }

    // Sold in 公斤, the tea since kept in 兩: the return comes back in 兩.
    void aChangedUnitConvertsExactly()
    {
        TestShop shop;
        shop.balances(0, 0).tea(QStringLiteral("A"), QStringLiteral("烏龍"), 60, 100, 3.5);
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("A"), 2);
        OrderStore::settleOrder(shop.db(), order);
        teaUnits::changeUnit(shop.db(), QStringLiteral("A"), QStringLiteral("兩"));
        const returns::Sale s = returns::sale(shop.db(), order);
        QCOMPARE(returns::returnSale(shop.db(), request(order, s, {{0, M("0.75")}})).refund, M("75"));
        QCOMPARE(shop.stock(QStringLiteral("A")), 60.0); // 1.5 + 0.75 公斤
        QCOMPARE(returns::sale(shop.db(), order).lines[0].left(), M("1.25"));
        checkClean(shop.db());
    }

    // A box comes back whole.
    void aCountComesBackWhole()
    {
        TestShop shop;
        shop.balances(0, 0).tea(QStringLiteral("G"), QStringLiteral("禮盒"), 300, 500, 0);
        teaUnits::changeUnit(shop.db(), QStringLiteral("G"), QStringLiteral("盒"));
        money::purchase(shop.db(), QStringLiteral("G"), M("4"));
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("G"), 2);
        OrderStore::settleOrder(shop.db(), order);
        const returns::Sale s = returns::sale(shop.db(), order);
        QVERIFY_THROWS_EXCEPTION(DataError, returns::returnSale(shop.db(), request(order, s, {{0, M("0.5")}})));
        QCOMPARE(returns::returnSale(shop.db(), request(order, s, {{0, M("1")}})).refund, M("500"));
        checkClean(shop.db());
    }

    // Two terminals return the last kilogram of the same line at once: one
    // return is stored, the other refused, on a shop file as on the server.
    void twoTerminalsReturnTheLastKilogram()
    {
        TestShop shop;
        shop.balances(0, 0).tea(QStringLiteral("A"), QStringLiteral("烏龍"), 60, 100, 5);
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("A"), 1);
        OrderStore::settleOrder(shop.db(), order);
        const qlonglong row = returns::sale(shop.db(), order).lines[0].row;
        for (int round = 0; round < 5; ++round) {
            std::atomic<int> ready{0}, stored{0}, refused{0};
            auto terminal = [&] {
                auto db = openShop(shop.path());
                returns::Request r;
                r.order = order;
                r.reason = QStringLiteral("退");
                r.quantities = {{row, M("1")}};
                ++ready;
                while (ready < 2)
                    std::this_thread::yield();
                try {
                    returns::returnSale(*db, r);
                    ++stored;
                } catch (const DataError& e) {
                    if (e.description().contains(QStringLiteral("只剩 0 公斤")))
                        ++refused;
                }
            };
            std::thread one(terminal), two(terminal);
            one.join();
            two.join();
            QCOMPARE(stored.load() + refused.load(), 2);
            QCOMPARE(stored.load(), round == 0 ? 1 : 0);
            QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表 WHERE 種類 = '退貨' AND 原列 = ?"),
                                 {row})
                         .toInt(),
                     1);
        }
        QCOMPARE(shop.stock(QStringLiteral("A")), 5.0);
        QCOMPARE(shop.cash(), 0.0);
        checkClean(shop.db());
        // Returned beyond what was sold behind the program's back: the check says so.
        shop.exec(QStringLiteral("UPDATE 帳務日誌表 SET 庫存變動 = 2 WHERE 種類 = '退貨' AND 原列 = ?"), {row});
        QCOMPARE(checkShop(shop.db()).overreturned.size(), 1);
    }
};

QTEST_MAIN(tst_returns)
#include "tst_returns.moc"
