#pragma once

// The shop as seen from outside the test's own process: the programs run as
// the shop owner runs them, and a copy of a shop file read with a connection
// of its own, the way a second terminal or the owner's own tools would see it.

#include <QMap>
#include <QProcessEnvironment>
#include <QStringList>

#include <initializer_list>

namespace lumaro::test {

// The texts of a test's table, read as UTF-8 as the test's source is written.
QStringList texts(std::initializer_list<const char*> list);

// How a program ended and what it said. code is -1 when it crashed or did not
// end within two minutes.
struct Run {
    int code = -1;
    QString out, err;
    QString said() const { return out + err; }
};

// Runs program with args to its end, with input on its standard input (which
// is then closed), in env and, when given, in the folder cwd.
Run run(const QString& program, const QStringList& args, const QByteArray& input = {},
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(), const QString& cwd = {});

// lumaro-admin with args, the program built beside the suites.
Run admin(const QStringList& args, const QByteArray& input = {});

// What a copy of a shop file holds, read without writing a byte of it.
struct ShopCopy {
    QString integrity; // "ok" for a sound file, empty when it would not open
    double cash = 0, bank = 0;
    QMap<QString, double> stock; // by tea number
};
ShopCopy readCopy(const QString& file);

} // namespace lumaro::test
