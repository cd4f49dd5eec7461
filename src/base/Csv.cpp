#include "base/Csv.h"

#include "base/Failures.h"
#include "base/Numbers.h"

#include <QFileInfo>

namespace lumaro {

namespace {

QString cannotWrite(const QString& path, const QString& why)
{
    return QStringLiteral("無法寫入檔案「%1」：%2").arg(path, why);
}

// The first characters with which a spreadsheet starts a formula (OWASP's
// list for CSV injection), and the apostrophe that marks the neutralised ones.
bool needsApostrophe(const QString& text)
{
    static const QString formulaStart = QStringLiteral("=+-@\t\r'");
    return !text.isEmpty() && formulaStart.contains(text.front());
}

} // namespace

CsvCell CsvCell::number(double value)
{
    CsvCell c(formatNumber(value));
    c.m_number = true;
    return c;
}

CsvFile::CsvFile(const QString& path) : m_file(path)
{
    // The new file is renamed over the old one, which the folder's permission
    // allows whatever the file's own; and to root every file looks writable.
    // A file nobody may write was made read-only to keep it: leave it be.
    const QFileInfo existing(path);
    const auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (existing.isFile() && (!existing.isWritable() || !(existing.permissions() & writeBits)))
        throw FileError(QStringLiteral("檔案「%1」是唯讀的，不會覆寫。請另選檔名，或先取消它的唯讀。").arg(path));
    // Customers' names and phones: readable by the owner alone, as the shop
    // file is, before a byte is written and whatever the umask.
    if (!m_file.open(QIODevice::WriteOnly) || !m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw FileError(cannotWrite(path, m_file.errorString()));
    m_buffer.reserve(kFlushAt + 64 * 1024);
    m_buffer += QByteArrayLiteral("\xEF\xBB\xBF");
}

QString CsvFile::field(const CsvCell& cell)
{
    QByteArray bytes;
    appendField(bytes, cell);
    return QString::fromUtf8(bytes);
}

QString CsvFile::line(const QList<CsvCell>& cells)
{
    QByteArray bytes;
    appendLine(bytes, cells);
    return QString::fromUtf8(bytes);
}

void CsvFile::appendField(QByteArray& out, const CsvCell& cell)
{
    const QString& text = cell.text();
    if (cell.isNumber()) {
        appendText(out, text);
        return;
    }
    bool quote = false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == ',' || u == '"' || u == '\r' || u == '\n' || u == ';' || u == '\t') {
            quote = true;
            break;
        }
    }
    if (quote)
        out += '"';
    if (needsApostrophe(text))
        out += '\'';
    if (!quote) {
        appendText(out, text);
        return;
    }
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    appendText(out, doubled);
    out += '"';
}

void CsvFile::appendLine(QByteArray& out, const QList<CsvCell>& cells)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i)
            out += ',';
        appendField(out, cells[i]);
    }
}

// Text as UTF-8: the plain ASCII of figures, numbers and times byte by byte,
// anything else the way QString encodes it.
void CsvFile::appendText(QByteArray& out, const QString& text)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char* p = out.data() + start;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            out.truncate(start);
            out += text.toUtf8();
            return;
        }
        *p++ = char(c.unicode());
    }
}

void CsvFile::row(const QList<CsvCell>& cells)
{
    appendLine(m_buffer, cells);
    m_buffer += "\r\n";
    ++m_rows;
    if (m_buffer.size() >= kFlushAt)
        flush();
}

void CsvFile::flush()
{
    write(m_buffer);
    m_buffer.resize(0); // keeps its room
}

void CsvFile::write(const QByteArray& bytes)
{
    if (m_file.write(bytes) != bytes.size())
        throw FileError(cannotWrite(m_file.fileName(), m_file.errorString()));
}

void CsvFile::commit()
{
    flush();
    if (!m_file.commit())
        throw FileError(cannotWrite(m_file.fileName(), m_file.errorString()));
}

} // namespace lumaro
