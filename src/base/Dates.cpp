#include "base/Dates.h"

#include <QDateTime>
#include <QRegularExpression>

namespace lumaro {

QString storedDate(const QDate& date, const QTime& time)
{
    if (!time.isValid() || time == QTime(0, 0))
        return date.toString(Qt::ISODate);
    return date.toString(Qt::ISODate) + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
}

namespace {

QString shown(const QDate& date, const QTime& time)
{
    if (!time.isValid() || time == QTime(0, 0))
        return date.toString(Qt::ISODate);
    const QString clock = time.toString(time.second() == 0 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss"));
    return date.toString(Qt::ISODate) + QLatin1Char(' ') + clock;
}

} // namespace

QString dateText(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return shown(dt.date(), dt.time());
    }
    default:
        break;
    }
    const QString s = value.toString();
    static const QRegularExpression stamp(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})(?:[ T](\\d{2}:\\d{2}(?::\\d{2}(?:\\.\\d+)?)?))?$"));
    const auto m = stamp.match(s);
    if (!m.hasMatch())
        return s;
    const QDate d = QDate::fromString(m.captured(1), Qt::ISODate);
    const QTime t = m.captured(2).isEmpty() ? QTime(0, 0) : QTime::fromString(m.captured(2).left(8), Qt::ISODate);
    if (!d.isValid() || !t.isValid())
        return s;
    return shown(d, t);
}

} // namespace lumaro
