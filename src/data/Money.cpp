#include "data/Money.h"

#include "data/DataError.h"
#include "data/Numbers.h"
#include "data/Schema.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lumaro {

namespace {

constexpr std::int64_t kLimitUnits = std::int64_t(1000000000000LL) * Money::Scale;

[[noreturn]] void overflow() { throw NumberError(QStringLiteral("數值溢位")); }

// Rounds the decimal digits of x as "%.15g" writes them, so 1.00005 (stored as
// 1.0000499999...) becomes 1.0001 as the user who typed it expects.
std::int64_t toUnits(double x)
{
    if (!std::isfinite(x) || std::fabs(x) > schema::NumberLimit)
        overflow();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15e", std::fabs(x)); // d.ddddddddddddddde±XX
    std::int64_t digits = 0;
    int count = 0;
    for (const char* p = buf; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') {
            digits = digits * 10 + (*p - '0');
            ++count;
        }
    const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    // value = digits × 10^(exponent - (count - 1)); units = value × 10^4
    int shift = exponent - (count - 1) + 4;
    // Keep 15 significant digits, as the screens show numbers.
    if (count == 16) {
        const std::int64_t last = digits % 10;
        digits = digits / 10 + (last >= 5 ? 1 : 0);
        ++shift;
    }
    std::int64_t units = digits;
    if (shift >= 0) {
        for (int i = 0; i < shift; ++i)
            units *= 10;
    } else {
        for (int i = 0; i < -shift - 1 && units > 0; ++i)
            units /= 10;
        if (-shift - 1 >= 19)
            units = 0;
        units = units / 10 + (units % 10 >= 5 ? 1 : 0);
    }
    return x < 0 ? -units : units;
}

} // namespace

Money Money::checked(std::int64_t units)
{
    if (units > kLimitUnits || units < -kLimitUnits)
        overflow();
    return Money(units);
}

Money Money::fromDouble(double x) { return Money(toUnits(x)); }

Money Money::parse(const QString& text) { return fromDouble(readNumber(text)); }

Money Money::fromStored(const QVariant& v) { return v.isNull() ? Money() : fromDouble(v.toDouble()); }

QString Money::toString() const { return formatNumber(toDouble()); }

Money Money::operator*(Money quantity) const
{
    // Both carry four decimals: the product carries eight, rounded back to four.
    const __int128 p = __int128(m_units) * quantity.m_units;
    const __int128 half = Scale / 2;
    const __int128 q = p >= 0 ? (p + half) / Scale : -((-p + half) / Scale);
    if (q > kLimitUnits || q < -kLimitUnits)
        overflow();
    return Money(std::int64_t(q));
}

std::optional<Money> lineAmount(const ChargedLine& line)
{
    if (line.quantity.isNull() || line.price.isNull())
        return std::nullopt;
    return Money::fromStored(line.price) * Money::fromStored(line.quantity);
}

} // namespace lumaro
