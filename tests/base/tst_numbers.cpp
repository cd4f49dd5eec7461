#include "base/Failures.h"
#include "base/Money.h"
#include "base/Numbers.h"

#include <QLocale>
#include <QtTest>

#include <cmath>
#include <random>

using namespace lumaro;

class NumbersTest : public QObject {
    Q_OBJECT
private slots:
    void lenient_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("grouping ends the number") << "1,000" << 1.0;
        QTest::newRow("blank inside is skipped") << "1 000" << 1000.0;
        QTest::newRow("unit ends the number") << "12.5kg" << 12.5;
        QTest::newRow("hex") << "&H1F" << 31.0;
        QTest::newRow("hex lower case") << "&h1f" << 31.0;
        QTest::newRow("hex 16-bit is signed") << "&HFFFF" << -1.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("exponent") << "1E3" << 1000.0;
        QTest::newRow("D exponent") << "2.5D2" << 250.0;
        QTest::newRow("negative") << "-3" << -3.0;
        QTest::newRow("explicit plus") << "+7" << 7.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("tabs and line feeds") << "\t1\n2 3" << 123.0;
        QTest::newRow("blank after sign") << "- 4" << -4.0;
        QTest::newRow("second full stop ends") << "1.2.3" << 1.2;
        QTest::newRow("bare full stop") << "." << 0.0;
        QTest::newRow("leading full stop") << ".5" << 0.5;
        QTest::newRow("exponent without digits") << "5E" << 5.0;
        QTest::newRow("exponent sign without digits") << "5E+" << 5.0;
        QTest::newRow("negative exponent") << "25e-1" << 2.5;
        QTest::newRow("Chinese unit ends it") << "3公斤" << 3.0;
        QTest::newRow("full-width digits are not digits") << "１２" << 0.0;
    }
    void lenient()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(readNumber(text), expected);
    }

    void lenientIgnoresLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(readNumber(QStringLiteral("2.5")), 2.5);
        QCOMPARE(readNumber(QStringLiteral("2,5")), 2.0);
        QLocale::setDefault(before);
    }

    void lenientOverflowIsAFailure()
    {
        QVERIFY_THROWS_EXCEPTION(NumberError, readNumber(QStringLiteral("1E400")));
        QVERIFY_THROWS_EXCEPTION(NumberError, readNumber(QStringLiteral("&H1FFFFFFFF")));
    }

    void format_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 300.0 << "300";
        QTest::newRow("fraction") << 37.5 << "37.5";
        QTest::newRow("negative") << -50.0 << "-50";
        QTest::newRow("near a thousand") << 999.9 << "999.9";
        QTest::newRow("binary noise rounds away") << (0.1 + 0.2) << "0.3";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("no grouping") << 1234567.0 << "1234567";
        QTest::newRow("large, no exponent") << 1e20 << "100000000000000000000";
        QTest::newRow("small, no exponent") << 0.000125 << "0.000125";
        QTest::newRow("fifteen digits") << 123456789.123456789 << "123456789.123457";
        QTest::newRow("negative fraction") << -0.5 << "-0.5";
    }
    void format()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(formatNumber(value), expected);
    }

    void formatThenReadRoundTrips()
    {
        for (double v : {380.5, -12.25, 1e-7, 98765.4321, 32767.0})
            QCOMPARE(readNumber(formatNumber(v)), v);
    }

    void strict_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "999.5" << true << 999.5;
        QTest::newRow("outer blanks") << " 12 " << true << 12.0;
        QTest::newRow("negative") << "-50" << true << -50.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("unit") << "12kg" << false << 0.0;
        QTest::newRow("letters") << "abc" << false << 0.0;
        QTest::newRow("two numbers") << "1 2" << false << 0.0;
        QTest::newRow("full stop is the decimal point") << "1.234" << true << 1.234;
        QTest::newRow("comma is no decimal point") << "1,5" << false << 0.0;
        QTest::newRow("no grouping") << "1,234" << false << 0.0;
        QTest::newRow("exponent") << "2.5e3" << true << 2500.0;
        QTest::newRow("too large") << "1e999" << false << 0.0;
        QTest::newRow("infinity") << "inf" << false << 0.0;
        QTest::newRow("nan") << "nan" << false << 0.0;
    }
    // One meaning whatever the user's locale, a comma-decimal one included.
    void strict()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, expected);
        const QLocale before;
        for (const QLocale& l : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                 QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan)}) {
            QLocale::setDefault(l);
            bool good = !ok;
            const double v = toNumberStrict(text, &good);
            QLocale::setDefault(before);
            QCOMPARE(good, ok);
            if (ok)
                QCOMPARE(v, expected);
        }
    }

    void shopRange_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber"); // what a number column would take as a number
        QTest::addColumn<bool>("storable");
        QTest::addColumn<bool>("precise"); // no finer than the books hold
        QTest::newRow("plain") << " 37.5 " << true << true << true;
        QTest::newRow("a trillion") << "-1e12" << true << true << true;
        QTest::newRow("a ten-thousandth") << "0.0001" << true << true << true;
        QTest::newRow("finer") << "1e-5" << true << true << false;
        QTest::newRow("a fifth decimal") << "-1.23456" << true << true << false;
        QTest::newRow("past a trillion") << "1000000000001" << true << false << true;
        QTest::newRow("overflow") << "1e999" << true << false << false;
        QTest::newRow("infinity") << "-Infinity" << true << false << false;
        QTest::newRow("nan") << "NaN" << true << false << false;
        QTest::newRow("text") << "便宜" << false << false << false;
        QTest::newRow("comma") << "1,5" << false << false << false;
    }
    void shopRange()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(bool, storable);
        QFETCH(bool, precise);
        const std::optional<double> x = numberInText(text);
        QCOMPARE(x.has_value(), isNumber);
        QCOMPARE(x && isShopNumber(*x), storable);
        QCOMPARE(x && isMoneyPrecise(*x), precise);
    }

    // Money keeps what the screens show, to 1/10000, and refuses what no
    // shop holds.
    void money_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept"); // empty: refused
        QTest::newRow("whole") << "300"
                               << "300";
        QTest::newRow("typed half rounds up, though stored below") << "1.00005"
                                                                   << "1.0001";
        QTest::newRow("negative half rounds away from zero") << "-2.00005"
                                                             << "-2.0001";
        QTest::newRow("below the scale") << "0.00004"
                                         << "0";
        QTest::newRow("binary noise") << "0.30000000000000004"
                                      << "0.3";
        QTest::newRow("at the limit") << "1000000000000"
                                      << "1000000000000";
        QTest::newRow("beyond the limit") << "1000000000001"
                                          << "";
        QTest::newRow("lenient reading") << "12.5元"
                                         << "12.5";
    }
    void money()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        if (kept.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(NumberError, Money::parse(typed));
            return;
        }
        QCOMPARE(Money::parse(typed).toString(), kept);
    }

    // The short road from a double to units must land where the written
    // digits do, for typed decimals, binary noise around them and halves.
    void shortRoadsAgreeWithDigits()
    {
        std::mt19937_64 random(7);
        const double steps[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
        for (int i = 0; i < 200000; ++i) {
            const double step = steps[random() % 7];
            const double magnitude = std::pow(10.0, double(random() % 16) - 3);
            double x = std::round(double(random() % 1000000007) / 1000000007.0 * magnitude * step) / step;
            if (i % 3 == 1)
                x = std::nextafter(x, i % 2 ? 0.0 : 1e13);
            if (i % 5 == 2)
                x += 0.00005; // a half at the fifth decimal
            if (i % 2)
                x = -x;
            if (std::fabs(x) > 1e12)
                continue;
            if (Money::fromDouble(x).units() != Money::unitsFromDigits(x))
                QFAIL(qPrintable(QString::number(x, 'g', 17)));
            // Fifteen significant digits, written without an exponent in this range.
            if (std::fabs(x) >= 1e-4 && std::fabs(x) < 1e11 && formatNumber(x) != QString::number(x, 'g', 15))
                QFAIL(qPrintable(QString::number(x, 'g', 17) + QStringLiteral(" written ") + formatNumber(x)));
        }
    }

    void moneyArithmeticIsExact()
    {
        Money sum;
        for (int i = 0; i < 100000; ++i)
            sum += Money::parse(QStringLiteral("0.1"));
        QCOMPARE(sum.toString(), QStringLiteral("10000"));
        // A line: 3 kg at 33.3333 a kg, rounded once.
        QCOMPARE((Money::parse(QStringLiteral("33.3333")) * Money::parse(QStringLiteral("3"))).toString(),
                 QStringLiteral("99.9999"));
        QCOMPARE((Money::parse(QStringLiteral("0.0001")) * Money::parse(QStringLiteral("0.5"))).toString(),
                 QStringLiteral("0.0001"));
        QVERIFY_THROWS_EXCEPTION(NumberError, Money::parse(QStringLiteral("1e12")) + Money::parse(QStringLiteral("1")));
    }

    void strictFailureSaysWhy()
    {
        try {
            toNumberStrictOrFail(QString());
            QFAIL("an empty text converted");
        } catch (const NumberError& e) {
            QVERIFY(e.description().contains(QStringLiteral("空")));
        }
    }
};

QTEST_GUILESS_MAIN(NumbersTest)
#include "tst_numbers.moc"
