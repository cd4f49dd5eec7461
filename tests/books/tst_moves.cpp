// The engine of moves: a move changes exactly what its journal rows say, as
// relative updates, and is stored whole or not at all.
#include "base/Numbers.h"
#include "books/Audit.h"
#include "books/MoneyMoves.h"
#include "books/Moves.h"
#include "books/OrderStore.h"
#include "books/Shop.h"
#include "books/StockCount.h"
#include "books/TeaUnits.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "support/TestShop.h"

#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

class Moves : public QObject {
    Q_OBJECT

private slots:
    void aMoveChangesWhatItsRowsSayOrNothing()
    {
        TestShop shop;
        shop.balances(100, 50).tea(QStringLiteral("A"), QStringLiteral("烏龍"), 10, 20, 5);
        shop.tea(QStringLiteral("B"), QStringLiteral("綠茶"), 10, 20, 7);
        // Two rows on one tea, one on another, cash in and bank out; with
        // goneMidMove, tea B is deleted after the rows are declared, as
        // another terminal on the server could.
        auto move = [&](bool goneMidMove) {
            return moves::Move{moves::kind::Adjustment, [goneMidMove](moves::Plan& p) {
                                   for (const auto& [tea, kg] : {std::pair{"A", 2.0}, {"A", -0.5}, {"B", -1.0}}) {
                                       books::Entry e;
                                       e.tea = QString::fromUtf8(tea);
                                       e.stock = Money::fromDouble(kg);
                                       p.add(e);
                                   }
                                   books::Entry e;
                                   e.cash = Money::fromDouble(10);
                                   e.bank = Money::fromDouble(-3);
                                   p.add(e);
                                   p.onTeaGone([] { throw DataError(QStringLiteral("茶葉不見了")); });
                                   if (goneMidMove)
                                       p.db().exec(QStringLiteral("DELETE FROM 茶葉資料表 WHERE 編號 = 'B'")).finish();
                               }};
        };

        try {
            moves::run(shop.db(), move(true));
            QFAIL("stored a move whose tea was gone");
        } catch (const DataError& e) {
            QCOMPARE(e.description(), QStringLiteral("茶葉不見了"));
        }
        QCOMPARE(shop.stock(QStringLiteral("A")), 5.0);
        QCOMPARE(shop.stock(QStringLiteral("B")), 7.0); // the deletion went with the move
        QCOMPARE(shop.cash(), 100.0);
        QCOMPARE(shop.bank(), 50.0);
        const int journal = shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toInt();
        QVERIFY(!shop.db().inTransaction());

        QCOMPARE(moves::run(shop.db(), move(false)), moves::Outcome::Stored);
        QCOMPARE(shop.stock(QStringLiteral("A")), 6.5);
        QCOMPARE(shop.stock(QStringLiteral("B")), 6.0);
        QCOMPARE(shop.cash(), 110.0);
        QCOMPARE(shop.bank(), 47.0);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toInt(), journal + 4);
        QVERIFY(checkShop(shop.db()).books.isEmpty());
    }
    // Changing a tea's unit: stock, 進價 and 訂價 converted exactly in one
    // move, or refused with its reason and nothing changed.
    void changesATeasUnit_data()
    {
        QTest::addColumn<QString>("from");        // set up through a move first, unless 公斤
        QTest::addColumn<QVariantList>("before"); // 進價, 訂價, 庫存 in from
        QTest::addColumn<QString>("to");
        QTest::addColumn<QVariantList>("after"); // empty: refused
        QTest::addColumn<QString>("refusal");
        const QVariant none;
        QTest::newRow("公斤 to 兩") << "公斤" << QVariantList{2000, 4000, 0.6} << "兩" << QVariantList{75, 150, 16}
                                    << QString();
        QTest::newRow("兩 to 台斤") << "兩" << QVariantList{2000, 4000, 0.6} << "台斤" << QVariantList{1200, 2400, 1}
                                    << QString();
        QTest::newRow("公斤 to 公克, no 訂價")
            << "公斤" << QVariantList{1000, none, 2.5} << "公克" << QVariantList{1, none, 2500} << QString();
        QTest::newRow("a stock that is no whole 1/10000")
            << "公斤" << QVariantList{0, 0, 1} << "兩" << QVariantList{} << "庫存 1公斤 換算成兩不是精確到 0.0001 的數";
        QTest::newRow("a price that is no whole 1/10000")
            << "公斤" << QVariantList{0, 0.01, 3} << "兩" << QVariantList{} << "訂價 0.01（每公斤）換算成每兩";
        QTest::newRow("weight to count with stock") << "公斤" << QVariantList{100, 120, 2} << "盒" << QVariantList{}
                                                    << "公斤和盒無法換算（一個是重量，一個是件數）";
        QTest::newRow("weight to count without stock")
            << "公斤" << QVariantList{100, 120, 0} << "盒" << QVariantList{100, 120, 0} << QString();
        QTest::newRow("an open order holds it")
            << "公斤" << QVariantList{100, 120, 3} << "兩" << QVariantList{} << "訂單 ";
    }
    void changesATeasUnit()
    {
        QFETCH(QString, from);
        QFETCH(QVariantList, before);
        QFETCH(QString, to);
        QFETCH(QVariantList, after);
        QFETCH(QString, refusal);
        TestShop shop;
        shop.balances(100, 0).tea(QStringLiteral("A"), QStringLiteral("烏龍"), before[0], before[1], before[2]);
        if (from != QLatin1String("公斤"))
            teaUnits::changeUnit(shop.db(), QStringLiteral("A"), from);
        if (QString::fromUtf8(QTest::currentDataTag()) == QLatin1String("an open order holds it"))
            shop.line(shop.order(QStringLiteral("王")), QStringLiteral("A"), 1);
        const auto tea = [&] {
            return shop.rows(QStringLiteral("SELECT 進價, 訂價, 庫存 FROM 茶葉資料表 WHERE 編號 = 'A'")).value(0);
        };
        const QVariantList stored = tea();
        const int journal = shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toInt();
        try {
            teaUnits::changeUnit(shop.db(), QStringLiteral("A"), to);
            QVERIFY2(refusal.isEmpty(), "not refused");
        } catch (const MoveRefused& e) {
            QVERIFY2(!refusal.isEmpty() && e.description().startsWith(refusal), qPrintable(e.description()));
            QCOMPARE(tea(), stored);
            QCOMPARE(teaUnits::unitOf(shop.db(), QStringLiteral("A")).name, from);
            QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toInt(), journal);
            return;
        }
        const QVariantList now = tea();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(now[i].isNull() ? QVariant() : QVariant(now[i].toDouble()),
                     after[i].isNull() ? QVariant() : QVariant(after[i].toDouble()));
        QCOMPARE(teaUnits::unitOf(shop.db(), QStringLiteral("A")).name, to);
        // Out in the old unit, in in the new; 公斤 is no row of its own.
        const QList<QVariantList> rows = shop.rows(QStringLiteral("SELECT 庫存變動, 單位 FROM 帳務日誌表 WHERE 種類 = "
                                                                  "'換算單位' ORDER BY 日誌編號 DESC LIMIT 2"));
        QCOMPARE(rows[1][0].toDouble(), -stored[2].toDouble());
        QCOMPARE(rows[1][1].toString(), units::toStored(*units::find(from)));
        QCOMPARE(rows[0][0].toDouble(), after[2].toDouble());
        QCOMPARE(rows[0][1].toString(), units::toStored(*units::find(to)));
        QVERIFY(shop.scalar(QStringLiteral("SELECT count(*) FROM 茶葉單位表 WHERE 單位 = '公斤'")).toInt() == 0);
        // A purchase is journaled in the new unit, and the check adds up per unit.
        money::purchase(shop.db(), QStringLiteral("A"), Money::fromDouble(2));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 單位 FROM 帳務日誌表 WHERE 種類 = '進貨'")).toString(),
                 units::toStored(*units::find(to)));
        QVERIFY(checkShop(shop.db()).books.isEmpty());
        // Stock left in the old unit behind the journal's back is found.
        shop.exec(QStringLiteral("UPDATE 帳務日誌表 SET 庫存變動 = 庫存變動 + 1 WHERE 種類 = '換算單位' AND 日誌編號 = "
                                 "(SELECT MIN(日誌編號) FROM 帳務日誌表 WHERE 種類 = '換算單位')"));
        QVERIFY(!checkShop(shop.db()).books.isEmpty());
    }

    // Renumbering a tea carries its unit, and its stock's journal rows name
    // it; deleting the tea takes its unit along, whatever does it.
    void theUnitFollowsTheTea()
    {
        TestShop shop;
        shop.balances(100, 0).tea(QStringLiteral("A"), QStringLiteral("烏龍"), 2000, 4000, 0.6);
        teaUnits::changeUnit(shop.db(), QStringLiteral("A"), QStringLiteral("兩"));
        shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 編號 = 'B' WHERE 編號 = 'A'"));
        QCOMPARE(teaUnits::unitOf(shop.db(), QStringLiteral("B")).name, QStringLiteral("兩"));
        QCOMPARE(teaUnits::unitOf(shop.db(), QStringLiteral("A")).name, QStringLiteral("公斤"));
        QCOMPARE(shop.rows(QStringLiteral("SELECT 茶葉編號, 庫存變動, 單位 FROM 帳務日誌表 WHERE 說明 = '更改茶葉編號' "
                                          "ORDER BY 日誌編號")),
                 (QList<QVariantList>{{QStringLiteral("A"), -16.0, QStringLiteral("兩")},
                                      {QStringLiteral("B"), 16.0, QStringLiteral("兩")}}));
        QVERIFY(checkShop(shop.db()).books.isEmpty());
        shop.exec(QStringLiteral("DELETE FROM 茶葉資料表 WHERE 編號 = 'B'"));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 茶葉單位表")).toInt(), 0);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 單位 FROM 帳務日誌表 WHERE 說明 = '刪除茶葉'")).toString(),
                 QStringLiteral("兩"));
        // A new tea under the old number starts in 公斤.
        shop.tea(QStringLiteral("B"), QStringLiteral("綠茶"), 1, 2, 3);
        QCOMPARE(teaUnits::unitOf(shop.db(), QStringLiteral("B")).name, QStringLiteral("公斤"));
        QVERIFY(checkShop(shop.db()).books.isEmpty());
    }
    // A count stores one 調整 per tea that differs, in one move, at 進價 and in
    // the tea's unit, with its reason; a write-off is the same row without a
    // count, and never takes the stock below zero.
    void countsAndWriteOffs()
    {
        TestShop shop;
        const auto M = [](double x) { return Money::fromDouble(x); };
        const QString A = QStringLiteral("A"), B = QStringLiteral("B"), C = QStringLiteral("C"),
                      D = QStringLiteral("D");
        shop.balances(1000, 0)
            .tea(A, QStringLiteral("烏龍"), 100, 150, 5)
            .tea(B, QStringLiteral("包種"), 2000, 3000, 1.5);
        shop.tea(C, QStringLiteral("禮盒"), 120, 200, 0).tea(D, QStringLiteral("綠茶"), 10, 20, 2);
        teaUnits::changeUnit(shop.db(), B, QStringLiteral("兩")); // 40 兩 at 75
        teaUnits::changeUnit(shop.db(), C, QStringLiteral("盒"));
        money::purchase(shop.db(), C, M(5));
        const QString note = QStringLiteral("年終盤點");
        const QList<stock::Posted> posted = stock::postCount(shop.db(),
                                                             {{A, {}, M(5), M(4.5), moves::reason::Tasting},
                                                              {B, {}, M(40), M(32), {}},
                                                              {C, {}, M(5), M(6), {}},
                                                              {D, {}, M(2), M(2), {}}}, // agrees: no row
                                                             note);
        QCOMPARE(posted.size(), 3);
        const auto rows =
            shop.rows(QStringLiteral("SELECT 茶葉編號, 庫存變動, 單價, 單位, 原因, 說明, 現金變動, 異動編號 "
                                     "FROM 帳務日誌表 WHERE 種類 = '調整' AND 原因 IS NOT NULL ORDER BY 日誌編號"));
        QCOMPARE(rows.size(), 3);
        const QList<QStringList> expected =
            {{A, QStringLiteral("-0.5"), QStringLiteral("100"), QString(), moves::reason::Tasting},
             {B, QStringLiteral("-8"), QStringLiteral("75"), QStringLiteral("兩"), moves::reason::Counted},
             {C, QStringLiteral("1"), QStringLiteral("120"), QStringLiteral("盒"), moves::reason::Counted}};
        for (int i = 0; i < 3; ++i) {
            const QStringList got = {rows[i][0].toString(), formatNumber(rows[i][1].toDouble()),
                                     formatNumber(rows[i][2].toDouble()), rows[i][3].toString(), rows[i][4].toString()};
            QCOMPARE(got, expected[i]);
            QCOMPARE(rows[i][5].toString(), note);
            QCOMPARE(rows[i][6].toDouble(), 0.0);
            QCOMPARE(rows[i][7], rows[0][7]); // one move
        }
        QCOMPARE(shop.stock(A), 4.5);
        QCOMPARE(shop.stock(B), 32.0);
        QCOMPARE(shop.stock(C), 6.0);
        QCOMPARE(shop.cash(), 400.0);

        stock::writeOff(shop.db(), A, M(0.5), moves::reason::Damaged, QString());
        QCOMPARE(shop.stock(A), 4.0);
        struct Refused {
            QString tea;
            double quantity;
            QString reason;
            QString said;
        };
        for (const Refused& r :
             QList<Refused>{{A, 4.5, moves::reason::Damaged, QStringLiteral("帳上只有 4公斤")},
                            {A, 0, moves::reason::Damaged, QStringLiteral("必須大於 0")},
                            {A, 1, QStringLiteral("送人"), QStringLiteral("不是可以選的原因")},
                            {QStringLiteral("Z"), 1, moves::reason::Damaged, QStringLiteral("找不到茶葉「Z」")}}) {
            try {
                stock::writeOff(shop.db(), r.tea, M(r.quantity), r.reason, QString());
                QFAIL(qPrintable(r.said));
            } catch (const MoveRefused& e) {
                QVERIFY2(e.description().contains(r.said), qPrintable(e.description()));
            }
        }
        QCOMPARE(shop.stock(A), 4.0);
        const ShopCheck c = checkShop(shop.db());
        QVERIFY(c.books.isEmpty() && c.clean());
    }

    // What is typed as counted is taken exactly as typed, in the tea's unit or
    // another of its measure; anything else is refused, never read as 0.
    void countedFigures_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("value"); // -1: refused
        const struct {
            const char *name, *unit, *typed;
            double value;
        } cases[] = {
            {"kg", "公斤", "4.5", 4.5},        {"kg named", "公斤", "4.5kg", 4.5}, {"半斤 in 兩", "兩", "半斤", 8},
            {"150g in 兩", "兩", "150g", 4},   {"四兩", "兩", "四兩", 4},          {"boxes", "盒", "3盒", 3},
            {"zero", "公斤", "0", 0},          {"half a box", "盒", "2.5", -1},    {"grouped", "公斤", "1,000", -1},
            {"words", "公斤", "abc", -1},      {"negative", "公斤", "-1", -1},     {"too fine", "公斤", "0.00001", -1},
            {"kg for boxes", "盒", "2kg", -1},
        };
        for (const auto& c : cases)
            QTest::newRow(c.name) << QString::fromUtf8(c.unit) << QString::fromUtf8(c.typed) << c.value;
    }
    void countedFigures()
    {
        QFETCH(QString, unit);
        QFETCH(QString, typed);
        QFETCH(double, value);
        const units::Reading r = stock::readCounted(typed, *units::find(unit));
        QCOMPARE(r.ok(), value >= 0);
        if (r.ok())
            QCOMPARE(r.value, value);
        else
            QVERIFY(!r.refusal.isEmpty());
    }

    // Another terminal sells between showing and posting: the count is
    // refused whole, naming the tea and its new book stock; a tea deleted
    // meanwhile is named too. Nothing is stored either way.
    void aCountRefusesStockThatMoved()
    {
        TestShop shop;
        const auto M = [](double x) { return Money::fromDouble(x); };
        const QString A = QStringLiteral("A"), B = QStringLiteral("B");
        shop.balances(1000, 0).tea(A, QStringLiteral("烏龍"), 100, 150, 5).tea(B, QStringLiteral("綠茶"), 10, 20, 2);
        const QList<stock::Count> counts = {{A, QStringLiteral("烏龍"), M(5), M(4), {}},
                                            {B, QStringLiteral("綠茶"), M(2), M(1), {}}};
        auto other = openShop(shop.path());
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, B, 1);
        OrderStore::settleOrder(*other, order);
        const int journal = shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toInt();
        try {
            stock::postCount(shop.db(), counts, QString());
            QFAIL("posted over a sale");
        } catch (const stock::StockMoved& e) {
            QCOMPARE(e.moved().size(), 1);
            QCOMPARE(e.moved()[0].tea, B);
            QCOMPARE(*e.moved()[0].now, M(1));
            QVERIFY2(e.description().contains(QStringLiteral("B 綠茶：帳面庫存從 2 變成 1")),
                     qPrintable(e.description()));
        }
        other->exec(QStringLiteral("DELETE FROM 茶葉資料表 WHERE 編號 = 'A'")).finish();
        try {
            stock::postCount(shop.db(), {counts[0], {B, QStringLiteral("綠茶"), M(1), M(1), {}}}, QString());
            QFAIL("posted a deleted tea");
        } catch (const stock::StockMoved& e) {
            QVERIFY(!e.moved()[0].now);
            QVERIFY2(e.description().contains(QStringLiteral("A 烏龍：已被刪除")), qPrintable(e.description()));
        }
        // Only the catalogue's own row of the deletion was added.
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toInt(), journal + 1);
        QCOMPARE(shop.stock(B), 1.0);
        QVERIFY(checkShop(shop.db()).books.isEmpty());
    }
};

QTEST_MAIN(Moves)
#include "tst_moves.moc"
