// The Jet reader, run as its own process on real files: it must return what mdb-export
// prints, keep non-Latin text intact, and turn every damaged file or misbehaving
// reader into one clear sentence.
#include "JetFileReader.h"

#include <QtTest>

using namespace lumaro::legacy;

namespace {

QString dataFile(const char* name) { return QStringLiteral(LUMARO_TEST_DATA_DIR "/") + QLatin1String(name); }

JetFileReader reader()
{
    JetFileReader r(QStringLiteral(LUMARO_MDBREADER));
    r.setStallTimeout(20000);
    return r;
}

const char* const kNull = "<NULL>";

// mdb-export's CSV: quoted fields with doubled quotes, which may hold line breaks.
QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, wasQuoted = false;
    auto endField = [&] {
        // An unquoted marker is NULL; a quoted one would be text.
        row << (!wasQuoted && field == QLatin1String(kNull) ? QStringLiteral("\x01NULL") : field);
        field.clear();
        wasQuoted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = wasQuoted = true;
        } else if (c == u',') {
            endField();
        } else if (c == u'\n') {
            endField();
            rows << row;
            row.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty()) {
        endField();
        rows << row;
    }
    return rows;
}

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString fromValue(const Value& v) { return v ? QString::fromStdString(*v) : QStringLiteral("\x01NULL"); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestJetReader : public QObject {
    Q_OBJECT
private slots:
    void matchesMdbExport_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* f : {"jet3-types.mdb", "jet4-unicode.mdb", "jet3-big5.mdb"})
            QTest::newRow(f) << dataFile(f);
    }

    void matchesMdbExport()
    {
        QFETCH(QString, file);
        const QString mdbTables = QStandardPaths::findExecutable(QStringLiteral("mdb-tables"));
        const QString mdbExport = QStandardPaths::findExecutable(QStringLiteral("mdb-export"));
        if (mdbTables.isEmpty() || mdbExport.isEmpty())
            QSKIP("mdbtools is not installed (scripts/install-deps installs it)");

        const JetReadResult got = reader().read(file);
        QVERIFY2(got.ok, qPrintable(got.error));

        const QStringList names = run(mdbTables, {QStringLiteral("-1"), file}).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(!names.isEmpty());
        QCOMPARE(qsizetype(got.contents.tables.size()), names.size());
        for (qsizetype t = 0; t < names.size(); ++t) {
            const Table& table = got.contents.tables[std::size_t(t)];
            QCOMPARE(QString::fromStdString(table.name), names[t]);
            const QString fmt = QStringLiteral("%Y-%m-%d %H:%M:%S");
            const QList<QStringList> csv =
                parseCsv(run(mdbExport, {QStringLiteral("-T"), fmt, QStringLiteral("-D"), fmt, QStringLiteral("-0"),
                                         QLatin1String(kNull), file, names[t]}));
            QVERIFY(!csv.isEmpty());
            QStringList header;
            for (const Column& c : table.columns)
                header << QString::fromStdString(c.name);
            QCOMPARE(header, csv[0]);
            QCOMPARE(qsizetype(table.rows.size()), csv.size() - 1);
            for (std::size_t r = 0; r < table.rows.size(); ++r) {
                QStringList values;
                for (const Value& v : table.rows[r])
                    values << fromValue(v);
                QCOMPARE(values, csv[qsizetype(r) + 1]);
            }
        }
    }

    void textAndValuesComeOutIntact()
    {
        const JetReadResult jet4 = reader().read(dataFile("jet4-unicode.mdb"), {QStringLiteral("Table")});
        QVERIFY2(jet4.ok, qPrintable(jet4.error));
        QCOMPARE(jet4.contents.jetVersion, 1);
        const Table& u = jet4.contents.tables.at(0);
        QCOMPARE(u.rows.size(), std::size_t(8));
        QCOMPARE(fromValue(u.rows[2][1]), QStringLiteral("Мир"));
        // Written with escapes: the text uses the polytonic accents, which editors like to normalise.
        QCOMPARE(fromValue(u.rows[3][1]),
                 QString::fromUtf16(u"\u03F0\u03B1\u1F76 \u03C4\u1F79\u03C4' \u1F10\u03B3\u1F7C "
                                    u"\u039A\u1F7B\u03F0\u03BB\u03C9\u03C0\u03B1"));
        QCOMPARE(fromValue(u.rows[4][1]), QStringLiteral("漢字仮名交じり文"));

        const JetReadResult big5 = reader().read(dataFile("jet3-big5.mdb"), {QStringLiteral("Table1")});
        QVERIFY2(big5.ok, qPrintable(big5.error));
        QCOMPARE(big5.contents.jetVersion, 0);
        QCOMPARE(big5.contents.codePage, 950);
        const Table& t = big5.contents.tables.at(0);
        QCOMPARE(t.columns[7].type, int(JetMoney));
        QCOMPARE(fromValue(t.rows[1][0]), QStringLiteral("烏龍茶X"));
        QCOMPARE(fromValue(t.rows[1][1]), QStringLiteral("高山茶葉!"));
        QCOMPARE(fromValue(t.rows[1][6]), QStringLiteral("1974-09-21 00:00:00"));
        QCOMPARE(fromValue(t.rows[1][7]), QStringLiteral("3.5000")); // money keeps its four decimals
        QCOMPARE(fromValue(t.rows[1][8]), QStringLiteral("1"));
    }

    void jet3CharsetCanBeOverridden()
    {
        // The Big5 bytes of 烏龍茶X, read as Latin-1, one character per byte.
        const QString latin1 = QString::fromLatin1("\xaf"
                                                   "Q"
                                                   "\xc0"
                                                   "s"
                                                   "\xaf\xf9"
                                                   "X");
        JetFileReader r = reader();
        r.setCharset(QStringLiteral("ISO-8859-1"));
        JetReadResult got = r.read(dataFile("jet3-big5.mdb"), {QStringLiteral("Table1")});
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(fromValue(got.contents.tables[0].rows[1][0]), latin1);

        qputenv("MDB_JET3_CHARSET", "ISO-8859-1");
        got = reader().read(dataFile("jet3-big5.mdb"), {QStringLiteral("Table1")});
        qunsetenv("MDB_JET3_CHARSET");
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(fromValue(got.contents.tables[0].rows[1][0]), latin1);

        r.setCharset(QStringLiteral("NO-SUCH-CHARSET"));
        got = r.read(dataFile("jet3-big5.mdb"));
        QVERIFY(!got.ok);
        QVERIFY2(got.error.contains(QStringLiteral("NO-SUCH-CHARSET")), qPrintable(got.error));
    }

    void missingTablesAreListed()
    {
        const JetReadResult got =
            reader().read(dataFile("jet4-unicode.mdb"), {QStringLiteral("table"), QStringLiteral("茶葉資料表")});
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(got.contents.tables.size(), std::size_t(1));
        QCOMPARE(got.contents.missingTables, std::vector<std::string>{"茶葉資料表"});
    }

    void damagedFilesEndWithAClearMessage_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expect"); // part of the refusal, when it must name the damage
        const QByteArray jet3 = readAll(dataFile("jet3-types.mdb"));
        const QByteArray jet4 = readAll(dataFile("jet4-unicode.mdb"));
        QVERIFY(!jet3.isEmpty() && !jet4.isEmpty());
        QTest::newRow("empty") << "" << QByteArray() << QString();
        QTest::newRow("text file") << "" << QByteArray("編號,名稱\nA01,烏龍\n") << QString();
        QTest::newRow("jet3 cut mid-page") << "jet3" << jet3.left(100000) << QString();
        QTest::newRow("jet3 cut at a page") << "jet3" << jet3.left(50 * 2048) << QString();
        QTest::newRow("jet4 cut at a page") << "jet4" << jet4.left(20 * 4096) << QString();
        QTest::newRow("jet4 first page only") << "jet4" << jet4.left(4096) << QString();
        QByteArray version = jet4;
        version[0x14] = char(0x7F);
        QTest::newRow("unknown jet version") << "jet4" << version << QString();
        QByteArray catalog = jet3;
        catalog.replace(2 * 2048, 2048, QByteArray(2048, char(0xFF)));
        QTest::newRow("jet3 catalog page wiped") << "jet3" << catalog << QString();
        // Table3's properties: a chunk of 30 bytes at 41809 holding values of 9
        // bytes from 41821; Table2's run over pages 45 to 49, each page's row
        // starting with the next one's page and row. libmdb steps by these
        // lengths and links unchecked; the reader refuses them before it does.
        auto patched = [&](int at, const QByteArray& with) { return QByteArray(jet3).replace(at, with.size(), with); };
        const QString properties = QStringLiteral("屬性資料長度不對或頁面相連成環");
        QTest::newRow("jet3 property chunk past its blob") << "jet3" << patched(41811, "\x10") << properties;
        QTest::newRow("jet3 property chunk of length 0") << "jet3" << patched(41809, QByteArray(4, 0)) << properties;
        QTest::newRow("jet3 property value of length 0") << "jet3" << patched(41821, QByteArray(2, 0)) << properties;
        QTest::newRow("jet3 property pages in a ring")
            << "jet3" << patched(98316, QByteArray("\x00\x2e\x00\x00", 4)) << properties;
    }

    void damagedFilesEndWithAClearMessage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expect);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("teadata.mdb"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        const JetReadResult got = reader().read(path);
        QVERIFY(!got.ok);
        QVERIFY2(got.error.contains(QStringLiteral("teadata.mdb")), qPrintable(got.error));
        QVERIFY2(got.error.contains(expect), qPrintable(got.error));
        QVERIFY(got.contents.tables.empty());
    }

    // Flipped bytes may land where nothing is kept; the read must then either succeed
    // or fail cleanly, never hang or take the caller down.
    void flippedBytesNeverTakeTheCallerDown()
    {
        const QByteArray jet3 = readAll(dataFile("jet3-types.mdb"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("flipped.mdb"));
        QRandomGenerator rng(6);
        for (int round = 0; round < 6; ++round) {
            QByteArray bytes = jet3;
            for (int i = 0; i < 40; ++i)
                bytes[rng.bounded(2048, int(bytes.size()))] ^= char(1 + rng.bounded(255));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
            f.close();
            const JetReadResult got = reader().read(path);
            if (!got.ok)
                QVERIFY2(got.error.contains(QStringLiteral("flipped.mdb")), qPrintable(got.error));
        }
    }

    void misbehavingReaderIsContained_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expect");
        QTest::newRow("crash") << "kill -SEGV $$"
                               << "異常結束";
        QTest::newRow("garbage") << "printf 'not a stream at all'"
                                 << "不正確的資料";
        QTest::newRow("silent exit") << "exit 0"
                                     << "沒有完成";
        QTest::newRow("failure code") << "echo oops >&2; exit 3"
                                      << "oops";
        QTest::newRow("hang") << "exec sleep 30"
                              << "沒有進展";
    }

    void misbehavingReaderIsContained()
    {
        QFETCH(QString, script);
        QFETCH(QString, expect);
        QTemporaryDir dir;
        const QString fake = dir.filePath(QStringLiteral("fake-reader"));
        QFile f(fake);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + script.toUtf8() + "\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        JetFileReader r(fake);
        r.setStallTimeout(1000);
        QElapsedTimer clock;
        clock.start();
        const JetReadResult got = r.read(dataFile("jet3-types.mdb"));
        QVERIFY(!got.ok);
        QVERIFY2(got.error.contains(expect), qPrintable(got.error));
        QVERIFY(clock.elapsed() < 10000);
    }
};

QTEST_GUILESS_MAIN(TestJetReader)
#include "tst_jetreader.moc"
