#include "NumberText.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <vector>

namespace plotrun {

namespace {

std::string_view trimBlanks(std::string_view t)
{
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    return t;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// strtod in the "C" locale, whatever the program's own locale is.
double strtodC(const char* text, char** end)
{
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(text, end, cLocale);
}

// The 15 significant digits of |value| rounded half away from zero, and the
// decimal exponent e with |value| = 0.d1d2... x 10^e.
struct Digits {
    char digits[15]; // trailing zeros dropped, at least one digit
    int count = 0;
    int exponent = 0;
};

// The significant digits of `magnitude` written in scientific form with
// `decimals` digits after the point (correctly rounded, as printf's "%.Ne"
// in the "C" locale), and the decimal exponent of the first.
int scientificDigits(double magnitude, int decimals, char* digits, int capacity, int& exp10)
{
    char text[1100];
    const auto written = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, decimals);
    int n = 0;
    const char* p = text;
    for (; p < written.ptr && *p != 'e'; ++p)
        if (isDigit(*p) && n < capacity)
            digits[n++] = *p;
    const bool negative = p + 1 < written.ptr && p[1] == '-';
    exp10 = 0;
    for (p += 2; p < written.ptr; ++p)
        exp10 = exp10 * 10 + (*p - '0');
    if (negative)
        exp10 = -exp10;
    return n;
}

Digits roundTo15(double magnitude)
{
    // 17 digits decide the rounding unless they read ...50 in the 16th and
    // 17th place; then only the exact expansion can tell a tie.
    char mant[17];
    int exp10 = 0;
    scientificDigits(magnitude, 16, mant, 17, exp10);

    bool roundUp;
    if (mant[15] > '5' || (mant[15] == '5' && mant[16] != '0'))
        roundUp = true;
    else if (mant[15] < '4' || (mant[15] == '4' && mant[16] != '9'))
        roundUp = false;
    else {
        // Between ...495 and ...505: look at every digit of the double.
        char all[16];
        int unused = 0;
        roundUp = scientificDigits(magnitude, 1070, all, 16, unused) > 15 && all[15] >= '5';
    }

    Digits d;
    std::copy_n(mant, 15, d.digits);
    d.count = 15;
    if (roundUp) {
        int i = 14;
        for (; i >= 0 && d.digits[i] == '9'; --i)
            d.digits[i] = '0';
        if (i < 0) { // 999...9 rounded up to the next power of ten
            d.digits[0] = '1';
            d.count = 1;
            ++exp10;
        } else {
            ++d.digits[i];
        }
    }
    while (d.count > 1 && d.digits[d.count - 1] == '0')
        --d.count;
    d.exponent = exp10 + 1;
    return d;
}

} // namespace

std::string formatWhole(int64_t value) { return std::to_string(value); }

void appendReal(std::string& out, double value, std::string_view sep)
{
    if (value == 0) {
        out += '0';
        return;
    }
    if (std::isnan(value)) {
        out += "NAN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-INF" : "INF";
        return;
    }

    const Digits r = roundTo15(std::fabs(value));
    if (value < 0)
        out += '-';
    const int e = r.exponent;
    const std::string_view d(r.digits, static_cast<size_t>(r.count));
    if (e >= -3 && e <= 15) {
        if (e <= 0) {
            out += '0';
            out += sep;
            out.append(static_cast<size_t>(-e), '0');
            out += d;
        } else if (static_cast<int>(d.size()) <= e) {
            out += d;
            out.append(static_cast<size_t>(e) - d.size(), '0');
        } else {
            out += d.substr(0, static_cast<size_t>(e));
            out += sep;
            out += d.substr(static_cast<size_t>(e));
        }
        return;
    }
    out += d[0];
    if (d.size() > 1) {
        out += sep;
        out += d.substr(1);
    }
    out += 'E';
    char exponent[8];
    const auto written = std::to_chars(exponent, exponent + sizeof exponent, e - 1);
    out.append(exponent, written.ptr);
}

std::string formatReal(double value, std::string_view sep)
{
    std::string out;
    appendReal(out, value, sep);
    return out;
}

std::optional<double> readReal(std::string_view text, std::string_view sep)
{
    const std::string_view t = trimBlanks(text);
    // Check the form by hand and hand strtod a "C" text, so that neither the
    // process locale nor strtod's extra notations (hex, inf, nan) get in.
    std::string c;
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        c += t[i++];
    size_t digits = 0;
    while (i < t.size() && isDigit(t[i])) {
        c += t[i++];
        ++digits;
    }
    if (!sep.empty() && t.substr(i, sep.size()) == sep) {
        i += sep.size();
        c += '.';
        while (i < t.size() && isDigit(t[i])) {
            c += t[i++];
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        c += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            c += t[i++];
        size_t expDigits = 0;
        while (i < t.size() && isDigit(t[i])) {
            c += t[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double v = strtodC(c.c_str(), &end);
    if (std::isinf(v) || std::isnan(v)) // overflow; an underflow reads as 0
        return std::nullopt;
    return v;
}

std::optional<double> readBitmap(std::string_view text, std::string_view sep)
{
    const std::optional<double> v = readReal(text, sep);
    if (!v)
        return std::nullopt;
    // + 0.0 turns the -0 of a truncated -0.5 into a plain 0.
    return std::trunc(*v) + 0.0;
}

std::optional<int32_t> readWhole(std::string_view text)
{
    const std::string_view t = trimBlanks(text);
    size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    if (i == t.size())
        return std::nullopt;
    for (size_t k = i; k < t.size(); ++k)
        if (!isDigit(t[k]))
            return std::nullopt;
    int64_t v = 0;
    for (size_t k = i; k < t.size(); ++k) {
        v = v * 10 + (t[k] - '0');
        if (v > 2147483648LL)
            return std::nullopt;
    }
    if (t[0] == '-')
        v = -v;
    if (v > 2147483647LL)
        return std::nullopt;
    return static_cast<int32_t>(v);
}

} // namespace plotrun
