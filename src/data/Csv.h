#pragma once

#include <QSaveFile>
#include <QString>
#include <QStringList>

namespace lumaro {

// A CSV file as spreadsheet programs read it: UTF-8 with a byte-order mark (so
// the Chinese shows), CRLF between rows, and RFC 4180 quoting: a field holding
// a comma, a quote or a line break is put between quotes, its quotes doubled.
// The file appears whole at commit() or not at all, so a failed export never
// leaves half a file where the last good one was.
class CsvFile {
public:
    // Throws DataError when the file cannot be written.
    explicit CsvFile(const QString& path);
    void row(const QStringList& fields);
    void commit();
    qint64 rows() const { return m_rows; }

    static QString field(const QString& text);
    static QString line(const QStringList& fields); // without the CRLF

private:
    void write(const QByteArray& bytes);
    QSaveFile m_file;
    qint64 m_rows = 0;
};

} // namespace lumaro
