#include "base/DisplayText.h"

#include "base/Numbers.h"

#include <QDate>
#include <QDateTime>

#include <cmath>

namespace lumaro {

QString displayText(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        // Infinity or NaN written by another tool is shown as such, never as
        // 0 and never as a failure to draw the row.
        const double x = v.toDouble();
        return std::isfinite(x) ? formatNumber(x) : badNumberMark();
    }
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (dt.time() == QTime(0, 0))
            return dt.date().toString(Qt::ISODate);
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    default:
        return v.toString();
    }
}

} // namespace lumaro
