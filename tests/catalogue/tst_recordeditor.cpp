#include "catalogue/RecordEditor.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QApplication>
#include <QDate>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// The order list as the order screen opens it: integer keys and defaults the
// database fills in, unlike the tea catalogue.
struct OrderList {
    OrderList()
    {
        shop.order(QStringLiteral("王"), QStringLiteral("0912"));
        shop.order(QStringLiteral("已結帳"), QString(), 1);
        shop.order(QStringLiteral("陳"), QStringLiteral("台北"));
        list.setRecordSource(schema::sources::OpenOrders);
        RecordEditor::reportDataErrors(&list);
        RecordEditor::open(list);
    }

    // The description the database gives when a status is set to text.
    QString statusRefusal()
    {
        try {
            shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂單狀態 = ?"), {QStringLiteral("未結")});
        } catch (const DataError& e) {
            // The control names the column and value, then the database's own text.
            return QStringLiteral("訂單狀態 必須是整數，「未結」不是。\r（") + e.original() + QStringLiteral("）");
        }
        return QString();
    }
    // Any write so far: SQLite counts them; on PostgreSQL every written row
    // gets a new version, so the versions of all rows tell.
    QVariant changesSoFar()
    {
        if (shop.db().isSQLite())
            return shop.scalar(QStringLiteral("SELECT total_changes()"));
        QStringList parts;
        for (const char* t : {"茶葉資料表", "訂單資料表", "訂單明細表", "帳款資料表", "密碼表"})
            parts << QStringLiteral("COALESCE((SELECT string_agg(xmin::text || ctid::text, ',') FROM %1), '')")
                         .arg(QString::fromUtf8(t));
        return shop.scalar(QStringLiteral("SELECT ") + parts.join(QStringLiteral(" || '|' || ")));
    }

    TestShop shop;
    PromptScope prompts;
    DataControl list{shop.db()};
};

QStringList texts(const ScriptedPrompts& p)
{
    QStringList out;
    for (const auto& m : p.messages())
        out << m.text;
    return out;
}

} // namespace

class RecordEditorTest : public QObject {
    Q_OBJECT
private slots:
    void guardStopsAtFirstFailure();
    void addThenSaveGetsDatabaseValues();
    void saveWithNothingChangedWritesNothing();
    void deletingUnsavedRowTouchesNoTable();
    void controlErrorsCarryTheirPrefix();
};

void RecordEditorTest::guardStopsAtFirstFailure()
{
    OrderList o;
    DataControl empty(o.shop.db());
    empty.setRecordSource(schema::sources::LinesOfOrder, {0});
    RecordEditor::open(empty);
    QStringList ran;
    RecordEditor::guard([&] {
        RecordEditor::add(o.list);
        o.list.setField(schema::order::Customer, QStringLiteral("林"));
        RecordEditor::save(o.list);
        ran << QStringLiteral("saved");
        empty.moveLast();
        ran << QStringLiteral("after the failure");
    });
    QCOMPARE(ran, texts({"saved"}));
    // The description alone, under the program's title, OK only.
    QCOMPARE(o.prompts->messages().size(), 1);
    QCOMPARE(o.prompts->messages()[0].text, DataControl::noCurrentRowText());
    QCOMPARE(o.prompts->messages()[0].title, QStringLiteral("Lumaro"));
    QCOMPARE(o.prompts->messages()[0].buttons, Buttons::Ok);
    // What succeeded before the failure stays.
    QCOMPARE(o.shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 客戶名稱 = '林'")).toInt(), 1);

    o.prompts->clear();
    RecordEditor::guard([&] { RecordEditor::refresh(o.list); });
    QVERIFY(o.prompts->messages().isEmpty());
}

void RecordEditorTest::addThenSaveGetsDatabaseValues()
{
    OrderList o;
    RecordEditor::add(o.list);
    QCOMPARE(o.list.recordCount(), 3);
    QCOMPARE(o.list.currentRow(), 2);
    for (int c = 0; c < o.list.columnCount(); ++c)
        QVERIFY(o.list.field(c).isNull());
    QCOMPARE(o.shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表")).toInt(), 3);

    o.list.setField(schema::order::Customer, QStringLiteral("張'先生"));
    o.list.setField(schema::order::Contact, QStringLiteral("02-1234"));
    RecordEditor::save(o.list);
    // The new order's number, date and status are the database's, and the
    // current row holds them at once: the order lines need the number.
    const qlonglong number = o.list.field(0).toLongLong();
    const auto rows =
        o.shop.rows(QStringLiteral("SELECT 客戶名稱, 連絡方式, 訂單狀態, 訂購日期 FROM 訂單資料表 WHERE 訂單編號 = ?"),
                    {number});
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toString(), QStringLiteral("張'先生"));
    QCOMPARE(rows[0][1].toString(), QStringLiteral("02-1234"));
    QCOMPARE(rows[0][2].toInt(), 0);
    QCOMPARE(rows[0][3].toString(), QDate::currentDate().toString(Qt::ISODate));
    QCOMPARE(o.list.field(4).toInt(), 0);
    QVERIFY(o.prompts->messages().isEmpty());
}

void RecordEditorTest::saveWithNothingChangedWritesNothing()
{
    OrderList o;
    const QVariant before = o.changesSoFar();
    o.list.moveNext();
    // Typing the same text back is no change either.
    o.list.setField(schema::order::Customer, QStringLiteral("陳"));
    RecordEditor::guard([&] { RecordEditor::save(o.list); });
    QCOMPARE(o.changesSoFar(), before);
    QVERIFY(o.prompts->messages().isEmpty());
}

void RecordEditorTest::deletingUnsavedRowTouchesNoTable()
{
    OrderList o;
    RecordEditor::add(o.list);
    o.list.setField(schema::order::Customer, QStringLiteral("還沒存"));
    const QVariant before = o.changesSoFar();
    RecordEditor::guard([&] { RecordEditor::remove(o.list); });
    QCOMPARE(o.changesSoFar(), before);
    QCOMPARE(o.list.recordCount(), 2);
    QCOMPARE(o.list.field(schema::order::Customer).toString(), QStringLiteral("陳"));
    QVERIFY(o.prompts->messages().isEmpty());
}

void RecordEditorTest::controlErrorsCarryTheirPrefix()
{
    // A change the database refuses, stored on its own when the row moves.
    OrderList o;
    const QString refusal = o.statusRefusal();
    QVERIFY(!refusal.isEmpty());
    o.list.setField(4, QStringLiteral("未結"));
    o.list.moveNext();
    QCOMPARE(texts(*o.prompts), QStringList{QStringLiteral("Data error event hit err:") + refusal});
    QCOMPARE(o.prompts->messages()[0].title, QStringLiteral("Lumaro"));
    QCOMPARE(o.list.currentRow(), 0);

    // A record source that cannot be read when the screen opens.
    o.prompts->clear();
    DataControl broken(o.shop.db());
    broken.setRecordSource(QStringLiteral("select * from 沒有這個表"));
    RecordEditor::open(broken);
    const QStringList shown = texts(*o.prompts);
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown[0].startsWith(QStringLiteral("Data error event hit err:")));
    QVERIFY(shown[0].contains(QStringLiteral("沒有這個表")));
    QVERIFY(!broken.isOpen());
}

QTEST_MAIN(RecordEditorTest)
#include "tst_recordeditor.moc"
