#pragma once

#include <QString>
#include <QVariant>

namespace lumaro {

// How a stored value is shown in a text box or a grid cell: text as it is,
// numbers in the general number format, nothing for an empty value, and
// badNumberMark() for infinity or NaN. Never throws.
QString displayText(const QVariant& v);

} // namespace lumaro
