// Two terminals on one shop at once, each making a few hundred checkouts,
// stock purchases and transfers through the functions the screens call.
// Afterwards every kilogram and every coin is where the moves put it, and
// neither terminal ever saw an error (a lock, a deadlock) the user would see.
#include "Ledger.h"

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
};

QTEST_MAIN(TwoTerminals)
#include "tst_two_terminals.moc"
