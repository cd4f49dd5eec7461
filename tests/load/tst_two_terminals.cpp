// Two terminals on one shop at once, each making a few hundred checkouts,
// stock purchases and transfers through the functions the screens call.
// Afterwards every kilogram and every coin is where the moves put it, and
// neither terminal ever saw an error (a lock, a deadlock) the user would see.
// And two terminals storing the same cash count store it once.
#include "Ledger.h"
#include "books/Shop.h"
#include "data/Transaction.h"

#include "books/MoneyMoves.h"
#include "data/Schema.h"

#include <QProcess>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

class TwoTerminals : public QObject {
    Q_OBJECT

private slots:
    void movesAddUpExactly()
    {
        LoadedShop load(900);
        TestShop& shop = load.shop;
        Ledger& ledger = *load.ledger;

        const int movesEach = qEnvironmentVariableIntValue("LUMARO_LOAD_MOVES") > 0
                                  ? qEnvironmentVariableIntValue("LUMARO_LOAD_MOVES")
                                  : 500;
        QProcess terminals[2];
        for (int i = 0; i < 2; ++i)
            load.startTerminal(terminals[i], movesEach, 1000 + i);
        const QStringList journals = readTerminals(terminals, 240000);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(terminals[i].state(), QProcess::NotRunning);
            QCOMPARE(terminals[i].exitStatus(), QProcess::NormalExit);
            QCOMPARE(terminals[i].exitCode(), 0);
            QVERIFY(journals[i].endsWith(QLatin1String("done\n")));
            const QStringList locked = journals[i].split(QLatin1Char('\n')).filter(QLatin1String("locked"));
            QVERIFY2(locked.isEmpty(), qPrintable(locked.join(QLatin1Char('\n'))));
        }

        const QString mismatch = ledger.apply(journals, shop.db());
        QVERIFY2(ledger.failures().isEmpty(), qPrintable(ledger.failures().mid(0, 3).join(QLatin1Char('\n'))));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        // Most moves went through: the terminals really worked side by side.
        QVERIFY2(ledger.applied() > movesEach, qPrintable(QString::number(ledger.applied())));
        if (shop.db().isSQLite())
            QCOMPARE(shop.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    }

    // Both terminals counted 990 against books of 1000. The first one's
    // adjustment is on its way (its transaction holds the lock) when the
    // second stores its own; it lands while the second waits for its turn.
    // Only a check of the books made after the second has the lock sees it.
    void aCashCountIsStoredOnce()
    {
        TestShop shop;
        shop.balances(1000, 0);
        auto first = openShop(shop.path());
        auto second = openShop(shop.path());
        const Money counted = Money::fromDouble(990), seen = Money::fromDouble(1000);

        const QString id = books::newMoveId();
        auto storing = std::make_unique<Transaction>(*first);
        moves::addToBalances(*first, moves::accountRow(*first).id, counted - seen, Money());
        books::Entry e;
        e.kind = schema::journalKind::Adjustment;
        e.cash = counted - seen;
        e.note = QStringLiteral("盤點");
        books::record(*first, id, e);
        Database::setWaitNotifier([&](bool waiting) {
            if (waiting && storing)
                books::commitMove(*std::exchange(storing, nullptr), id);
        });

        QString refused;
        try {
            money::countCash(*second, counted, seen, QStringLiteral("盤點"));
        } catch (const money::CashChanged& changed) {
            refused = changed.now().toString();
        }
        Database::setWaitNotifier(nullptr);
        QVERIFY2(!storing, "the second terminal never waited for the first");
        QCOMPARE(refused, QStringLiteral("990"));
        QCOMPARE(shop.cash(), 990.0);
        // Asked again, the second terminal finds nothing left to store.
        QCOMPARE(money::countCash(*second, counted, counted, QStringLiteral("盤點")), Money());
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表 WHERE 說明 = '盤點'")).toInt(), 1);
        QCOMPARE(shop.cash(), 990.0);
    }
};

QTEST_MAIN(TwoTerminals)
#include "tst_two_terminals.moc"
