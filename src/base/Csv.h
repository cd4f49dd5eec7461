#pragma once

#include <QList>
#include <QSaveFile>
#include <QString>

namespace lumaro {

// One cell of an exported row: text (a name, a tea number, a note, a time) or
// a figure the program worked out (an amount, kilograms, a stock). Text is
// what anyone at the counter may have typed, so it is the default: a cell is a
// figure only when the code says so.
class CsvCell {
public:
    CsvCell() = default;
    // Not explicit: most cells are text.
    CsvCell(const QString& text) : m_text(text) {}
    // Written in the general number format (1234.5, -50); a spreadsheet reads
    // it as a number.
    static CsvCell number(double value);

    const QString& text() const { return m_text; }
    bool isNumber() const { return m_number; }

private:
    QString m_text;
    bool m_number = false;
};

// A CSV file as spreadsheet programs read it: UTF-8 with a byte-order mark (so
// the Chinese shows), CRLF between rows, and RFC 4180 quoting: a field holding
// a comma, a quote or a line break is put between quotes, its quotes doubled.
// The file appears whole at commit() or not at all, so a failed export never
// leaves half a file where the last good one was.
//
// A text cell never reaches a spreadsheet as a formula: one that begins with
// = + - @ a tab or a carriage return (what a spreadsheet takes for the start
// of a formula), or with an apostrophe, gets an apostrophe in front, so it is
// shown as the text it is; taking one leading apostrophe off any text cell
// gives the text back exactly. Text holding a semicolon or a tab is quoted as
// well: spreadsheets also split unquoted fields there by default, and a piece
// after the split would begin a cell of its own. Figures are written as they
// are: -50 stays a number.
class CsvFile {
public:
    // Throws FileError when the file cannot be written, or when it exists
    // and is read-only (which the owner set on purpose: it is not replaced).
    explicit CsvFile(const QString& path);
    void row(const QList<CsvCell>& cells);
    void commit();
    qint64 rows() const { return m_rows; }

    static QString field(const CsvCell& cell);
    static QString line(const QList<CsvCell>& cells); // without the CRLF

private:
    // Rows are gathered into one buffer and written a megabyte at a time:
    // memory stays flat however many rows a file has.
    static constexpr qsizetype kFlushAt = 1 << 20;
    static void appendField(QByteArray& out, const CsvCell& cell);
    static void appendLine(QByteArray& out, const QList<CsvCell>& cells);
    static void appendText(QByteArray& out, const QString& text);
    void flush();
    void write(const QByteArray& bytes);
    QSaveFile m_file;
    QByteArray m_buffer;
    qint64 m_rows = 0;
};

} // namespace lumaro
