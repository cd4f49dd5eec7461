// A legacy shop as the Jet reader would send it, and a stand-in reader process that
// sends it, for the tests of everything after the reader.
#pragma once

#include "MdbStream.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace lumaro::test {

using namespace lumaro::legacy;

inline Value v(const char* s) { return std::string(s); }
inline const Value null = std::nullopt;

// A legacy file as the reader returns it: the five tables, column names and types as
// the old program's copies have them (the import goes by position, not by name).
inline JetContents legacyShop()
{
    JetContents c;
    c.jetVersion = 0;
    c.codePage = 950;
    c.tables.push_back({"茶葉資料表",
                        {{"編號", JetText, 10},
                         {"品名", JetText, 50},
                         {"成本", JetMoney, 8},
                         {"售價", JetMoney, 8},
                         {"存量", JetDouble, 8}},
                        {{v("A'01"), v("凍頂烏龍"), v("1234.5600"), v("1500.0000"), v("12.5")},
                         {v("B\"02"), null, null, null, null},
                         {v("C03"), v("高山茶"), v("0.1000"), v("0.3000"), v("-2")}}});
    c.tables.push_back({"訂單資料表",
                        {{"單號", JetLong, 4},
                         {"客戶", JetText, 50},
                         {"日期", JetDateTime, 8},
                         {"電話", JetText, 50},
                         {"狀態", JetByte, 1}},
                        {{v("7"), v("王小明"), v("2024-03-05 00:00:00"), v("0912-345-678"), v("1")},
                         {v("42"), v("陳太太"), v("2024-12-31 15:30:00"), null, v("0")},
                         {v("3"), v("林"), null, v("line: lin"), v("2")}}});
    c.tables.push_back(
        {"訂單明細表",
         {{"單號", JetLong, 4}, {"茶", JetText, 10}, {"數量", JetInt, 2}, {"序", JetLong, 4}},
         {{v("7"), v("A'01"), v("3"), v("1")}, {v("42"), v("C03"), v("2"), v("2")}, {v("99"), v("ZZ"), null, v("3")}}});
    // The bank balance is found by its name, here not in the third place.
    c.tables.push_back({"帳款資料表",
                        {{"帳號", JetLong, 4}, {"現金", JetMoney, 8}, {"備註", JetText, 20}, {"銀行", JetMoney, 8}},
                        {{v("1"), v("1000.5000"), v("x"), v("2500.2500")}}});
    c.tables.push_back({"密碼表", {{"密碼", JetText, 20}}, {{v("茶香")}}});
    return c;
}

inline Table& table(JetContents& c, const char* name)
{
    for (Table& t : c.tables)
        if (t.name == name)
            return t;
    qFatal("no table %s", name);
}

// Writes an executable into dir that prints contents as the reader process would,
// whatever file it is asked to read, and returns its path.
inline QString writeFakeReader(const QString& dir, const JetContents& contents)
{
    std::string bytes;
    StreamWriter w([&](const char* d, std::size_t n) {
        bytes.append(d, n);
        return true;
    });
    w.header(contents.jetVersion, contents.codePage);
    for (const Table& t : contents.tables) {
        w.beginTable(t.name, t.columns, t.rows.size());
        for (const Row& r : t.rows)
            w.row(r);
        w.endTable(t.rows.size());
    }
    w.finish();
    const QString stream = dir + QStringLiteral("/stream.bin");
    QFile s(stream);
    if (!s.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(stream));
    s.write(bytes.data(), qint64(bytes.size()));
    s.close();
    const QString script = dir + QStringLiteral("/fake-mdbreader");
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(script));
    f.write("#!/bin/sh\nexec cat '" + stream.toUtf8() + "'\n");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return script;
}

} // namespace lumaro::test
