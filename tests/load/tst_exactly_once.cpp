// A move is stored once or not at all, and the terminal says which: when the
// sync of the shop file's log fails at COMMIT, the program looks its move up
// on a fresh connection. What it then tells the user must be what the file
// holds at the next start, whether the terminal dies at once or carries on.
#include "books/Books.h"
#include "books/MoneyMoves.h"
#include "books/OrderStore.h"
#include "books/Shop.h"
#include "data/Database.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QProcess>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

class ExactlyOnce : public QObject {
    Q_OBJECT

private slots:
    void failedLogSync_data()
    {
        QTest::addColumn<bool>("otherTerminal");
        QTest::addColumn<bool>("dies");
        QTest::newRow("alone, then dies") << false << true;
        QTest::newRow("alone, carries on") << false << false;
        QTest::newRow("beside another terminal, then dies") << true << true;
        QTest::newRow("beside another terminal, carries on") << true << false;
    }
    void failedLogSync()
    {
        if (TestShop::onPostgres())
            QSKIP("shop files only");
        QFETCH(bool, otherTerminal);
        QFETCH(bool, dies);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("teadata.db"));
        createShop(path, QStringLiteral("pw")).reset();
        // The other terminal dies too before anyone opens the shop again, so
        // that the next start reads the log as the failed commit left it.
        QProcess other;
        if (otherTerminal) {
            other.start(qEnvironmentVariable("LUMARO_PROBE"), {QStringLiteral("hold"), path});
            QVERIFY(other.waitForReadyRead(30000));
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), qEnvironmentVariable("LUMARO_FAILSYNC"));
        const QStringList said =
            run(qEnvironmentVariable("LUMARO_PROBE"),
                {QStringLiteral("syncfail"), path, dies ? QStringLiteral("die") : QStringLiteral("on")}, {}, env)
                .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(said.size() >= 2 && said[0].startsWith(QLatin1String("try ")),
                 qPrintable(said.join(QLatin1Char('|'))));
        const QString id = said[0].mid(4);
        const bool saidStored = said[1] == QLatin1String("ok");
        if (!saidStored)
            QVERIFY2(said[1].contains(QStringLiteral("沒有儲存")), qPrintable(said[1]));
        if (!dies)
            QCOMPARE(said.value(2), QStringLiteral("after ok"));

        // The next start: every connection closed, the file opened afresh.
        if (otherTerminal) {
            other.kill();
            QVERIFY(other.waitForFinished(30000));
        }
        auto db = openShop(path);
        QCOMPARE(db->scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(books::moveStored(*db, id), saidStored);
        const double bank = (saidStored ? 7 : 0) + (dies ? 0 : 5);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表")).toDouble(), bank);
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表 WHERE 種類 = '存款'")).toInt(),
                 (saidStored ? 1 : 0) + (dies ? 0 : 1));
    }

    // A move retried under its id after an unclear answer is made once.
    void retryUnderTheSameIdStoresOnce()
    {
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("茶"), 100, 150, 10);
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("T1"), 2);
        money::adjust(shop.db(), Money::fromUnits(1000 * Money::Scale), QStringLiteral("開店"));
        const QString t = books::newMoveId(), p = books::newMoveId(), c = books::newMoveId();
        for (int i = 0; i < 2; ++i) {
            money::deposit(shop.db(), Money::fromDouble(10), t);
            money::purchase(shop.db(), QStringLiteral("T1"), Money::fromDouble(1), p);
            QCOMPARE(OrderStore::settleOrder(shop.db(), order, std::nullopt, c).toDouble(), 300.0);
        }
        QCOMPARE(shop.bank(), 10.0);
        QCOMPARE(shop.cash(), 1000.0 - 10 - 100 + 300);
        QCOMPARE(shop.stock(QStringLiteral("T1")), 9.0);
    }
};

QTEST_MAIN(ExactlyOnce)
#include "tst_exactly_once.moc"
