#include "base/Failures.h"
#include "base/Money.h"
#include "base/Numbers.h"
#include "base/Units.h"

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
    // 7.2 公斤 is a whole amount in every weight: every pair converts exactly
    // both ways, and no weight converts to a count or a count to another.
    void unitsEveryPair()
    {
        const QHash<QString, double> same = {{QStringLiteral("公斤"), 7.2},
                                             {QStringLiteral("台斤"), 12},
                                             {QStringLiteral("兩"), 192},
                                             {QStringLiteral("公克"), 7200}};
        for (const units::Unit& from : units::all())
            for (const units::Unit& to : units::all()) {
                const Money one = Money::fromDouble(same.value(from.name, 3));
                const std::optional<Money> got = units::convert(one, from, to);
                if (from.name == to.name)
                    QCOMPARE(got, std::optional<Money>(one));
                else if (same.contains(from.name) && same.contains(to.name))
                    QCOMPARE(got, std::optional<Money>(Money::fromDouble(same[to.name])));
                else
                    QVERIFY2(!got, qPrintable(from.name + QStringLiteral("→") + to.name));
            }
    }

    void unitsConvert_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<double>("amount");
        QTest::addColumn<double>("expected"); // NaN: refused
        QTest::addColumn<bool>("price");
        const double no = std::nan("");
        QTest::newRow("1 公斤 is no whole 1/10000 台斤") << "公斤"
                                                         << "台斤" << 1.0 << no << false;
        QTest::newRow("1 公斤 in 兩 is 26.666…") << "公斤"
                                                 << "兩" << 1.0 << no << false;
        QTest::newRow("四兩 is 150 公克") << "兩"
                                          << "公克" << 4.0 << 150.0 << false;
        QTest::newRow("一兩 is a sixteenth of a 台斤") << "兩"
                                                       << "台斤" << 1.0 << 0.0625 << false;
        QTest::newRow("0.1 公克 is the least 公斤") << "公克"
                                                    << "公斤" << 0.1 << 0.0001 << false;
        QTest::newRow("0.01 公克 is finer than the books") << "公克"
                                                           << "公斤" << 0.01 << no << false;
        QTest::newRow("100 公克 in 兩") << "公克"
                                        << "兩" << 100.0 << no << false;
        QTest::newRow("a negative amount") << "台斤"
                                           << "兩" << -2.0 << -32.0 << false;
        QTest::newRow("2400 a 台斤 is 150 a 兩") << "台斤"
                                                 << "兩" << 2400.0 << 150.0 << true;
        QTest::newRow("150 a 兩 is 4000 a 公斤") << "兩"
                                                 << "公斤" << 150.0 << 4000.0 << true;
        QTest::newRow("1 a 公克 is 1000 a 公斤") << "公克"
                                                 << "公斤" << 1.0 << 1000.0 << true;
        QTest::newRow("1000 a 公斤 in 兩 is 37.5") << "公斤"
                                                   << "兩" << 1000.0 << 37.5 << true;
        QTest::newRow("1 a 公斤 in 兩 is 0.0375") << "公斤"
                                                  << "兩" << 1.0 << 0.0375 << true;
        QTest::newRow("0.0001 a 公斤 in 公克") << "公斤"
                                               << "公克" << 0.0001 << no << true;
    }
    void unitsConvert()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(double, amount);
        QFETCH(double, expected);
        QFETCH(bool, price);
        const units::Unit &f = *units::find(from), &t = *units::find(to);
        const std::optional<Money> got = price ? units::convertPrice(Money::fromDouble(amount), f, t)
                                               : units::convert(Money::fromDouble(amount), f, t);
        if (std::isnan(expected))
            QVERIFY(!got);
        else
            QCOMPARE(got, std::optional<Money>(Money::fromDouble(expected)));
    }

    // What a quantity box takes for a tea in each unit; refused: the start of
    // the message. A text naming no unit, or the tea's own, reads as the
    // lenient reading does.
    void unitsTyped_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<double>("expected");
        QTest::addColumn<QString>("refused");
        const QString ok;
        QTest::newRow("公斤: 12kg") << "公斤"
                                    << "12kg" << false << 12.0 << ok;
        QTest::newRow("公斤: 2.5") << "公斤"
                                   << "2.5" << false << 2.5 << ok;
        QTest::newRow("公斤: 1,000") << "公斤"
                                     << "1,000" << false << 1.0 << ok;
        QTest::newRow("公斤: abc") << "公斤"
                                   << "abc" << false << 0.0 << ok;
        QTest::newRow("公斤: abcg reads as it always has") << "公斤"
                                                           << "abcg" << false << 0.0 << ok;
        QTest::newRow("公斤: 12.5 公斤") << "公斤"
                                         << " 12.5 公斤" << false << 12.5 << ok;
        QTest::newRow("公斤: &H10 stays hex") << "公斤"
                                              << "&H10" << false << 16.0 << ok;
        QTest::newRow("公斤: 半斤") << "公斤"
                                    << "半斤" << false << 0.3 << ok;
        QTest::newRow("公斤: 4兩") << "公斤"
                                   << "4兩" << false << 0.15 << ok;
        QTest::newRow("公斤: 150g") << "公斤"
                                    << "150g" << false << 0.15 << ok;
        QTest::newRow("兩: 4兩") << "兩"
                                 << "4兩" << false << 4.0 << ok;
        QTest::newRow("兩: 四兩") << "兩"
                                  << "四兩" << false << 4.0 << ok;
        QTest::newRow("兩: 十二兩") << "兩"
                                    << "十二兩" << false << 12.0 << ok;
        QTest::newRow("兩: 兩斤 is two") << "兩"
                                         << "兩斤" << false << 32.0 << ok;
        QTest::newRow("兩: 半斤") << "兩"
                                  << "半斤" << false << 8.0 << ok;
        QTest::newRow("兩: 1.5斤") << "兩"
                                   << "1.5斤" << false << 24.0 << ok;
        QTest::newRow("兩: 150g") << "兩"
                                  << "150g" << false << 4.0 << ok;
        QTest::newRow("兩: 150 G") << "兩"
                                   << "150 G" << false << 4.0 << ok;
        QTest::newRow("兩: 0.15kg") << "兩"
                                    << "0.15kg" << false << 4.0 << ok;
        QTest::newRow("兩: 12 alone") << "兩"
                                      << "12" << false << 12.0 << ok;
        QTest::newRow("兩: abc alone") << "兩"
                                       << "abc" << false << 0.0 << ok;
        QTest::newRow("兩: 0.5kg inexact") << "兩"
                                           << "0.5kg" << false << 0.0 << "「0.5kg」換算成兩是 13.3333";
        QTest::newRow("兩: 2盒") << "兩"
                                 << "2盒" << false << 0.0 << "「2盒」是以盒計的數量";
        QTest::newRow("兩: abc斤") << "兩"
                                   << "abc斤" << false << 0.0 << "看不懂數量「abc斤」";
        QTest::newRow("兩: 1e400斤") << "兩"
                                     << "1e400斤" << false << 0.0 << "看不懂數量";
        QTest::newRow("台斤: 4兩") << "台斤"
                                   << "4兩" << false << 0.25 << ok;
        QTest::newRow("盒: 2盒") << "盒"
                                 << "2盒" << false << 2.0 << ok;
        QTest::newRow("whole, 盒: 三盒") << "盒"
                                         << "三盒" << true << 3.0 << ok;
        QTest::newRow("公斤: 三公斤 reads as it always has") << "公斤"
                                                             << "三公斤" << false << 0.0 << ok;
        QTest::newRow("盒: 4兩") << "盒"
                                 << "4兩" << false << 0.0 << "「4兩」是以兩計的數量";
        QTest::newRow("盒: 3罐") << "盒"
                                 << "3罐" << false << 0.0 << "「3罐」是以罐計的數量";
        QTest::newRow("whole, 兩: 150g") << "兩"
                                         << "150g" << true << 4.0 << ok;
        QTest::newRow("whole, 兩: 半斤") << "兩"
                                         << "半斤" << true << 8.0 << ok;
        QTest::newRow("whole, 兩: 100g") << "兩"
                                         << "100g" << true << 0.0
                                         << "訂購數量必須是整數兩：「100g」是 2.66666666666667兩。最接近的是 "
                                            "75公克 = 2兩 或 112.5公克 = 3兩。";
        QTest::newRow("whole, 兩: 0.5kg") << "兩"
                                          << "0.5kg" << true << 0.0
                                          << "訂購數量必須是整數兩：「0.5kg」是 13.3333333333333兩。最接近的是 "
                                             "0.4875公斤 = 13兩 或 0.525公斤 = 14兩。";
        QTest::newRow("whole, 台斤: 4兩")
            << "台斤"
            << "4兩" << true << 0.0 << "訂購數量必須是整數台斤：「4兩」是 0.25台斤。最接近的是 16兩 = 1台斤。";
        QTest::newRow("whole, 公斤: 2.5")
            << "公斤"
            << "2.5" << true << 0.0 << "訂購數量必須是整數公斤：「2.5」不是。最接近的是 2公斤 或 3公斤。";
        QTest::newRow("whole, 公斤: 12kg") << "公斤"
                                           << "12kg" << true << 12.0 << ok;
        QTest::newRow("whole, 公斤: 3000g") << "公斤"
                                            << "3000g" << true << 3.0 << ok;
    }
    void unitsTyped()
    {
        QFETCH(QString, unit);
        QFETCH(QString, text);
        QFETCH(bool, whole);
        QFETCH(double, expected);
        QFETCH(QString, refused);
        const units::Unit& u = *units::find(unit);
        const units::Reading r = whole ? units::readWhole(text, u) : units::read(text, u);
        QVERIFY2(r.refusal.startsWith(refused) && r.refusal.isEmpty() == refused.isEmpty(), qPrintable(r.refusal));
        QCOMPARE(r.value, expected);
    }

    void unitsStored()
    {
        QCOMPARE(units::fromStored(QVariant())->name, QStringLiteral("公斤"));
        QCOMPARE(units::fromStored(QStringLiteral(" "))->name, QStringLiteral("公斤"));
        QVERIFY(!units::fromStored(QStringLiteral("磅")));
        QCOMPARE(units::toStored(units::kilogram()), QString());
        QCOMPARE(units::suffix(QStringLiteral("公斤")), QString());
        QCOMPARE(units::suffix(QStringLiteral("兩")), QStringLiteral("兩"));
    }
};

QTEST_GUILESS_MAIN(NumbersTest)
#include "tst_numbers.moc"
