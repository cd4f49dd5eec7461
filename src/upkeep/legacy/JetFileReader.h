// The importing side of the Jet reader: starts lumaro-mdbreader on a legacy file,
// takes its record stream apart as it arrives and hands back the tables, or one clear
// sentence about why it could not. A reader that crashes, hangs, or sends garbage
// costs nothing but that sentence.
#pragma once

#include "MdbStream.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace lumaro::legacy {

struct JetReadResult {
    bool ok = false;
    QString error; // set when !ok, in Chinese, naming the file
    JetContents contents;
};

class JetFileReader {
public:
    // The reader executable: $LUMARO_MDBREADER, else next to this program, else in
    // the installed libexec folder, else in the build tree. Empty when none exists.
    static QString locateReader();

    explicit JetFileReader(QString readerPath = locateReader());

    // Jet 3 text encoding (an iconv name such as BIG5); empty keeps the reader's own
    // choice: $MDB_JET3_CHARSET, else the file's code page.
    void setCharset(const QString& charset) { m_charset = charset; }
    // Give up when the reader sends nothing for this long.
    void setStallTimeout(int msecs) { m_stallMsecs = msecs; }

    // Called as rows arrive: table being read, rows read from it, its row count.
    std::function<void(const QString& table, qint64 rows, qint64 rowCount)> onProgress;

    // Reads the named tables (all user tables when empty).
    JetReadResult read(const QString& mdbPath, const QStringList& tables = {}) const;

private:
    QString m_reader;
    QString m_charset;
    int m_stallMsecs = 30000;
};

} // namespace lumaro::legacy
