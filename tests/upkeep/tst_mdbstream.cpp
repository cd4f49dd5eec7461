// The record stream between the reader process and the importer: what the writer
// sends comes back unchanged however the pipe cuts it, and anything else is refused
// with a reason instead of being half used.
#include "MdbStream.h"

#include <QtTest>

using namespace lumaro::legacy;
using State = StreamParser::State;

namespace {

std::string encode(const std::function<void(StreamWriter&)>& write)
{
    std::string bytes;
    StreamWriter w([&](const char* d, std::size_t n) {
        bytes.append(d, n);
        return true;
    });
    write(w);
    return bytes;
}

std::string sample()
{
    return encode([](StreamWriter& w) {
        w.header(1, 950);
        w.beginTable("茶葉資料表", {{"編號", JetText, 20}, {"進價", JetMoney, 8}}, 3);
        w.row({std::string("A'01"), std::string("12.5000")});
        w.row({std::string(""), std::nullopt});
        w.row({std::string("x\0y\n\"", 5), std::string("-0.0100")});
        w.endTable(3);
        w.missingTable("密碼表");
        w.finish();
    });
}

std::string u32(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

} // namespace

class TestMdbStream : public QObject {
    Q_OBJECT
private slots:
    void roundTripWholeAndByteByByte()
    {
        const std::string bytes = sample();
        for (std::size_t step : {bytes.size(), std::size_t(1), std::size_t(7)}) {
            StreamParser p;
            std::vector<std::uint64_t> progress;
            p.onProgress = [&](const std::string&, std::uint64_t rows, std::uint64_t count) {
                QCOMPARE(count, std::uint64_t(3));
                progress.push_back(rows);
            };
            for (std::size_t i = 0; i < bytes.size(); i += step)
                QVERIFY(p.feed(bytes.data() + i, std::min(step, bytes.size() - i)));
            QVERIFY2(p.finished(), p.error().c_str());
            const JetContents& c = p.contents();
            QCOMPARE(c.jetVersion, 1);
            QCOMPARE(c.codePage, 950);
            QCOMPARE(c.tables.size(), std::size_t(1));
            const Table& t = c.tables[0];
            QCOMPARE(t.name, std::string("茶葉資料表"));
            QCOMPARE(t.columns[1].name, std::string("進價"));
            QCOMPARE(t.columns[1].type, int(JetMoney));
            QCOMPARE(t.rows.size(), std::size_t(3));
            QCOMPARE(t.rows[0][0], Value("A'01"));
            QCOMPARE(t.rows[1][0], Value("")); // empty text stays apart from NULL
            QVERIFY(!t.rows[1][1].has_value());
            QCOMPARE(t.rows[2][0], Value(std::string("x\0y\n\"", 5)));
            QCOMPARE(c.missingTables, std::vector<std::string>{"密碼表"});
            QCOMPARE(progress, (std::vector<std::uint64_t>{0, 1, 2, 3}));
        }
    }

    void refusesMalformedStreams_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("state");
        const std::string good = sample();
        const std::string header = encode([](StreamWriter& w) { w.header(0, 1252); });
        const std::string table = encode([](StreamWriter& w) { w.beginTable("T", {{"a", JetLong, 4}}, 1); });
        auto row = [](std::vector<Value> v) { return encode([&](StreamWriter& w) { w.row(v); }); };
        auto end = [](int n) { return encode([&](StreamWriter& w) { w.endTable(n); }); };
        const std::string finish = encode([](StreamWriter& w) { w.finish(); });
        auto add = [](const char* name, const std::string& b, State s) {
            QTest::newRow(name) << QByteArray(b.data(), qsizetype(b.size())) << int(s);
        };
        add("garbage", "hello, world", State::Malformed);
        add("no header", table + row({"1"}) + end(1) + finish, State::Malformed);
        add("wrong magic", encode([](StreamWriter& w) { w.failure("x"); }).replace(0, 1, "H"), State::Malformed);
        add("row outside table", header + row({"1"}), State::Malformed);
        add("row too wide", header + table + row({"1", "2"}), State::Malformed);
        add("end count differs", header + table + row({"1"}) + end(2), State::Malformed);
        add("finish inside table", header + table + finish, State::Malformed);
        add("bytes after finish", good + "Z", State::Malformed);
        add("field longer than limit", header + "R" + u32(1) + u32(0x7FFFFFFF), State::Malformed);
        add("too many fields", header + "T" + u32(100000), State::Malformed);
        add("count not a number", header + encode([](StreamWriter& w) {
                                      w.beginTable("T", {}, 0);
                                  }) + encode([](StreamWriter& w) { w.row({}); }).replace(0, 1, "E"),
            State::Malformed);
        add("reader gave up", header + table + encode([](StreamWriter& w) { w.failure("壞了"); }), State::ReaderFailed);
        add("cut short", good.substr(0, good.size() - 3), State::Reading);
        add("empty", "", State::Reading);
    }

    void refusesMalformedStreams()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, state);
        StreamParser p;
        p.feed(bytes.constData(), std::size_t(bytes.size()));
        QCOMPARE(int(p.state()), state);
        if (p.state() != State::Reading)
            QVERIFY(!p.error().empty());
        QVERIFY(!p.finished());
    }

    void readerMessageIsKept()
    {
        const std::string b = encode([](StreamWriter& w) { w.failure("不是 Jet 資料庫檔"); });
        StreamParser p;
        QVERIFY(!p.feed(b));
        QCOMPARE(p.error(), std::string("不是 Jet 資料庫檔"));
    }

    void totalLimitStopsARunawayReader()
    {
        StreamParser::Limits limits;
        limits.maxTotal = 1000;
        StreamParser p(limits);
        const std::string start = encode([](StreamWriter& w) {
            w.header(0, 1252);
            w.beginTable("T", {{"memo", JetMemo, 0}}, 1);
        });
        QVERIFY(p.feed(start + "R" + u32(1) + u32(5000)));
        const std::string chunk(600, 'x');
        QVERIFY(p.feed(chunk));
        p.feed(chunk);
        QCOMPARE(p.state(), State::Malformed);
    }
};

QTEST_GUILESS_MAIN(TestMdbStream)
#include "tst_mdbstream.moc"
