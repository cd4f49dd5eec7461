// Eight counters on one shop file, each making moves as fast as it can: none
// ever sees "database is locked", every move adds up, and a move that has to
// wait tells the program so it can show a wait cursor.
// LUMARO_TERMINAL_MOVES sets the moves per terminal (300 here; the full
// run is 10000).
#include "Ledger.h"
#include "books/Shop.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace lumaro;
using namespace lumaro::test;

class EightTerminals : public QObject {
    Q_OBJECT

private slots:
    void noTerminalSeesALock()
    {
        if (TestShop::onPostgres())
            QSKIP("the server queues its terminals itself; two-terminal runs cover it");
        LoadedShop load(2000);
        TestShop& shop = load.shop;
        Ledger& ledger = *load.ledger;
        const int movesEach = qEnvironmentVariableIntValue("LUMARO_TERMINAL_MOVES") > 0
                                  ? qEnvironmentVariableIntValue("LUMARO_TERMINAL_MOVES")
                                  : 300;
        QElapsedTimer timer;
        timer.start();
        QProcess terminals[8];
        for (int i = 0; i < 8; ++i)
            load.startTerminal(terminals[i], movesEach, 800 + i);
        const QStringList journals = readTerminals(terminals);
        int slowest = 0;
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(terminals[i].state(), QProcess::NotRunning);
            QCOMPARE(terminals[i].exitStatus(), QProcess::NormalExit);
            QCOMPARE(terminals[i].exitCode(), 0);
            QVERIFY(journals[i].endsWith(QLatin1String("done\n")));
            const QString said = journals[i].section(QLatin1String("slowest "), 1, 1);
            slowest = std::max(slowest, said.section(QLatin1Char(' '), 0, 0).toInt());
        }
        const QString mismatch = ledger.apply(journals, shop.db());
        QVERIFY2(ledger.failures().isEmpty(), qPrintable(ledger.failures().mid(0, 3).join(QLatin1Char('\n'))));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        qInfo("8 terminals x %d moves: %d stored in %.1f s, the slowest took %d ms", movesEach, ledger.applied(),
              timer.elapsed() / 1000.0, slowest);
        QCOMPARE(shop.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    }

    // Another terminal holds the shop for a while: the waiting move is told
    // to show the wait cursor after half a second, and to take it away once
    // it goes ahead; a short wait shows nothing.
    void waitingMoveIsShown_data()
    {
        QTest::addColumn<int>("heldMs");
        QTest::addColumn<bool>("shown");
        QTest::newRow("a blink") << 100 << false;
        QTest::newRow("over half a second") << 1200 << true;
    }
    void waitingMoveIsShown()
    {
        QFETCH(int, heldMs);
        QFETCH(bool, shown);
        TestShop shop;
        QList<QPair<bool, qint64>> told;
        QElapsedTimer timer;
        Database::setWaitNotifier([&](bool waiting) { told << qMakePair(waiting, timer.elapsed()); });

        std::atomic<bool> holding = false;
        const QString path = shop.path();
        std::thread other([&] {
            auto db = openShop(path);
            db->begin();
            holding = true;
            QThread::msleep(heldMs);
            db->commit();
        });
        while (!holding)
            QThread::msleep(1);
        timer.start();
        shop.db().begin();
        shop.db().commit();
        other.join();
        Database::setWaitNotifier(nullptr);

        if (!shown) {
            QVERIFY(told.isEmpty());
            return;
        }
        QCOMPARE(told.size(), 2);
        QVERIFY(told[0].first && told[0].second >= 500 && told[0].second < heldMs);
        QVERIFY(!told[1].first && told[1].second >= heldMs - 50);
    }
};

QTEST_MAIN(EightTerminals)
#include "tst_eight_terminals.moc"
