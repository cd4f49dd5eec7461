#pragma once

#include <QString>

#include <optional>

namespace lumaro {

// Lenient reading of a number typed or shown in a text: blanks, tabs and line
// feeds anywhere are skipped, the longest leading number is read (sign, digits,
// a full stop, an exponent with E or D), &H and &O read hexadecimal and octal
// whole numbers, and a text without a leading number reads as 0. The result
// does not depend on the user's locale. A number too large for a double is a
// failure ("數值溢位") rather than infinity.
double readNumber(const QString& text);

// Strict conversion: the whole text (outer blanks aside) must be one plain
// number: optional sign, digits, a full stop as the decimal point, an optional
// exponent. No digit grouping, and the same meaning whatever the user's locale,
// so "1.234" is never read as 1234. A result that is not finite fails. ok tells
// whether it was a number.
double toNumberStrict(const QString& text, bool* ok);

// The strict conversion, failing with a clear message when the text is not a
// number.
double toNumberStrictOrFail(const QString& text);

// The general number format: plain digits, a minus sign for negatives, a full
// stop only when there is a fraction, no grouping, no exponent, at most 15
// significant digits (300, 37.5, -50, 0.1 + 0.2 -> 0.3).
QString formatNumber(double x);

// The sane range of every number the shop stores: prices, costs, stock,
// quantities, balances. Anything larger is a typing slip or a planted value,
// and infinity or NaN would stop every sale.
inline constexpr double MaxShopNumber = 1e12;

// Whether x may be stored: finite and |x| <= MaxShopNumber.
bool isShopNumber(double x);

// The refusal of a number outside that range, naming what it was meant to be
// (進價, 金額 ...) and the value as typed.
QString shopNumberRefusal(const QString& what, const QString& shown);

// Throws NumberError with shopNumberRefusal unless isShopNumber(x).
void requireShopNumber(double x, const QString& what);

// Whether x has at most four decimals as the screens show it (15 significant
// digits): the finest amount the books hold is 0.0001. 0.1 + 0.2 has; 0.00001
// and 1.23456 have not, and rounding them would store another amount than
// the one typed.
bool isMoneyPrecise(double x);

// The refusal of a figure finer than 0.0001, naming what it was meant to be
// and the value as typed.
QString moneyPrecisionRefusal(const QString& what, const QString& shown);

// Reads a text meant for a number column the way the databases would take it:
// a plain number (outer blanks aside) or the words inf, infinity and nan. Empty
// when the text is no number at all (the database refuses such text itself).
std::optional<double> numberInText(const QString& text);

// A value for a message or a report: the general number format, or ∞, -∞ and
// NaN for what that format cannot show.
QString describeNumber(double x);

// What a cell shows for a stored value that is no usable number (infinity,
// NaN, or out of range), instead of failing to draw it.
QString badNumberMark();

} // namespace lumaro
