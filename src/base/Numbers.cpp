#include "base/Numbers.h"

#include "base/Failures.h"

#include <QRegularExpression>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace lumaro {

namespace {

bool isSkipped(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r') ||
           c == QChar(0x3000);
}

// Whole numbers after &H or &O: up to 16 bits they read as a signed 16-bit
// value (&HFFFF is -1), up to 32 bits as a signed 32-bit value, as the shop's
// program always read them.
double radixNumber(const std::string& digits, int base)
{
    if (digits.empty())
        return 0;
    unsigned long long v = 0;
    for (char c : digits) {
        int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 99;
        if (d >= base)
            break;
        v = v * base + d;
        if (v > 0xFFFFFFFFull)
            throw NumberError(QStringLiteral("數值溢位：數字太大，無法計算。"));
    }
    if (v <= 0xFFFF)
        return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(v)));
    return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v)));
}

// A number in C syntax, whatever the process's C locale says (Qt sets it from
// the environment, and strtod would then take a comma for the decimal point).
// Too large is infinity, too small zero, as strtod gives them.
double cNumber(const std::string& text)
{
    const char* first = text.data();
    const char* last = first + text.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-'))
        negative = *first++ == '-';
    double v = 0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec == std::errc::result_out_of_range) {
        const auto e = text.find_first_of("eE");
        const bool tiny = e != std::string::npos && e + 1 < text.size() && text[e + 1] == '-';
        v = tiny ? 0.0 : HUGE_VAL;
    } else if (ec != std::errc()) {
        v = 0;
    }
    (void)end;
    return negative ? -v : v;
}

} // namespace

namespace {

// The text collapsed to the characters that matter: blanks inside a number
// ("1 000") are simply passed over, and any other character past ASCII ends
// the number.
std::string collapsed(const QString& text)
{
    std::string s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (isSkipped(c))
            continue;
        if (c.unicode() > 127) {
            s.push_back('\x01'); // ends any number
            continue;
        }
        s.push_back(static_cast<char>(c.toLatin1()));
    }
    return s;
}

// A whole number after &H or &O at the start of s, or nothing when s does not
// start so.
std::optional<double> radixPrefixed(const std::string& s)
{
    if (s.size() < 2 || s[0] != '&')
        return std::nullopt;
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
    if (kind != 'H' && kind != 'O')
        return std::nullopt;
    std::string digits;
    for (std::size_t i = 2; i < s.size(); ++i) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
        const bool ok = kind == 'H' ? std::isxdigit(static_cast<unsigned char>(c)) : (c >= '0' && c <= '7');
        if (!ok)
            break;
        digits.push_back(c);
    }
    return radixNumber(digits, kind == 'H' ? 16 : 8);
}

// The sign, digits and decimal part at the start of s, in C syntax; i ends
// past them. Empty when no digit came.
std::string mantissaAt(const std::string& s, std::size_t& i)
{
    std::string num;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        num.push_back(s[i++]);
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        num.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        num.push_back(s[i++]);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            num.push_back(s[i++]);
            digits = true;
        }
    }
    return digits ? num : std::string();
}

// The exponent (E or D, a sign, digits) at i, in C syntax; empty when none
// with digits stands there.
std::string exponentAt(const std::string& s, std::size_t i)
{
    if (i >= s.size() || (s[i] != 'E' && s[i] != 'e' && s[i] != 'D' && s[i] != 'd'))
        return {};
    std::size_t j = i + 1;
    std::string exp = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-'))
        exp.push_back(s[j++]);
    bool expDigits = false;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
        exp.push_back(s[j++]);
        expDigits = true;
    }
    return expDigits ? exp : std::string();
}

} // namespace

double readNumber(const QString& text)
{
    const std::string s = collapsed(text);
    if (const std::optional<double> radix = radixPrefixed(s))
        return *radix;

    std::size_t i = 0;
    std::string num = mantissaAt(s, i);
    if (num.empty())
        return 0;
    num += exponentAt(s, i);
    double v = cNumber(num);
    if (!std::isfinite(v))
        throw NumberError(QStringLiteral("數值溢位：「%1」太大了，無法計算。").arg(text.trimmed()));
    return v;
}

namespace {

// A plain number: sign, digits with at most one full stop, an exponent.
std::optional<double> plainNumber(const QString& t)
{
    static const QRegularExpression plain(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    if (!plain.match(t).hasMatch())
        return std::nullopt;
    return cNumber(t.toStdString());
}

} // namespace

double toNumberStrict(const QString& text, bool* ok)
{
    const std::optional<double> v = plainNumber(text.trimmed());
    const bool good = v && std::isfinite(*v);
    if (ok)
        *ok = good;
    return good ? *v : 0;
}

bool isShopNumber(double x) { return std::isfinite(x) && std::fabs(x) <= MaxShopNumber; }

QString shopNumberRefusal(const QString& what, const QString& shown)
{
    return QStringLiteral("%1「%2」不是可以記帳的數值：必須是有限的數字，絕對值不可超過 1000000000000（一兆）。")
        .arg(what, shown);
}

void requireShopNumber(double x, const QString& what)
{
    if (!isShopNumber(x))
        throw NumberError(shopNumberRefusal(what, describeNumber(x)));
}

bool isMoneyPrecise(double x)
{
    if (!std::isfinite(x))
        return false;
    const QString shown = formatNumber(x);
    const qsizetype point = shown.indexOf(QLatin1Char('.'));
    return point < 0 || shown.size() - point - 1 <= 4;
}

QString moneyPrecisionRefusal(const QString& what, const QString& shown)
{
    return QStringLiteral("%1「%2」不是可以記帳的數值：最多只能有四位小數（最小到 0.0001）。").arg(what, shown);
}

std::optional<double> numberInText(const QString& text)
{
    const QString t = text.trimmed();
    if (std::optional<double> v = plainNumber(t))
        return v;
    static const QRegularExpression word(QStringLiteral("^([+-]?)(inf|infinity|nan)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = word.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    if (m.captured(2).compare(QLatin1String("nan"), Qt::CaseInsensitive) == 0)
        return std::nan("");
    return m.captured(1) == QLatin1String("-") ? -HUGE_VAL : HUGE_VAL;
}

QString describeNumber(double x)
{
    if (std::isnan(x))
        return QStringLiteral("NaN");
    if (std::isinf(x))
        return x < 0 ? QStringLiteral("-∞") : QStringLiteral("∞");
    return formatNumber(x);
}

QString badNumberMark() { return QStringLiteral("#數值錯誤"); }

double toNumberStrictOrFail(const QString& text)
{
    bool ok = false;
    double v = toNumberStrict(text, &ok);
    if (!ok) {
        if (text.trimmed().isEmpty())
            throw NumberError(QStringLiteral("欄位是空的，無法當作數字計算。"));
        throw NumberError(QStringLiteral("「%1」不是數字，無法計算。").arg(text));
    }
    return v;
}

namespace {

// Nearly every figure a shop holds has at most four decimals and fits in
// fifteen digits. Such a number is written from its digits directly: a double
// keeps any fifteen significant digits, so this is the text the rounding of
// fifteenDigitsText would give, at a fraction of the cost (a checkout summary
// writes two figures a line). Nothing for any other number.
std::optional<QString> fourDecimalsText(double x)
{
    const double scaled = x * 10000;
    if (std::fabs(scaled) >= 1e15)
        return std::nullopt;
    const long long k = std::llround(scaled);
    if (double(k) / 10000 != x)
        return std::nullopt;
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = end;
    unsigned long long units = static_cast<unsigned long long>(k < 0 ? -k : k);
    int fraction = int(units % 10000);
    units /= 10000;
    if (fraction) {
        int places = 4;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --places;
        }
        for (int i = 0; i < places; ++i, fraction /= 10)
            *--p = char('0' + fraction % 10);
        *--p = '.';
    }
    do {
        *--p = char('0' + units % 10);
        units /= 10;
    } while (units);
    if (k < 0)
        *--p = '-';
    return QString::fromLatin1(p, end - p);
}

// Rounded to 15 significant digits, then the digits laid out without an
// exponent.
QString fifteenDigitsText(double x)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", x);
    std::string e(buf);
    bool negative = e[0] == '-';
    if (negative)
        e.erase(0, 1);
    std::size_t epos = e.find('e');
    int exponent = std::atoi(e.c_str() + epos + 1);
    std::string mantissa = e.substr(0, epos);
    std::string digits;
    for (char c : mantissa)
        if (c != '.')
            digits.push_back(c);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out;
    const int n = static_cast<int>(digits.size());
    if (exponent >= 0) {
        if (exponent + 1 >= n) {
            out = digits + std::string(exponent + 1 - n, '0');
        } else {
            out = digits.substr(0, exponent + 1) + "." + digits.substr(exponent + 1);
        }
    } else {
        out = "0." + std::string(-exponent - 1, '0') + digits;
    }
    if (negative)
        out.insert(out.begin(), '-');
    return QString::fromLatin1(out.c_str());
}

} // namespace

QString formatNumber(double x)
{
    if (std::isnan(x))
        return QStringLiteral("0");
    if (std::isinf(x))
        throw NumberError(QStringLiteral("數值溢位"));
    if (x == 0)
        return QStringLiteral("0");
    if (std::optional<QString> text = fourDecimalsText(x))
        return *text;
    return fifteenDigitsText(x);
}

} // namespace lumaro
