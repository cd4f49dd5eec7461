// Importing the old program's tables into a new shop file: real Jet 4 files of the
// shop through the reader process, and rows built here as the reader would send them.
#include "base/Numbers.h"
#include "books/Audit.h"
#include "books/Password.h"
#include "books/Shop.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "support/Outside.h"
#include "upkeep/LegacyFixtures.h"
#include "upkeep/LegacyImport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::legacy;
using namespace lumaro::test;

namespace {

QList<QVariantList> rows(Database& db, const QString& sql)
{
    QSqlQuery q = db.exec(sql);
    QList<QVariantList> out;
    while (q.next()) {
        QVariantList r;
        // NULL comes back typed after the column; compare it as plain NULL.
        for (int i = 0; i < q.record().count(); ++i)
            r << (q.isNull(i) ? QVariant() : q.value(i));
        out << r;
    }
    return out;
}

// A stored value as the expected rows write it: numbers as their shortest
// decimal, dates as an ISO timestamp.
QString asWritten(const QVariant& v, bool isDate)
{
    if (isDate) {
        const QString s = v.toString();
        return s.size() == 10 ? s + QStringLiteral("T00:00:00")
                              : QString(s).replace(QLatin1Char(' '), QLatin1Char('T'));
    }
    return v.typeId() == QMetaType::Double ? formatNumber(v.toDouble()) : v.toString();
}

} // namespace

class TestLegacyImport : public QObject {
    Q_OBJECT
private slots:
    void importsTheShopTablesByPosition()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("teadata.db"));
        QList<int> percents;
        const LegacyImportSummary s =
            importLegacyShop(legacyShop(), target, [&](int p, const QString&) { percents << p; });
        QCOMPARE(s.teas, 3);
        QCOMPARE(s.orders, 3);
        QCOMPARE(s.lines, 3);
        QCOMPARE(s.password, QStringLiteral("茶香"));
        QVERIFY(s.warnings.isEmpty());
        QVERIFY(!percents.isEmpty() && percents.last() == 100);
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        // Only the shop file is left, no temporary or log files beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("teadata.db")});

        auto db = openShop(target);
        const QList<QVariantList> teas = rows(*db, QStringLiteral("SELECT * FROM 茶葉資料表 ORDER BY 編號"));
        QCOMPARE(teas.size(), 3);
        QCOMPARE(teas[0], (QVariantList{QStringLiteral("A'01"), QStringLiteral("凍頂烏龍"), 1234.56, 1500.0, 12.5}));
        QCOMPARE(teas[1][0].toString(), QStringLiteral("B\"02"));
        for (int col = 1; col <= 4; ++col)
            QVERIFY2(teas[1][col].isNull(), qPrintable(QString::number(col)));
        QCOMPARE(teas[2][2].toDouble(), 0.1); // money keeps its decimals: 0.1, not 0.1000000001
        QCOMPARE(teas[2][4].toDouble(), -2.0);

        const QList<QVariantList> orders = rows(*db, QStringLiteral("SELECT * FROM 訂單資料表 ORDER BY 訂單編號"));
        QCOMPARE(orders.size(), 3);
        QCOMPARE(orders[0], (QVariantList{3, QStringLiteral("林"), QVariant(), QStringLiteral("line: lin"), 2}));
        QCOMPARE(orders[1], (QVariantList{7, QStringLiteral("王小明"), QStringLiteral("2024-03-05"),
                                          QStringLiteral("0912-345-678"), 1}));
        QCOMPARE(orders[2][2].toString(), QStringLiteral("2024-12-31 15:30:00"));
        // New orders continue after the highest number kept.
        QCOMPARE(db->scalar(QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱) VALUES ('新客人') RETURNING 訂單編號"))
                     .toInt(),
                 43);

        const QList<QVariantList> lines = rows(*db, QStringLiteral("SELECT * FROM 訂單明細表 ORDER BY 明細編號"));
        QCOMPARE(lines, (QList<QVariantList>{{7, QStringLiteral("A'01"), 3, 1},
                                             {42, QStringLiteral("C03"), 2, 2},
                                             {99, QStringLiteral("ZZ"), QVariant(), 3}}));
        QCOMPARE(rows(*db, QStringLiteral("SELECT 現金, 銀行 FROM 帳款資料表")),
                 (QList<QVariantList>{{1000.5, 2500.25}}));
        // The books open on what was imported.
        QCOMPARE(rows(*db, QStringLiteral(
                               "SELECT 現金變動, 銀行變動 FROM 帳務日誌表 WHERE 種類 = '期初' AND 茶葉編號 IS NULL")),
                 (QList<QVariantList>{{1000.5, 2500.25}}));
        QVERIFY(checkShop(*db).books.isEmpty());
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("茶香")));
        QVERIFY(!passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("茶")));
    }

    // Every row of the two shop files arrives as it was written: line numbers with
    // their gap, dates with their time of day, Single prices without float noise.
    void importsTheShopFilesAsWritten_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("double prices") << QStringLiteral("teadata-jet4.mdb");
        QTest::newRow("single prices") << QStringLiteral("teadata-single.mdb");
    }

    void importsTheShopFilesAsWritten()
    {
        QFETCH(QString, file);
        const QString source = QStringLiteral(LUMARO_TEST_DATA_DIR "/") + file;
        QFile expectedFile(source + QStringLiteral(".expected.jsonl"));
        QVERIFY(expectedFile.open(QIODevice::ReadOnly));
        QMap<QString, QList<QStringList>> expected;
        QString password;
        for (const QByteArray& line : expectedFile.readAll().split('\n')) {
            if (line.trimmed().isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.contains(QStringLiteral("deleted"))) {
                QList<QStringList>& rows = expected[o[QStringLiteral("deleted")].toString()];
                const int at = o[QStringLiteral("position")].toInt();
                rows.removeIf([&](const QStringList& r) { return r[at] == o[QStringLiteral("key")].toString(); });
                continue;
            }
            QStringList row;
            for (const QJsonValue& x : o[QStringLiteral("row")].toArray())
                row << x.toString();
            if (o[QStringLiteral("table")].toString() == QStringLiteral("密碼表"))
                password = row[0];
            else
                expected[o[QStringLiteral("table")].toString()] << row;
        }
        QCOMPARE(expected.value(QStringLiteral("訂單明細表")).size(), 27);

        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("teadata.db"));
        LegacyImportOptions options;
        options.readerPath = QStringLiteral(LUMARO_MDBREADER);
        const LegacyImportSummary s = importLegacyFile(source, target, options);
        QVERIFY2(s.warnings.isEmpty(), qPrintable(s.warnings.join(QLatin1Char('\n'))));
        QCOMPARE(s.password, password);

        auto db = openShop(target);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QList<QStringList> stored;
            for (const QVariantList& r : rows(*db, QStringLiteral("SELECT * FROM %1").arg(it.key()))) {
                QStringList row;
                for (int i = 0; i < r.size(); ++i)
                    row << asWritten(r[i], it.key() == QStringLiteral("訂單資料表") && i == 2);
                stored << row;
            }
            QList<QStringList> want = it.value();
            std::sort(stored.begin(), stored.end());
            std::sort(want.begin(), want.end());
            QCOMPARE(stored, want);
        }
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), password));
        // New lines and orders are numbered after the highest kept.
        QCOMPARE(db->scalar(QStringLiteral("INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量) VALUES (9, 'A001', 1) "
                                           "RETURNING 明細編號"))
                     .toInt(),
                 29);
        QCOMPARE(db->scalar(QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱) VALUES ('新客人') RETURNING 訂單編號"))
                     .toInt(),
                 11);
    }

    void textColumnsAreReadStrictly()
    {
        // Copies of the old file where a price or a date was kept as text.
        JetContents c = legacyShop();
        Table& teas = table(c, "茶葉資料表");
        teas.columns[3].type = JetText;
        teas.rows[0][3] = v(" 88.5 ");
        teas.rows[2][3] = v("");
        Table& orders = table(c, "訂單資料表");
        orders.columns[2].type = JetText;
        orders.rows[0][2] = v("2023/7/9");
        orders.rows[1][2] = v("2023-12-01 08:00");
        orders.rows[2][4] = null;
        table(c, "訂單明細表").rows[0][3] = null; // numbered after the highest kept
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("teadata.db"));
        const LegacyImportSummary s = importLegacyShop(c, target);
        QCOMPARE(s.warnings.size(), 1); // the order without a status
        QVERIFY(s.warnings[0].contains(QStringLiteral("訂單 3")));
        auto db = openShop(target);
        QCOMPARE(rows(*db, QStringLiteral("SELECT 訂價 FROM 茶葉資料表 ORDER BY 編號")),
                 (QList<QVariantList>{{88.5}, {QVariant()}, {QVariant()}}));
        QCOMPARE(rows(*db, QStringLiteral("SELECT 訂購日期, 訂單狀態 FROM 訂單資料表 ORDER BY 訂單編號")),
                 (QList<QVariantList>{{QVariant(), 0},
                                      {QStringLiteral("2023-07-09"), 1},
                                      {QStringLiteral("2023-12-01 08:00:00"), 0}}));
        QCOMPARE(rows(*db, QStringLiteral("SELECT 明細編號 FROM 訂單明細表 ORDER BY 訂單編號")),
                 (QList<QVariantList>{{4}, {2}, {3}}));
    }

    void emptyAccountAndPasswordTablesAreWarnedAbout()
    {
        JetContents c = legacyShop();
        table(c, "帳款資料表").rows.clear();
        table(c, "密碼表").rows.clear();
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("teadata.db"));
        const LegacyImportSummary s = importLegacyShop(c, target);
        QCOMPARE(s.warnings.size(), 2);
        QCOMPARE(s.password, QString());
        auto db = openShop(target);
        QCOMPARE(rows(*db, QStringLiteral("SELECT 現金, 銀行 FROM 帳款資料表")), (QList<QVariantList>{{0.0, 0.0}}));
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QString()));
    }

    void valuesThatDoNotFitStopTheImport_data()
    {
        QTest::addColumn<QString>("case_");
        QTest::addColumn<QStringList>("expect");
        auto row = [](const char* name, std::initializer_list<const char*> expect) {
            QTest::newRow(name) << QString::fromUtf8(name) << texts(expect);
        };
        row("text in a price", {"茶葉資料表", "第 2 列", "進價", "abc", "不是數字"});
        row("date in a price", {"茶葉資料表", "第 1 列", "訂價", "不是數字"});
        row("duplicate tea number", {"茶葉資料表", "第 3 列", "編號", "第 1 列"});
        row("empty tea number", {"茶葉資料表", "第 2 列", "編號", "空的"});
        row("fractional order number", {"訂單資料表", "第 1 列", "訂單編號", "不是整數"});
        row("order without number", {"訂單資料表", "第 3 列", "訂單編號"});
        row("duplicate order number", {"訂單資料表", "第 2 列", "訂單編號", "重複"});
        row("duplicate line number", {"訂單明細表", "第 3 列", "明細編號", "第 1 列"});
        row("date that is no date", {"訂單資料表", "第 2 列", "訂購日期", "2024-02-30", "不是日期"});
        row("binary quantity", {"訂單明細表", "第 1 列", "數量", "OLE"});
        row("badly decoded name", {"茶葉資料表", "第 1 列", "名稱", "--charset"});
        row("text in cash", {"帳款資料表", "第 1 列", "現金", "不是數字"});
        row("cash past a trillion", {"帳款資料表", "第 1 列", "現金", "1e13", "超出可以記帳的範圍"});
        row("missing table", {"密碼表", "缺少"});
        row("too few columns", {"訂單明細表", "2 個欄位", "3 個"});
    }

    void valuesThatDoNotFitStopTheImport()
    {
        QFETCH(QString, case_);
        QFETCH(QStringList, expect);
        JetContents c = legacyShop();
        Table& teas = table(c, "茶葉資料表");
        Table& orders = table(c, "訂單資料表");
        Table& lines = table(c, "訂單明細表");
        if (case_ == QLatin1String("text in a price")) {
            teas.columns[2].type = JetText;
            teas.rows[1][2] = v("abc");
        } else if (case_ == QLatin1String("date in a price")) {
            teas.columns[3].type = JetDateTime;
        } else if (case_ == QLatin1String("duplicate tea number")) {
            teas.rows[2][0] = v("A'01");
        } else if (case_ == QLatin1String("empty tea number")) {
            teas.rows[1][0] = null;
        } else if (case_ == QLatin1String("fractional order number")) {
            orders.columns[0].type = JetDouble;
            orders.rows[0][0] = v("7.5");
        } else if (case_ == QLatin1String("order without number")) {
            orders.rows[2][0] = null;
        } else if (case_ == QLatin1String("duplicate line number")) {
            lines.rows[2][3] = v("1");
        } else if (case_ == QLatin1String("duplicate order number")) {
            orders.rows[1][0] = v("7");
        } else if (case_ == QLatin1String("date that is no date")) {
            orders.columns[2].type = JetText;
            orders.rows[1][2] = v("2024-02-30");
        } else if (case_ == QLatin1String("binary quantity")) {
            lines.columns[2].type = JetOle;
        } else if (case_ == QLatin1String("badly decoded name")) {
            teas.rows[0][1] = v("\xaf\xf9\xaf");
        } else if (case_ == QLatin1String("text in cash")) {
            table(c, "帳款資料表").columns[1].type = JetText;
            table(c, "帳款資料表").rows[0][1] = v("一千");
        } else if (case_ == QLatin1String("cash past a trillion")) {
            table(c, "帳款資料表").rows[0][1] = v("1e13");
        } else if (case_ == QLatin1String("missing table")) {
            c.tables.pop_back();
        } else if (case_ == QLatin1String("too few columns")) {
            lines.columns.resize(2);
            for (auto& r : lines.rows)
                r.resize(2);
        }

        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("teadata.db"));
        try {
            importLegacyShop(c, target);
            QFAIL("the import went through");
        } catch (const DataError& e) {
            for (const QString& part : expect)
                QVERIFY2(e.description().contains(part), qPrintable(e.description() + QStringLiteral(" / ") + part));
        }
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    void anExistingTargetIsLeftAlone()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("teadata.db"));
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("mine");
        f.close();
        QVERIFY_THROWS_EXCEPTION(DataError, importLegacyShop(legacyShop(), target));
        QVERIFY_THROWS_EXCEPTION(DataError, importLegacyFile(QStringLiteral("/nonexistent.mdb"), target));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("mine"));
    }

    // Through the reader process: a Jet file without the shop's tables, and a damaged
    // one, each stop with a message and leave nothing behind.
    void realFilesThatAreNotAShopWriteNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expect");
        QFile f(QStringLiteral(LUMARO_TEST_DATA_DIR "/jet4-unicode.mdb"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray jet4 = f.readAll();
        QTest::newRow("other jet file") << jet4 << QStringLiteral("缺少資料表");
        QTest::newRow("truncated") << jet4.left(jet4.size() / 2 + 100) << QStringLiteral("損壞");
        QByteArray flipped = jet4;
        for (int i = 0; i < 4096; ++i)
            flipped[4096 + i] = char(~flipped[4096 + i]);
        QTest::newRow("flipped") << flipped << QStringLiteral("損壞");
    }

    void realFilesThatAreNotAShopWriteNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expect);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("teadata.mdb"));
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        LegacyImportOptions options;
        options.readerPath = QStringLiteral(LUMARO_MDBREADER);
        try {
            importLegacyFile(source, dir.filePath(QStringLiteral("teadata.db")), options);
            QFAIL("the import went through");
        } catch (const DataError& e) {
            QVERIFY2(e.description().contains(expect), qPrintable(e.description()));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("teadata.mdb")});
    }
};

QTEST_GUILESS_MAIN(TestLegacyImport)
#include "tst_legacyimport.moc"
