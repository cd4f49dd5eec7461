#include "base/Money.h"

#include "base/Failures.h"
#include "base/Numbers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lumaro {

namespace {

constexpr std::int64_t kLimitUnits = std::int64_t(MaxShopNumber) * Money::Scale;

[[noreturn]] void overflow() { throw NumberError(QStringLiteral("數值溢位")); }

} // namespace

std::int64_t Money::unitsFromDigits(double x)
{
    if (!std::isfinite(x) || std::fabs(x) > MaxShopNumber)
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

namespace {

// Rounds the decimal digits of x as "%.15g" writes them, so 1.00005 (stored as
// 1.0000499999...) becomes 1.0001 as the user who typed it expects.
//
// Nearly every stored price and weight is a decimal of at most four places,
// and for those the digits need not be written out: below 1e10 the fifteen
// digits reach past the fourth decimal, so a value within a hundredth of a
// unit of a whole number of units rounds to that number however its digits
// are rounded first (and x * 10^4 is computed within 0.008 of the truth).
// Anything nearer a half goes the long way. A checkout of many lines converts
// each price several times, and formatting was most of its cost.
std::int64_t toUnits(double x)
{
    if (std::fabs(x) < 1e10) {
        const double scaled = x * double(Money::Scale);
        const double whole = std::round(scaled);
        if (std::fabs(scaled - whole) <= 0.01)
            return std::int64_t(whole);
    }
    return Money::unitsFromDigits(x);
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

std::optional<Money> Money::readExact(const QString& text, bool* tooFine)
{
    if (tooFine)
        *tooFine = false;
    bool ok = false;
    const double x = toNumberStrict(text.trimmed(), &ok);
    if (!ok || !isShopNumber(x))
        return std::nullopt;
    if (!isMoneyPrecise(x)) {
        if (tooFine)
            *tooFine = true;
        return std::nullopt;
    }
    return fromDouble(x);
}

QString Money::toString() const { return formatNumber(toDouble()); }

Money Money::operator*(Money quantity) const
{
    // Both carry four decimals: the product carries eight, rounded back to four.
    // The product of two in-range amounts can pass 64 bits before it is scaled
    // back, so it is worked in 128 (a GCC and Clang extension).
    __extension__ using Wide = __int128;
    const Wide p = Wide(m_units) * quantity.m_units;
    const Wide half = Scale / 2;
    const Wide q = p >= 0 ? (p + half) / Scale : -((-p + half) / Scale);
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
