// The engine of moves: a move changes exactly what its journal rows say, as
// relative updates, and is stored whole or not at all.
#include "books/Audit.h"
#include "books/MoneyMoves.h"
#include "books/Moves.h"
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
};

QTEST_MAIN(Moves)
#include "tst_moves.moc"
