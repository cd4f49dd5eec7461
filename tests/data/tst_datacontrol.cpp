#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "forms/BoundTextBox.h"
#include "forms/DataGrid.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QAbstractItemModelTester>
#include <QDate>
#include <QSignalSpy>
#include <QtTest>

using namespace lumaro;
using lumaro::test::TestShop;
using lumaro::test::texts;

namespace {

void fillTeas(TestShop& shop, int n)
{
    for (int i = 1; i <= n; ++i)
        shop.tea(QStringLiteral("T%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("茶%1").arg(i), 100 * i, 150 * i,
                 i);
}

QString currentNumber(DataControl& c) { return c.field(0).toString(); }

// More teas than one page holds, numbered P001... so they sort as numbered.
void fillManyTeas(TestShop& shop, int n)
{
    shop.exec(QStringLiteral("INSERT INTO 茶葉資料表 (編號, 名稱, 進價, 訂價, 庫存) VALUES ('P001', '茶1', 1, 2, 3)"));
    for (int i = 2; i <= n; ++i)
        shop.exec(QStringLiteral("INSERT INTO 茶葉資料表 (編號, 名稱, 進價, 訂價, 庫存) VALUES (?, ?, 1, 2, 3)"),
                  {QStringLiteral("P%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("茶%1").arg(i)});
}

} // namespace

class DataControlTest : public QObject {
    Q_OBJECT
private slots:
    void opensOnFirstRowInSourceOrder()
    {
        TestShop shop;
        shop.tea(QStringLiteral("B"), QStringLiteral("烏龍"), 1, 2, 3)
            .tea(QStringLiteral("A"), QStringLiteral("綠茶"), 1, 2, 3);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        QCOMPARE(c.recordCount(), 2);
        QCOMPARE(c.absolutePosition(), 1);
        QCOMPARE(currentNumber(c), QStringLiteral("A"));
        QCOMPARE(c.columnNames(), texts({"編號", "名稱", "進價", "訂價", "庫存"}));
    }

    void movingPastTheEnd()
    {
        TestShop shop;
        fillTeas(shop, 2);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        c.moveNext();
        QVERIFY(!c.eof());
        c.moveNext();
        QVERIFY(c.eof());
        QCOMPARE(c.absolutePosition(), 0);
        QVERIFY_THROWS_EXCEPTION(DataError, c.field(0));
        QVERIFY_THROWS_EXCEPTION(DataError, c.moveNext());
        c.moveLast();
        QCOMPARE(currentNumber(c), QStringLiteral("T02"));
        QVERIFY_THROWS_EXCEPTION(DataError, c.setAbsolutePosition(3));
        QVERIFY_THROWS_EXCEPTION(DataError, c.setAbsolutePosition(0));
    }

    void emptySetRefusesMovesAndDeletes()
    {
        TestShop shop;
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        QVERIFY(c.eof());
        for (auto op : {&DataControl::moveFirst, &DataControl::moveLast, &DataControl::deleteCurrent}) {
            try {
                (c.*op)();
                QFAIL("an operation on an empty set succeeded");
            } catch (const DataError& e) {
                QCOMPARE(e.description(), DataControl::noCurrentRowText());
            }
        }
    }

    // The record editor's delete: delete, move next, and back to the last
    // when that ran off the end.
    void deleteThenFollow_data()
    {
        QTest::addColumn<int>("teas");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("after"); // empty: no row left
        QTest::newRow("middle goes to the next") << 3 << 2 << "T03";
        QTest::newRow("last goes to the new last") << 3 << 3 << "T02";
        QTest::newRow("first goes to the next") << 3 << 1 << "T02";
        QTest::newRow("only leaves nothing") << 1 << 1 << "";
    }
    void deleteThenFollow()
    {
        QFETCH(int, teas);
        QFETCH(int, position);
        QFETCH(QString, after);
        TestShop shop;
        fillTeas(shop, teas);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        c.setAbsolutePosition(position);
        const QString gone = currentNumber(c);
        c.deleteCurrent();
        QVERIFY_THROWS_EXCEPTION(DataError, c.field(0)); // the deleted row is no longer readable
        c.moveNext();
        if (after.isEmpty()) {
            QVERIFY(c.eof());
            QVERIFY_THROWS_EXCEPTION(DataError, c.moveLast());
        } else {
            if (c.eof())
                c.moveLast();
            QCOMPARE(currentNumber(c), after);
        }
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表 WHERE 編號 = ?"), {gone}).toInt(), 0);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt(), teas - 1);
        QCOMPARE(c.recordCount(), teas - 1);
    }

    void pendingChangeIsStoredWhenTheRowMoves()
    {
        TestShop shop;
        fillTeas(shop, 2);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        c.setField(3, QStringLiteral("175.5"));
        QVERIFY(c.hasPending());
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 訂價 FROM 茶葉資料表 WHERE 編號='T01'")).toDouble(), 150.0);
        c.moveNext();
        QVERIFY(!c.hasPending());
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 訂價 FROM 茶葉資料表 WHERE 編號='T01'")).toDouble(), 175.5);
        // What was typed as text is read back as the number the file holds.
        c.moveFirst();
        QCOMPARE(c.field(3).typeId(), QMetaType::Double);
    }

    void failedStoreOnMoveReportsAndStays()
    {
        TestShop shop;
        fillTeas(shop, 2);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        QSignalSpy errors(&c, &DataControl::error);
        c.setField(2, QStringLiteral("很貴"));
        c.moveNext();
        QCOMPARE(errors.size(), 1);
        // SQLite names the column; PostgreSQL names the type it wanted.
        QVERIFY(errors.at(0).at(0).toString().contains(TestShop::onPostgres() ? QStringLiteral("double precision")
                                                                              : QStringLiteral("進價")));
        QCOMPARE(c.absolutePosition(), 1); // the move did not happen
        QVERIFY(c.hasPending());
        c.cancelUpdate();
        c.moveNext();
        QCOMPARE(errors.size(), 1);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 進價 FROM 茶葉資料表 WHERE 編號='T01'")).toDouble(), 100.0);
    }

    void addNewReadsBackNumberAndDefaults()
    {
        TestShop shop;
        const qlonglong first = shop.order(QStringLiteral("甲"));
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::OpenOrders);
        c.refresh();
        c.addNew();
        QCOMPARE(c.recordCount(), 2);
        QVERIFY(c.field(0).isNull());
        c.setField(schema::order::Customer, QStringLiteral("陳小姐"));
        c.setField(schema::order::Contact, QStringLiteral("0912-000-111"));
        c.update();
        QCOMPARE(c.field(0).toLongLong(), first + 1);
        QCOMPARE(c.field(schema::order::Status).toInt(), 0);
        QCOMPARE(c.field(schema::order::Date).toString(), QDate::currentDate().toString(Qt::ISODate));
        // A new row nobody typed into is dropped when the user moves away.
        c.addNew();
        c.moveFirst();
        QCOMPARE(c.recordCount(), 2);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表")).toInt(), 2);
    }

    void changingTheKeyUpdatesTheSameRow()
    {
        TestShop shop;
        fillTeas(shop, 2);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        c.setField(0, QStringLiteral("X99"));
        c.setField(1, QStringLiteral("改名"));
        c.update();
        QCOMPARE(shop.rows(QStringLiteral("SELECT 編號, 名稱 FROM 茶葉資料表 ORDER BY 編號")),
                 QList<QVariantList>({{QStringLiteral("T02"), QStringLiteral("茶2")},
                                      {QStringLiteral("X99"), QStringLiteral("改名")}}));
        // A second change goes through the new key.
        c.setField(1, QStringLiteral("再改"));
        c.update();
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 名稱 FROM 茶葉資料表 WHERE 編號='X99'")).toString(),
                 QStringLiteral("再改"));
    }

    void awkwardTextIsStoredExactly()
    {
        TestShop shop;
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        const QString number = QStringLiteral("O'Neil\\1");
        const QString name = QStringLiteral("老欉\"鐵觀音\" 50% \\n '; DROP TABLE 茶葉資料表; -- 🍵");
        c.addNew();
        c.setField(0, number);
        c.setField(1, name);
        c.setField(2, QStringLiteral("12.5"));
        c.update();
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 名稱 FROM 茶葉資料表 WHERE 編號 = ?"), {number}).toString(), name);
        c.refresh();
        QVERIFY(c.moveToValue(0, number));
        QCOMPARE(c.field(1).toString(), name);
    }

    void refusalCarriesTheDatabaseText_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("text in a price") << 2 << "abc" << (TestShop::onPostgres() ? "double precision" : "進價");
        QTest::newRow("missing key") << 0 << ""
                                     << "編號";
    }
    void refusalCarriesTheDatabaseText()
    {
        QFETCH(int, column);
        QFETCH(QString, value);
        QFETCH(QString, mentions);
        TestShop shop;
        fillTeas(shop, 1);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        c.setField(column, value);
        try {
            c.updateBatch();
            QFAIL("the database took a value it must refuse");
        } catch (const DataError& e) {
            QVERIFY2(e.description().contains(mentions), qPrintable(e.description()));
        }
        QCOMPARE(shop.rows(QStringLiteral("SELECT 編號, 進價 FROM 茶葉資料表")),
                 QList<QVariantList>({{QStringLiteral("T01"), 100.0}}));
    }

    void updateBatchStoresEveryPendingRow()
    {
        TestShop shop;
        fillTeas(shop, 3);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        c.setField(1, QStringLiteral("一"));
        QSignalSpy errors(&c, &DataControl::error);
        c.addNew();
        c.setField(0, QStringLiteral("T09"));
        c.updateBatch();
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 名稱 FROM 茶葉資料表 WHERE 編號='T01'")).toString(),
                 QStringLiteral("一"));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 庫存 FROM 茶葉資料表 WHERE 編號='T09'")).toDouble(), 0.0);
        QCOMPARE(errors.size(), 0);
    }

    void rowDeletedElsewhereIsReportedNotIgnored()
    {
        TestShop shop;
        fillTeas(shop, 1);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        shop.exec(QStringLiteral("DELETE FROM 茶葉資料表"));
        c.setField(1, QStringLiteral("新名"));
        QVERIFY_THROWS_EXCEPTION(DataError, c.update());
    }

    void tableWithoutKeyIsReadOnly()
    {
        TestShop shop;
        DataControl c(shop.db());
        c.setRecordSource(schema::PasswordTable);
        c.refresh();
        const QVariant stored = c.field(0);
        c.setField(0, QStringLiteral("changed"));
        QVERIFY_THROWS_EXCEPTION(DataError, c.update());
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), stored);
    }

    void boundValuesNeverBecomeSql()
    {
        TestShop shop;
        fillTeas(shop, 2);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::OneTea, {QStringLiteral("T01' OR '1'='1")});
        c.refresh();
        QCOMPARE(c.recordCount(), 0);
        c.setRecordSource(schema::sources::OneTea, {QStringLiteral("T02")});
        c.refresh();
        QCOMPARE(c.field(1).toString(), QStringLiteral("茶2"));
    }

    void gridAndBoxesFollowTheControl()
    {
        TestShop shop;
        fillTeas(shop, 5);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        DataGrid grid;
        grid.setDataControl(&c);
        BoundTextBox name;
        name.bind(&c, schema::tea::Name);
        grid.resize(400, 300);
        grid.show();
        QCOMPARE(grid.model()->rowCount(), 5);
        QCOMPARE(grid.model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("進價"));
        QCOMPARE(grid.model()->index(1, 3).data().toString(), QStringLiteral("300"));
        QCOMPARE(name.text(), QStringLiteral("茶1"));

        QSignalSpy moved(&grid, &DataGrid::rowColChange);
        grid.selectRow(3);
        QCOMPARE(c.absolutePosition(), 4);
        QCOMPARE(name.text(), QStringLiteral("茶4"));
        QCOMPARE(moved.size(), 1);

        c.moveFirst(); // a move by code moves the grid without a notification
        QCOMPARE(grid.currentDataRow(), 0);
        QCOMPARE(moved.size(), 1);

        // Typing goes into the row as a pending change and is stored on a move.
        name.setFocus();
        name.selectAll();
        QTest::keyClicks(&name, QStringLiteral("Oolong"));
        QVERIFY(c.hasPending());
        QCOMPARE(name.text(), QStringLiteral("Oolong"));
        grid.selectRow(1);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 名稱 FROM 茶葉資料表 WHERE 編號='T01'")).toString(),
                 QStringLiteral("Oolong"));
        QCOMPARE(name.text(), QStringLiteral("茶2"));
    }

    void copiedRowsAreTheStoredOnes()
    {
        TestShop shop;
        fillTeas(shop, 3);
        DataControl editor(shop.db());
        editor.setRecordSource(schema::sources::TeaCatalogue);
        editor.refresh();
        editor.setField(1, QStringLiteral("已存"));
        editor.addNew(); // stores the change above
        editor.setField(0, QStringLiteral("T99"));
        editor.cancelUpdate(); // drops the new row only
        editor.moveFirst();
        editor.setField(1, QStringLiteral("又改"));

        DataControl grid(shop.db());
        grid.copyRowsFrom(editor);
        QCOMPARE(grid.recordCount(), 3);
        QCOMPARE(grid.absolutePosition(), 1);
        QCOMPARE(grid.field(1).toString(), QStringLiteral("已存")); // as stored, not as typed since
        QVERIFY(!grid.hasPending());
        // The copy is writable on its own, through the same key.
        grid.setField(1, QStringLiteral("格子改"));
        grid.update();
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 名稱 FROM 茶葉資料表 WHERE 編號='T01'")).toString(),
                 QStringLiteral("格子改"));
        QCOMPARE(editor.field(1).toString(), QStringLiteral("又改"));
    }

    // A paged source holds only what was read, yet counts and places every
    // row of the table as a whole read would.
    void pagedSourceKeepsPositionsAndCounts()
    {
        TestShop shop;
        fillManyTeas(shop, 150);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        QVERIFY(c.rowCount() < 150);
        QCOMPARE(c.recordCount(), 150);
        QCOMPARE(c.findRow(0, QStringLiteral("P140")), -1); // not read yet
        c.setAbsolutePosition(120);
        QCOMPARE(currentNumber(c), QStringLiteral("P120"));
        QCOMPARE(c.absolutePosition(), 120);

        c.refresh();
        c.addNew(); // a new row stands after every row of the table
        QCOMPARE(c.absolutePosition(), 151);
        QCOMPARE(c.recordCount(), 151);
        c.setField(0, QStringLiteral("P000"));
        c.update();
        c.setAbsolutePosition(100);
        QCOMPARE(currentNumber(c), QStringLiteral("P100"));
        // The stored row lies among the rows read since, and is listed once.
        c.moveLast();
        QCOMPARE(currentNumber(c), QStringLiteral("P000"));
        QCOMPARE(c.rowCount(), 151);
        QCOMPARE(c.absolutePosition(), 151);

        // Deleting the last row held goes on to the next row of the table.
        c.refresh();
        const int held = c.rowCount();
        c.moveToRow(held - 1);
        const QString last = currentNumber(c);
        c.deleteCurrent();
        c.moveNext();
        QVERIFY(!c.eof());
        QVERIFY(currentNumber(c) > last);
        QCOMPARE(c.recordCount(), 150);

        // Renumbering a tea into the part not read yet lists it once.
        c.refresh();
        c.setField(0, QStringLiteral("P999"));
        c.update();
        QCOMPARE(c.recordCount(), 150);
        c.moveLast();
        QCOMPARE(c.rowCount(), 150);
        QCOMPARE(c.findRow(0, QStringLiteral("P999")), 0);
    }

    void seekAndRereadByKey()
    {
        TestShop shop;
        fillManyTeas(shop, 150);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        c.refresh();
        const int row = c.seekKey(QStringLiteral("P140"));
        QVERIFY(row >= 0);
        QCOMPARE(c.value(row, 0).toString(), QStringLiteral("P140"));
        QCOMPARE(c.seekKey(QStringLiteral("P9")), -1);
        c.moveToRow(1);

        // Only the rows asked for are read back; the position stays.
        shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 庫存 = 77 WHERE 編號 IN ('P002', 'P003')"));
        shop.exec(QStringLiteral("DELETE FROM 茶葉資料表 WHERE 編號 = 'P001'"));
        c.refreshRows({QStringLiteral("P002"), QStringLiteral("P001")});
        QCOMPARE(currentNumber(c), QStringLiteral("P002"));
        QCOMPARE(c.field(4).toDouble(), 77.0);
        QCOMPARE(c.value(1, 4).toDouble(), 3.0); // P003, not asked for
        QCOMPARE(c.findRow(0, QStringLiteral("P001")), -1);
        QCOMPARE(c.absolutePosition(), 1);
    }

    // Every change of the rows reaches a grid's views as Qt's model contract
    // asks; the tester fails the test on any breach.
    void gridModelKeepsQtsContract()
    {
        TestShop shop;
        fillManyTeas(shop, 150);
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("P100"), 1); // not the tea deleted below: an open order keeps its tea
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        DataGrid grid;
        grid.setDataControl(&c);
        QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.resize(400, 300);
        grid.show();
        c.refresh();
        // The tester itself reads on whenever it checks the model.
        while (grid.model()->canFetchMore({}))
            grid.model()->fetchMore({});
        QCOMPARE(grid.model()->rowCount(), 150);
        c.addNew();
        c.setField(0, QStringLiteral("P500"));
        c.update();
        c.moveFirst();
        c.deleteCurrent();
        c.moveNext();
        c.refreshRows({QStringLiteral("P002")});
        c.reread();
        c.setRecordSource(schema::sources::LinesOfOrder, {order});
        c.refresh();
        QCOMPARE(grid.model()->rowCount(), 1);
        QCOMPARE(grid.model()->columnCount(), 4);
    }

    // A key far past the rows read opens the list at it, under Qt's model
    // contract; with a change pending the list keeps its rows and reads back
    // to a key before them instead.
    void aFarKeyOpensTheListAtIt()
    {
        TestShop shop;
        fillManyTeas(shop, 1200);
        DataControl c(shop.db());
        c.setRecordSource(schema::sources::TeaCatalogue);
        DataGrid grid;
        grid.setDataControl(&c);
        c.refresh();
        const int row = c.seekKey(QStringLiteral("P999")); // the last, in the order of the numbers as text
        QVERIFY(row >= 0);
        QVERIFY2(c.rowCount() < 200, qPrintable(QString::number(c.rowCount())));
        // Made only now: it reads every row it can when it looks.
        QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        c.moveToRow(row);
        QCOMPARE(c.absolutePosition(), 1200);
        QCOMPARE(c.recordCount(), 1200);

        c.setField(1, QStringLiteral("改名"));
        QVERIFY(c.seekKey(QStringLiteral("P001")) >= 0);
        QCOMPARE(currentNumber(c), QStringLiteral("P999"));
        QCOMPARE(c.field(1).toString(), QStringLiteral("改名"));
        QCOMPARE(c.absolutePosition(), 1200);
        QCOMPARE(grid.model()->rowCount(), c.rowCount());
        c.moveFirst(); // stores the change
        QCOMPARE(shop.db().scalar(QStringLiteral("SELECT 名稱 FROM 茶葉資料表 WHERE 編號 = 'P999'")).toString(),
                 QStringLiteral("改名"));
    }

    void selectOnEntryDeletesTheSelectionThenSelectsAll()
    {
        QLineEdit box;
        box.setText(QStringLiteral("123"));
        box.deselect();
        selectOnEntry(&box);
        QCOMPARE(box.selectedText(), QStringLiteral("123"));
        selectOnEntry(&box); // all of it still selected: it is emptied
        QCOMPARE(box.text(), QString());
    }
};

QTEST_MAIN(DataControlTest)
#include "tst_datacontrol.moc"
