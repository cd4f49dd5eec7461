#pragma once

#include <QString>

namespace lumaro {

// Lenient reading of a number typed or shown in a text: blanks, tabs and line
// feeds anywhere are skipped, the longest leading number is read (sign, digits,
// a full stop, an exponent with E or D), &H and &O read hexadecimal and octal
// whole numbers, and a text without a leading number reads as 0. The result
// does not depend on the user's locale. A number too large for a double is a
// failure ("數值溢位") rather than infinity.
double readNumber(const QString& text);

// Strict conversion: the whole text (outer blanks aside) must be a number in
// the user's locale. ok tells whether it was.
double toNumberStrict(const QString& text, bool* ok);

// The strict conversion, failing with a clear message when the text is not a
// number.
double toNumberStrictOrFail(const QString& text);

// The general number format: plain digits, a minus sign for negatives, a full
// stop only when there is a fraction, no grouping, no exponent, at most 15
// significant digits (300, 37.5, -50, 0.1 + 0.2 -> 0.3).
QString formatNumber(double x);

} // namespace lumaro
