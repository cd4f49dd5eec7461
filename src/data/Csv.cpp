#include "data/Csv.h"

#include "data/DataError.h"

namespace lumaro {

namespace {

QString cannotWrite(const QString& path, const QString& why)
{
    return QStringLiteral("無法寫入檔案「%1」：%2").arg(path, why);
}

} // namespace

CsvFile::CsvFile(const QString& path) : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly))
        throw DataError(cannotWrite(path, m_file.errorString()));
    write(QByteArrayLiteral("\xEF\xBB\xBF"));
}

QString CsvFile::field(const QString& text)
{
    static const QString special = QStringLiteral(",\"\r\n");
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

QString CsvFile::line(const QStringList& fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString& f : fields)
        out << field(f);
    return out.join(QLatin1Char(','));
}

void CsvFile::row(const QStringList& fields)
{
    write((line(fields) + QStringLiteral("\r\n")).toUtf8());
    ++m_rows;
}

void CsvFile::write(const QByteArray& bytes)
{
    if (m_file.write(bytes) != bytes.size())
        throw DataError(cannotWrite(m_file.fileName(), m_file.errorString()));
}

void CsvFile::commit()
{
    if (!m_file.commit())
        throw DataError(cannotWrite(m_file.fileName(), m_file.errorString()));
}

} // namespace lumaro
