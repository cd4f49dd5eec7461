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
    write(QByteArrayLiteral("\xEF\xBB\xBF"));
}

QString CsvFile::field(const CsvCell& cell)
{
    if (cell.isNumber())
        return cell.text();
    static const QString special = QStringLiteral(",\"\r\n;\t");
    const QString text = needsApostrophe(cell.text()) ? QLatin1Char('\'') + cell.text() : cell.text();
    bool quote = false;
    for (QChar c : text)
        if (special.contains(c)) {
            quote = true;
            break;
        }
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CsvFile::line(const QList<CsvCell>& cells)
{
    QStringList out;
    out.reserve(cells.size());
    for (const CsvCell& c : cells)
        out << field(c);
    return out.join(QLatin1Char(','));
}

void CsvFile::row(const QList<CsvCell>& cells)
{
    write((line(cells) + QStringLiteral("\r\n")).toUtf8());
    ++m_rows;
}

void CsvFile::write(const QByteArray& bytes)
{
    if (m_file.write(bytes) != bytes.size())
        throw FileError(cannotWrite(m_file.fileName(), m_file.errorString()));
}

void CsvFile::commit()
{
    if (!m_file.commit())
        throw FileError(cannotWrite(m_file.fileName(), m_file.errorString()));
}

} // namespace lumaro
