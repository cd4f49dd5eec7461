// A terminal killed at random moments in the middle of its moves. After every
// kill the shop file is sound, no move is half stored, and the money and the
// stock add up exactly to the moves that were stored. On PostgreSQL some
// rounds cut the server side of the connection instead.
#include "Ledger.h"
#include "books/Shop.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QThread>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// The server processes of the shop's database on PostgreSQL; none on a file.
QSet<qlonglong> serverProcesses(TestShop& shop)
{
    QSet<qlonglong> pids;
    if (!shop.db().isSQLite())
        for (const QVariantList& r :
             shop.rows(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = current_database()")))
            pids.insert(r.value(0).toLongLong());
    return pids;
}

// A killed terminal's server process can still be finishing the COMMIT the
// terminal sent before it died, and commit it after the shop has been read.
// The shop is read once every process that was not there before the terminal
// has ended, so its last move is wholly in or wholly out. Whether one had to
// be waited for is returned; false when it would not end.
bool waitForServerProcesses(TestShop& shop, const QSet<qlonglong>& before, bool* waited)
{
    QElapsedTimer clock;
    clock.start();
    *waited = false;
    while (!(serverProcesses(shop) - before).isEmpty()) {
        if (clock.elapsed() > 30000)
            return false;
        *waited = true;
        QThread::msleep(2);
    }
    return true;
}

} // namespace

class Crash : public QObject {
    Q_OBJECT

private slots:
    void killedMidMoveStoresWholeMovesOnly()
    {
        LoadedShop load(1500);
        TestShop& shop = load.shop;
        Ledger& ledger = *load.ledger;
        const int kills = qEnvironmentVariableIntValue("LUMARO_CRASH_KILLS") > 0
                              ? qEnvironmentVariableIntValue("LUMARO_CRASH_KILLS")
                              : 100;
        QRandomGenerator rng(20261207);
        int killedMidMove = 0, lingered = 0;
        for (int round = 0; round < kills; ++round) {
            const QSet<qlonglong> before = serverProcesses(shop);
            QProcess terminal;
            load.startTerminal(terminal, 100000, round);
            QVERIFY(terminal.waitForStarted());
            // Killed once it is at work, a random few milliseconds in.
            while (!terminal.canReadLine())
                QVERIFY2(terminal.waitForReadyRead(30000), "the terminal never got to work");
            const bool cutServerSide = !shop.db().isSQLite() && round % 2 == 1;
            QThread::usleep(rng.bounded(500, 15000));
            if (cutServerSide) {
                shop.scalar(QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                           "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
                QThread::usleep(rng.bounded(500, 5000));
            }
            terminal.kill(); // SIGKILL
            QVERIFY(terminal.waitForFinished(30000));
            const QString journal = QString::fromUtf8(terminal.readAllStandardOutput());
            if (!journal.endsWith(QLatin1String("ok\n")) && !journal.endsWith(QLatin1String("no\n")))
                ++killedMidMove;
            bool waited = false;
            QVERIFY2(waitForServerProcesses(shop, before, &waited), "a killed terminal's server process lives on");
            lingered += waited;

            std::unique_ptr<Database> after = openShop(shop.path());
            if (after->isSQLite())
                QCOMPARE(after->scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            const QString mismatch =
                ledger.apply({journal}, *after, cutServerSide ? Ledger::Failed::NotStored : Ledger::Failed::Fault);
            QVERIFY2(ledger.failures().isEmpty(), qPrintable(ledger.failures().join(QLatin1Char('\n'))));
            QVERIFY2(mismatch.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(mismatch)));
        }
        qInfo("%d kills, %d in the middle of a move, %d moves stored, %d server processes waited for", kills,
              killedMidMove, ledger.applied(), lingered);
        // The kills really landed in the middle of moves, and moves were made.
        QVERIFY(killedMidMove > kills / 2);
        QVERIFY(ledger.applied() > 0);
    }
};

QTEST_MAIN(Crash)
#include "tst_crash.moc"
