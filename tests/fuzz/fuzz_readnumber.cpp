// Feeds arbitrary text to the lenient number reading: it must never crash, and
// whatever it reads must survive the general format and a second reading.
#include "base/Failures.h"
#include "base/Numbers.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    double v = 0;
    try {
        v = lumaro::readNumber(text);
    } catch (const lumaro::NumberError&) {
        return 0;
    }
    if (!std::isfinite(v))
        std::abort();
    const QString shown = lumaro::formatNumber(v);
    if (shown.contains(QLatin1Char('e')) || shown.contains(QLatin1Char('E')) || shown.contains(QLatin1Char(',')))
        std::abort();
    const double again = lumaro::readNumber(shown);
    if (std::fabs(again - v) > std::fabs(v) * 1e-14)
        std::abort();
    bool ok = false;
    lumaro::toNumberStrict(text, &ok);
    return 0;
}
