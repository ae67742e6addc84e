#include "FloatText.h"

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace beamlink {

namespace {

// The program's locale (set from the environment by the toolkit) must not change how numbers
// read or print, so every libc conversion here runs under a "C" locale of its own.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

class CLocaleScope {
public:
    CLocaleScope() : previous_(uselocale(cLocale())) {}
    ~CLocaleScope() { uselocale(previous_); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string quoted(std::string_view text) {
    std::string s = "'";
    s.append(text);
    s += '\'';
    return s;
}

// A finite non-negative value as decimal digits: value = 0.d1d2d3... * 10^exponent, no leading
// zeros in digits; zero has no digits.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

// The exact decimal expansion. glibc prints exactly when asked for enough digits, so the
// precision is a bound on the significant digits of m * 2^(e-64) with a 64-bit mantissa m.
Decimal exactDecimal(long double magnitude) {
    Decimal d;
    if (magnitude == 0) {
        return d;
    }
    int binaryExponent = 0;
    std::frexp(magnitude, &binaryExponent);
    int precision = 4 + (binaryExponent < 64 ? 64 - binaryExponent : 0) +
                    (binaryExponent > 0 ? binaryExponent * 302 / 1000 : 0);

    std::string text(static_cast<std::size_t>(precision) + 16, '\0');
    int length = 0;
    {
        CLocaleScope scope;
        length = std::snprintf(text.data(), text.size(), "%.*Le", precision, magnitude);
    }
    text.resize(static_cast<std::size_t>(length));

    // "d.ddd...e[+-]x"
    auto e = text.find('e');
    d.digits += text[0];
    d.digits.append(text, 2, e - 2);
    d.exponent = std::atoi(text.c_str() + e + 1) + 1;
    auto last = d.digits.find_last_not_of('0');
    d.digits.resize(last + 1);
    return d;
}

// Keeps the digits before position `keep` (counted from the first digit, may be <= 0),
// rounding halves away from zero.
void roundAt(Decimal& d, int keep) {
    if (keep >= static_cast<int>(d.digits.size())) {
        return;
    }
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') {
            --i;
        }
        if (i < 0) {
            d.digits.assign(1, '1');
            ++d.exponent;
        } else {
            d.digits.resize(static_cast<std::size_t>(i) + 1);
            ++d.digits[static_cast<std::size_t>(i)];
        }
    }
    auto last = d.digits.find_last_not_of('0');
    d.digits.resize(last == std::string::npos ? 0 : last + 1);
}

// Digit `i` of the value's decimal positions: position 0 is the first digit.
char digitAt(const Decimal& d, int i) {
    return i >= 0 && i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(i)]
                                                           : '0';
}

std::string nonFiniteText(long double value) {
    if (std::isnan(value)) {
        return "NAN";
    }
    return value < 0 ? "-INF" : "INF";
}

}  // namespace

bool TextToFloat(std::string_view text, std::string_view separators, long double& value) {
    std::size_t i = 0;
    std::size_t end = text.size();
    while (i < end && text[i] == ' ') {
        ++i;
    }
    while (end > i && text[end - 1] == ' ') {
        --end;
    }

    // Validated here and rebuilt in the one form strtold reads under any locale.
    std::string normal;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        normal += text[i++];
    }
    bool mantissa = false;
    bool separatorSeen = false;
    std::string digits;
    for (; i < end; ++i) {
        char c = text[i];
        if (isDigit(c)) {
            digits += c;
            mantissa = true;
        } else if (!separatorSeen && separators.find(c) != std::string_view::npos) {
            digits += '.';
            separatorSeen = true;
            mantissa = true;
        } else {
            break;
        }
    }
    if (!mantissa) {
        return false;
    }
    normal += '0';  // keeps a lone separator readable as 0
    normal += digits;

    if (i < end && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        std::string exponent = "e";
        if (i < end && (text[i] == '+' || text[i] == '-')) {
            exponent += text[i++];
        }
        bool exponentDigits = false;
        for (; i < end && isDigit(text[i]); ++i) {
            exponent += text[i];
            exponentDigits = true;
        }
        if (exponentDigits) {
            normal += exponent;
        }
    }
    if (i != end) {
        return false;
    }

    char* stop = nullptr;
    long double result = strtold_l(normal.c_str(), &stop, cLocale());
    if (*stop != '\0' || std::isinf(result)) {
        return false;
    }
    value = result;
    return true;
}

long double StrToFloat(std::string_view text, std::string_view separators) {
    long double value = 0;
    if (!TextToFloat(text, separators, value)) {
        throw EConvertError(quoted(text) + " is not a valid floating point value");
    }
    return value;
}

std::int32_t StrToInt(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    bool ok = i < text.size();
    for (; ok && i < text.size(); ++i) {
        ok = isDigit(text[i]);
        if (ok) {
            magnitude = magnitude * 10 + (text[i] - '0');
            ok = magnitude <= limit;
        }
    }
    if (!ok) {
        throw EConvertError(quoted(text) + " is not a valid integer value");
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::string FormatFixed(long double value, int width, int precision, char decimalSeparator) {
    std::string text;
    if (!std::isfinite(value)) {
        text = nonFiniteText(value);
    } else {
        if (precision < 0) {
            precision = 0;
        }
        Decimal d = exactDecimal(std::fabs(value));
        roundAt(d, 18);
        roundAt(d, d.exponent + precision);

        if (std::signbit(value) && !d.digits.empty()) {
            text += '-';
        }
        if (d.exponent <= 0) {
            text += '0';
        }
        for (int i = 0; i < d.exponent; ++i) {
            text += digitAt(d, i);
        }
        if (precision > 0) {
            text += decimalSeparator;
            for (int i = 0; i < precision; ++i) {
                text += digitAt(d, d.exponent + i);
            }
        }
    }
    if (width > static_cast<int>(text.size())) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

std::string FloatToStr(long double value, char decimalSeparator) {
    if (!std::isfinite(value)) {
        return nonFiniteText(value);
    }
    Decimal d = exactDecimal(std::fabs(value));
    roundAt(d, 15);
    if (d.digits.empty()) {
        return "0";
    }

    std::string text = std::signbit(value) ? "-" : "";
    const int count = static_cast<int>(d.digits.size());
    // The decimal exponent of d.ddd form is exponent - 1.
    const int exponent = d.exponent - 1;
    if (exponent >= 15 || exponent < -5) {
        text += d.digits[0];
        if (count > 1) {
            text += decimalSeparator;
            text.append(d.digits, 1);
        }
        text += 'E';
        text += std::to_string(exponent);
        return text;
    }
    if (d.exponent <= 0) {
        text += '0';
    }
    for (int i = 0; i < d.exponent; ++i) {
        text += digitAt(d, i);
    }
    if (count > d.exponent) {
        text += decimalSeparator;
        for (int i = d.exponent; i < count; ++i) {
            text += digitAt(d, i);
        }
    }
    return text;
}

}  // namespace beamlink
