// The engine of moves: a move changes exactly what its journal rows say, as
// relative updates, and is stored whole or not at all.
#include "books/Audit.h"
#include "books/Moves.h"
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
};

QTEST_MAIN(Moves)
#include "tst_moves.moc"
