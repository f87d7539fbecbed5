#include "NumberText.h"

#include <cerrno>
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
    std::string digits; // trailing zeros dropped, at least one digit
    int exponent = 0;
};

Digits roundTo15(double magnitude)
{
    // 17 digits decide the rounding unless they read ...50 in the 16th and
    // 17th place; then only the exact expansion can tell a tie.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.16e", magnitude);
    std::string mant;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (isDigit(*p))
            mant += *p;
    int exp10 = std::atoi(p + 1);

    bool roundUp;
    if (mant[15] > '5' || (mant[15] == '5' && mant[16] != '0'))
        roundUp = true;
    else if (mant[15] < '4' || (mant[15] == '4' && mant[16] != '9'))
        roundUp = false;
    else {
        // Between ...495 and ...505: look at every digit of the double.
        std::vector<char> exact(1100);
        std::snprintf(exact.data(), exact.size(), "%.1070e", magnitude);
        std::string all;
        for (const char* q = exact.data(); *q && *q != 'e'; ++q)
            if (isDigit(*q))
                all += *q;
        roundUp = all.size() > 15 && all[15] >= '5';
    }

    std::string d = mant.substr(0, 15);
    if (roundUp) {
        int i = 14;
        for (; i >= 0 && d[i] == '9'; --i)
            d[i] = '0';
        if (i < 0) { // 999...9 rounded up to the next power of ten
            d = "1";
            ++exp10;
        } else {
            ++d[i];
        }
    }
    while (d.size() > 1 && d.back() == '0')
        d.pop_back();
    return {d, exp10 + 1};
}

} // namespace

std::string formatWhole(int64_t value) { return std::to_string(value); }

std::string formatReal(double value, std::string_view sep)
{
    if (value == 0)
        return "0";
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";

    const Digits r = roundTo15(std::fabs(value));
    std::string out = value < 0 ? "-" : "";
    const int e = r.exponent;
    const std::string& d = r.digits;
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
        return out;
    }
    out += d[0];
    if (d.size() > 1) {
        out += sep;
        out += d.substr(1);
    }
    out += 'E';
    out += std::to_string(e - 1);
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
