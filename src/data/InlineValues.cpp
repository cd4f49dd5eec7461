#include "data/InlineValues.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlField>

namespace lumaro::sql {

namespace {

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80; }

// The length of the $tag$ opening a dollar quote at i, or 0.
qsizetype dollarTag(const QString& s, qsizetype i)
{
    qsizetype j = i + 1;
    if (j < s.size() && s[j].isDigit())
        return 0; // $1 is a parameter
    while (j < s.size() && s[j] != u'$' && (s[j].isLetterOrNumber() || s[j] == u'_' || s[j].unicode() >= 0x80))
        ++j;
    return j < s.size() && s[j] == u'$' ? j - i + 1 : 0;
}

// The end (one past the closing quote) of a string opening at i, or -1.
qsizetype stringEnd(const QString& s, qsizetype i, bool backslashEscapes, bool& sawBackslash)
{
    for (qsizetype j = i + 1; j < s.size(); ++j) {
        if (s[j] == u'\\') {
            sawBackslash = true;
            if (backslashEscapes)
                ++j;
        } else if (s[j] == u'\'') {
            if (j + 1 < s.size() && s[j + 1] == u'\'')
                ++j;
            else
                return j + 1;
        }
    }
    return -1;
}

// Whether the driver binds v as NULL: a null variant, and also a null text,
// null bytes or an invalid date or time of a variant that is not null.
bool boundAsNull(const QVariant& v)
{
    if (v.isNull())
        return true;
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString().isNull();
    case QMetaType::QByteArray:
        return v.toByteArray().isNull();
    case QMetaType::QDate:
        return !v.toDate().isValid();
    case QMetaType::QTime:
        return !v.toTime().isValid();
    case QMetaType::QDateTime:
        return !v.toDateTime().isValid();
    default:
        return false;
    }
}

} // namespace

std::optional<QList<qsizetype>> placeholders(const QString& s)
{
    QList<qsizetype> at;
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        const bool afterName = i > 0 && isNameChar(s[i - 1]);
        if (c == u'?') {
            at.append(i++);
        } else if (c == u'\'') {
            const bool escaped =
                afterName && (s[i - 1] == u'E' || s[i - 1] == u'e') && (i < 2 || !isNameChar(s[i - 2]));
            bool backslash = false;
            const qsizetype end = stringEnd(s, i, escaped, backslash);
            if (end < 0 || (backslash && !escaped))
                return std::nullopt;
            i = end;
        } else if (c == u'"') {
            const qsizetype end = s.indexOf(u'"', i + 1);
            if (end < 0)
                return std::nullopt;
            i = end + 1; // a doubled "" is two names back to back: the same to us
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            const qsizetype end = s.indexOf(u'\n', i);
            i = end < 0 ? n : end + 1;
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            int depth = 0; // block comments nest
            do {
                if (i + 1 >= n)
                    return std::nullopt;
                if (s[i] == u'/' && s[i + 1] == u'*') {
                    ++depth;
                    i += 2;
                } else if (s[i] == u'*' && s[i + 1] == u'/') {
                    --depth;
                    i += 2;
                } else {
                    ++i;
                }
            } while (depth > 0);
        } else if (c == u'$' && !afterName && dollarTag(s, i) > 0) {
            const qsizetype length = dollarTag(s, i);
            const qsizetype end = s.indexOf(QStringView(s).mid(i, length), i + length);
            if (end < 0)
                return std::nullopt;
            i = end + length;
        } else {
            ++i;
        }
    }
    return at;
}

QString withValues(const QString& statement, const QVariantList& values, const QSqlDriver& driver)
{
    const auto at = placeholders(statement);
    if (!at || at->size() != values.size())
        return QString();
    QString out;
    out.reserve(statement.size() + values.size() * 8);
    qsizetype from = 0;
    for (qsizetype k = 0; k < values.size(); ++k) {
        const QVariant& v = values[k];
        out += QStringView(statement).mid(from, at->at(k) - from);
        from = at->at(k) + 1;
        // The field as the driver builds it for a bound value.
        QSqlField f(QString(), v.metaType());
        if (boundAsNull(v))
            f.clear();
        else
            f.setValue(v);
        const QString text = driver.formatValue(f);
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Double:
        case QMetaType::Float:
            // A bare number would have a type of its own, and a minus sign
            // after one in the statement would open a comment.
            if (!f.isNull() && !text.startsWith(u'\''))
                out += u'\'' + text + u'\'';
            else
                out += text;
            break;
        default:
            out += text;
        }
    }
    out += QStringView(statement).mid(from);
    return out;
}

} // namespace lumaro::sql
