// The text forms of numbers: the real-number format and the strict reading
// of typed text.
#include "NumberText.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace plotrun {
namespace {

struct FormatCase {
    double value;
    const char* text;
    friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.text; }
};

class RealFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(RealFormat, WritesTheGeneralFormWith15Digits)
{
    EXPECT_EQ(formatReal(GetParam().value, "."), GetParam().text) << "value " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, RealFormat,
    ::testing::Values(FormatCase{5, "5"}, FormatCase{-2.5, "-2.5"}, FormatCase{1.0 / 3, "0.333333333333333"},
                      FormatCase{2.0 / 3, "0.666666666666667"}, FormatCase{1e-4, "0.0001"}, FormatCase{1e-5, "1E-5"},
                      FormatCase{1e15, "1E15"}, FormatCase{1e15 - 1, "999999999999999"}, FormatCase{0.0, "0"},
                      FormatCase{-0.0, "0"}, FormatCase{120, "120"}, FormatCase{0.525, "0.525"},
                      FormatCase{123456789012345678.0, "1.23456789012346E17"}, FormatCase{-1.5e-7, "-1.5E-7"},
                      FormatCase{0.00012345, "0.00012345"}, FormatCase{100, "100"}, FormatCase{1e14, "100000000000000"},
                      // 16 exact digits ending in 5: a half, rounded away from zero.
                      FormatCase{1000000000000005.0, "1.00000000000001E15"},
                      FormatCase{-1000000000000005.0, "-1.00000000000001E15"}, FormatCase{9999999999999995.0, "1E16"},
                      FormatCase{0.1 + 0.2, "0.3"}, FormatCase{1.7976931348623157e308, "1.79769313486232E308"},
                      FormatCase{4.9406564584124654e-324, "4.94065645841247E-324"}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return "case" + std::to_string(info.index); });

// The 15-digit rounding read literally off printf's digits: 17 digits, and
// every digit of the double where the 16th and 17th leave a tie open.
std::string literalDigits(double magnitude, int& exponent)
{
    char buf[1200];
    std::snprintf(buf, sizeof buf, "%.16e", magnitude);
    std::string mant;
    const char* p = buf;
    for (; *p != 'e'; ++p)
        if (*p != '.')
            mant += *p;
    exponent = std::atoi(p + 1) + 1;
    bool up = mant[15] > '5' || (mant[15] == '5' && mant[16] != '0');
    if (!up && (mant[15] == '5' || (mant[15] == '4' && mant[16] == '9'))) {
        std::snprintf(buf, sizeof buf, "%.1070e", magnitude);
        std::string all;
        for (const char* q = buf; *q != 'e'; ++q)
            if (*q != '.')
                all += *q;
        up = all[15] >= '5';
    }
    std::string d = mant.substr(0, 15);
    if (up) {
        int i = 14;
        for (; i >= 0 && d[i] == '9'; --i)
            d[i] = '0';
        if (i < 0) {
            d = "1";
            ++exponent;
        } else {
            ++d[size_t(i)];
        }
    }
    while (d.size() > 1 && d.back() == '0')
        d.pop_back();
    return d;
}

std::string literalFormat(double v)
{
    if (v == 0)
        return "0";
    int e = 0;
    const std::string d = literalDigits(std::fabs(v), e);
    std::string out = v < 0 ? "-" : "";
    if (e >= -3 && e <= 15) {
        if (e <= 0)
            return out + "0." + std::string(size_t(-e), '0') + d;
        if (int(d.size()) <= e)
            return out + d + std::string(size_t(e) - d.size(), '0');
        return out + d.substr(0, size_t(e)) + "." + d.substr(size_t(e));
    }
    return out + d.substr(0, 1) + (d.size() > 1 ? "." + d.substr(1) : "") + "E" + std::to_string(e - 1);
}

TEST(RealFormatDigits, EqualTheLiteralRoundingOnManyValuesAndEveryKindOfTie)
{
    std::mt19937_64 rng(15);
    std::vector<double> values;
    for (int i = 0; i < 100000; ++i) {
        double v = std::bit_cast<double>(rng());
        if (std::isfinite(v))
            values.push_back(v);
        values.push_back(std::uniform_real_distribution<double>(-1e4, 1e4)(rng));
        // Sixteen exact digits ending in 4, 5 or 6, scaled by powers of two:
        // ties and near ties at the 16th digit.
        const int64_t k = int64_t(rng() % 900000000000000) * 10 + 1000000000000000 + int64_t(4 + rng() % 3);
        values.push_back(std::ldexp(double(k), int(rng() % 120) - 60));
        values.push_back(double(int64_t(rng() % 2000000) - 1000000) / 1000.0);
    }
    for (const double v : values)
        ASSERT_EQ(formatReal(v, "."), literalFormat(v)) << std::hexfloat << v;
}

TEST(RealFormatSeparator, UsesTheGivenDecimalSeparator)
{
    EXPECT_EQ(formatReal(2.5, ","), "2,5");
    EXPECT_EQ(formatReal(1.25e-9, ","), "1,25E-9");
    EXPECT_EQ(formatReal(0.001, ","), "0,001");
}

TEST(RealReading, ReadsSignFractionAndExponent)
{
    EXPECT_EQ(readReal("2.5", "."), 2.5);
    EXPECT_EQ(readReal("-2.5e3", "."), -2500);
    EXPECT_EQ(readReal("+.5", "."), 0.5);
    EXPECT_EQ(readReal("5.", "."), 5);
    EXPECT_EQ(readReal(" 7 ", "."), 7);
    EXPECT_EQ(readReal("1E-2", "."), 0.01);
    EXPECT_EQ(readReal("2,5", ","), 2.5);
    EXPECT_EQ(readReal("1e-400", "."), 0);
}

TEST(RealReading, RefusesWhatIsNotADecimalNumber)
{
    for (const char* bad :
         {"", " ", "abc", "1.2.3", "1e", "e5", ".", "-", "1,5", "0x10", "inf", "nan", "1e400", "1 2", "--1", "5%"})
        EXPECT_FALSE(readReal(bad, ".")) << '"' << bad << '"';
    EXPECT_FALSE(readReal("2.5", ","));
}

TEST(BitmapReading, TruncatesTowardZero)
{
    EXPECT_EQ(readBitmap("50.9", "."), 50);
    EXPECT_EQ(readBitmap("-0.5", "."), 0);
    EXPECT_FALSE(std::signbit(*readBitmap("-0.5", ".")));
    EXPECT_EQ(readBitmap("-3.7", "."), -3);
    EXPECT_EQ(readBitmap("1e20", "."), 1e20); // far outside: refused by the range checks
    EXPECT_FALSE(readBitmap("", "."));
}

TEST(WholeReading, ReadsOnlyDecimalIntegersIn32Bits)
{
    EXPECT_EQ(readWhole("128"), 128);
    EXPECT_EQ(readWhole("-5"), -5);
    EXPECT_EQ(readWhole("+7"), 7);
    EXPECT_EQ(readWhole("2147483647"), 2147483647);
    EXPECT_EQ(readWhole("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", "1.0", "1e2", "2147483648", "-2147483649", "12a", "+-1", "-", "99999999999999999999"})
        EXPECT_FALSE(readWhole(bad)) << '"' << bad << '"';
}

} // namespace
} // namespace plotrun
