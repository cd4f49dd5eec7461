#pragma once

#include <QString>
#include <QVariant>

#include <compare>
#include <cstdint>
#include <optional>

namespace lumaro {

// An amount of the shop's money, or a weight in kilograms, exact to 1/10000
// (the scale of the legacy currency type): a whole number of ten-thousandths.
// Sums and differences are exact, so cents added 15,000 times end on the
// cent. Every value lies within ±1e12; a non-finite or larger value is refused
// where it enters (NumberError "數值溢位").
class Money {
public:
    static constexpr std::int64_t Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromUnits(std::int64_t tenThousandths) { return Money(tenThousandths); }

    // The value of x as the screens show it (the general number format, 15
    // significant digits), rounded half away from zero to 1/10000.
    static Money fromDouble(double x);
    // The lenient reading of a text (readNumber), then fromDouble.
    static Money parse(const QString& text);
    // A stored value: NULL reads as 0.
    static Money fromStored(const QVariant& v);
    // An amount typed where it is taken as it is (a cash count): the strict
    // reading of the text, within range and at most four decimals. Nothing
    // otherwise; tooFine then tells a figure finer than the books hold, which
    // rounding would turn into another amount (0.00001 into 0).
    static std::optional<Money> readExact(const QString& text, bool* tooFine = nullptr);

    std::int64_t units() const { return m_units; }
    double toDouble() const { return double(m_units) / double(Scale); }
    // The general number format: 300, 37.5, -50, 0.0001.
    QString toString() const;

    Money operator-() const { return Money(-m_units); }
    Money operator+(Money o) const { return checked(m_units + o.m_units); }
    Money operator-(Money o) const { return checked(m_units - o.m_units); }
    Money& operator+=(Money o) { return *this = *this + o; }
    Money& operator-=(Money o) { return *this = *this - o; }
    // A price times a quantity, rounded to 1/10000 half away from zero.
    Money operator*(Money quantity) const;
    auto operator<=>(const Money&) const = default;

    // fromDouble's rounding done the long way, through the value's written
    // digits; fromDouble takes a shorter road where it gives the same units.
    static std::int64_t unitsFromDigits(double x);

private:
    constexpr explicit Money(std::int64_t units) : m_units(units) {}
    static Money checked(std::int64_t units);
    std::int64_t m_units = 0;
};

// An order line as checkout charges it.
struct ChargedLine {
    QVariant quantity; // kg, NULL for none
    QVariant price;    // per kg, NULL for none
};

// quantity × price, or nothing when either is empty.
std::optional<Money> lineAmount(const ChargedLine& line);

// The one total of an order: its line amounts added exactly. The total label,
// the checkout summary and the settle all use it.
template <typename Lines>
Money orderTotal(const Lines& lines)
{
    Money total;
    for (const auto& l : lines)
        if (const std::optional<Money> a = lineAmount(ChargedLine{l.quantity, l.price}))
            total += *a;
    return total;
}

} // namespace lumaro
