// Awkward text through every path a text box has to the shop: typed into a
// bound box and stored by the data control, read back by a fresh control, and
// bound directly in statements, and values of every kind written into a
// statement on the server as the driver binds them. Runs against the shop file and, in the
// PostgreSQL pass, against the server.
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/InlineValues.h"
#include "data/Schema.h"
#include "forms/BoundTextBox.h"
#include "support/TestShop.h"

#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// Types text the way a keyboard or an input method delivers it: one key event
// per character (a surrogate pair together), so the box's own input handling
// runs for each.
void typeText(QWidget* box, const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        const int n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, n));
        QCoreApplication::sendEvent(box, &press);
        i += n - 1;
    }
}

} // namespace

class TextRoundTrip : public QObject {
    Q_OBJECT

private:
    static void awkwardTexts()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("single quote") << QStringLiteral("O'Brien's 茶");
        QTest::newRow("double quote") << QStringLiteral("\"特級\" 烏龍");
        QTest::newRow("sql comment and semicolon") << QStringLiteral("x'); DROP TABLE 茶葉資料表; --");
        QTest::newRow("percent and underscore") << QStringLiteral("100% 純_茶 %d %s %1");
        QTest::newRow("backslashes") << QStringLiteral("C:\\茶\\new\\n \\' \\\\");
        QTest::newRow("emoji and astral plane") << QStringLiteral("🍵 好茶 👍🏽 𠮷");
        QTest::newRow("question marks") << QStringLiteral("? ?? :name $1");
        QTest::newRow("ten thousand characters") << QString(10000, QChar(0x8336)) + QStringLiteral("end");
    }

private slots:
    void typedIntoBoundBox_data() { awkwardTexts(); }
    void typedIntoBoundBox()
    {
        QFETCH(QString, text);
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("舊名"), 1, 2, 3);

        DataControl control(shop.db());
        control.setRecordSource(schema::sources::TeaCatalogue);
        control.refresh();
        BoundTextBox box;
        box.bind(&control, schema::tea::Name);
        box.setText(QString());
        typeText(&box, text.left(200)); // typing is slow; the rest is pasted
        if (text.size() > 200)
            box.insert(text.mid(200));
        QCOMPARE(box.text(), text);
        control.update();

        QCOMPARE(shop.scalar(QStringLiteral("SELECT 名稱 FROM 茶葉資料表 WHERE 編號 = 'T1'")).toString(), text);
        DataControl fresh(shop.db());
        fresh.setRecordSource(schema::sources::OneTea, {QStringLiteral("T1")});
        fresh.refresh();
        BoundTextBox shown;
        shown.bind(&fresh, schema::tea::Name);
        QCOMPARE(shown.text(), text);
    }

    // A new row whose key and every text column are awkward, and a record
    // source whose bound value is awkward.
    void addedRowAndBoundSource_data() { awkwardTexts(); }
    void addedRowAndBoundSource()
    {
        QFETCH(QString, text);
        TestShop shop;
        DataControl control(shop.db());
        control.setRecordSource(schema::TeaTable);
        control.refresh();
        control.addNew();
        control.setField(schema::tea::Number, text);
        control.setField(schema::tea::Name, text);
        control.setField(schema::tea::Price, QStringLiteral("12.5"));
        control.update();
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt(), 1);

        DataControl one(shop.db());
        one.setRecordSource(schema::sources::OneTea, {text});
        one.refresh();
        QCOMPARE(one.recordCount(), 1);
        QCOMPARE(one.field(schema::tea::Number).toString(), text);
        QCOMPARE(one.field(schema::tea::Name).toString(), text);
        QCOMPARE(one.field(schema::tea::Price).toDouble(), 12.5);

        // Order names and contacts are free text as well.
        const qlonglong order = shop.order(text, text);
        const auto rows =
            shop.rows(QStringLiteral("SELECT 客戶名稱, 連絡方式 FROM 訂單資料表 WHERE 訂單編號 = ?"), {order});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].toString(), text);
        QCOMPARE(rows[0][1].toString(), text);
    }

    // Text in a number column is refused by the database, whichever it is,
    // and the refusal leaves the stored row as it was.
    void textInNumberColumnIsRefused()
    {
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("茶"), 1, 2, 3);
        DataControl control(shop.db());
        control.setRecordSource(schema::sources::TeaCatalogue);
        control.refresh();
        control.setField(schema::tea::Name, QStringLiteral("新名"));
        control.setField(schema::tea::Stock, QStringLiteral("三公斤'; --"));
        QVERIFY_THROWS_EXCEPTION(DataError, control.update());
        const auto rows = shop.rows(QStringLiteral("SELECT 名稱, 庫存 FROM 茶葉資料表"));
        QCOMPARE(rows[0][0].toString(), QStringLiteral("茶"));
        QCOMPARE(rows[0][1].toDouble(), 3.0);
    }

    // Where the values go in a statement sent to the server with its values
    // written in: only the ? that SQL itself would read as a placeholder.
    void placeholders_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("count"); // -1: not read, the statement is prepared instead
        QTest::newRow("plain") << QStringLiteral("SELECT ?, ?") << 2;
        QTest::newRow("strings") << QStringLiteral("SELECT 'it''s ?', ?") << 1;
        QTest::newRow("escaped string") << QStringLiteral("SELECT E'\\' ?', e'?', ?") << 1;
        QTest::newRow("backslash in plain string") << QStringLiteral("SELECT '\\', ?") << -1;
        QTest::newRow("names") << QStringLiteral("SELECT \"a?\"\"b?\", ?") << 1;
        QTest::newRow("line comment") << QStringLiteral("SELECT ? -- why?\n, ?") << 2;
        QTest::newRow("nested block comment") << QStringLiteral("SELECT /* a /* ? */ ? */ ?") << 1;
        QTest::newRow("dollar quotes") << QStringLiteral("SELECT $$ ? $$, $x$ $$ ? $x$, $1, a$b, ?") << 1;
        QTest::newRow("open string") << QStringLiteral("SELECT ?, 'open ?") << -1;
        QTest::newRow("open comment") << QStringLiteral("SELECT ? /* open") << -1;
        QTest::newRow("open dollar quote") << QStringLiteral("SELECT ?, $q$ ?") << -1;
    }
    void placeholders()
    {
        QFETCH(QString, statement);
        QFETCH(int, count);
        const auto at = sql::placeholders(statement);
        QCOMPARE(at ? int(at->size()) : -1, count);
        for (qsizetype i : at.value_or(QList<qsizetype>()))
            QCOMPARE(statement[i], QLatin1Char('?'));
    }

    // A value written into the statement is stored and read back as the
    // same value bound to a prepared statement.
    void writtenValues_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("awkward text") << "text" << QVariant(QStringLiteral("O'Brien \\' ? $$ -- /* 茶 */"));
        QTest::newRow("null text") << "text" << QVariant(QMetaType::fromType<QString>());
        QTest::newRow("default text") << "text" << QVariant(QString());
        QTest::newRow("empty text") << "text" << QVariant(QStringLiteral(""));
        QTest::newRow("double") << "double precision" << QVariant(0.1 + 0.2);
        QTest::newRow("tiny double") << "double precision" << QVariant(-1.2345678901234567e-300);
        QTest::newRow("null double") << "double precision" << QVariant(QMetaType::fromType<double>());
        QTest::newRow("big integer") << "bigint" << QVariant(qlonglong(-9007199254740993LL));
        QTest::newRow("integer into text") << "text" << QVariant(42);
        QTest::newRow("bytes") << "bytea" << QVariant(QByteArray("\0\1'\\?\xff", 6));
        QTest::newRow("boolean") << "boolean" << QVariant(true);
        QTest::newRow("date") << "date" << QVariant(QDate(2024, 2, 29));
    }
    void writtenValues()
    {
        QFETCH(QString, type);
        QFETCH(QVariant, value);
        TestShop shop;
        Database& db = shop.db();
        db.exec(QStringLiteral("CREATE TEMP TABLE v (k integer, x %1)").arg(type));
        db.exec(QStringLiteral("INSERT INTO v VALUES (1, ?)"), {value});
        QSqlQuery prepared = db.prepare(QStringLiteral("INSERT INTO v VALUES (2, ?)"));
        db.run(prepared, {value});
        prepared.finish();
        const auto rows = shop.rows(QStringLiteral("SELECT x, x IS NULL FROM v ORDER BY k"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0], rows[1]);
        const bool null = value.isNull() || value.toString().isNull(); // a null text is bound as NULL
        QCOMPARE(rows[0][1].toBool(), null);
        if (!null) {
            QVariant back = rows[0][0];
            QVERIFY(back.convert(value.metaType()));
            QCOMPARE(back, value);
        }
        // A number takes its type from where it stands, as a bound one does,
        // and a minus sign before it is no comment.
        QCOMPARE(db.scalar(QStringLiteral("SELECT 1 -?"), {-5}).toInt(), 6);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表 WHERE 編號 = ?"), {7}).toInt(), 0);
    }
};

QTEST_MAIN(TextRoundTrip)
#include "tst_text_roundtrip.moc"
