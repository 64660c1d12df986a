#include "map/number_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace q {

namespace {

using namespace decimal;

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value strtof gives for text, through a bounded copy (the text is not
// zero-terminated). Only taken for values out of float range, where strtof's
// rounding to zero, a subnormal or infinity is the one scanf stores.
float strtofCopy(std::string_view text) {
    std::string copy(text);
    return std::strtof(copy.c_str(), nullptr);
}

constexpr uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                     100000, 1000000, 10000000, 100000000};

// The float nearest mantissa * 10^power, for mantissa below 2^53 and power
// from -22 to 22, with one multiplication by the double nearest 10^power (a
// division would cost three times as long, and a map is millions of numbers).
// The digits are an exact double and the power is within half a unit in the
// last place, so the product lies within two units of the exact value. Over
// that range the value is a normal float, whose 24-bit significand leaves the
// double's lowest 29 bits; a float halfway point has 1 followed by 28 zeros
// there. Unless the product lies within four units of such a point, no halfway
// point separates it from the exact value and both round to the same float,
// which is the one strtof gives. Near one, returns false: the full conversion
// decides.
inline bool floatOfScaled(uint64_t mantissa, int power, float* out) {
    static constexpr double kScale[] = {1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14,
                                        1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,
                                        1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,
                                        1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,
                                        1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22};
    const double value = static_cast<double>(mantissa) * kScale[power + 22];
    const uint64_t low = std::bit_cast<uint64_t>(value) & 0x1FFFFFFFu;
    if (low - (0x10000000u - 4) <= 8) return false;
    *out = static_cast<float>(value);
    return true;
}

// Reads the run of decimal digits at p into *mantissa (mantissa * 10 + digit
// for each), eight at a time where eight bytes are left. Returns the end of
// the run; *count grows by its length. Gives up (returns null) before the
// mantissa would pass 19 digits, which a uint64_t always holds.
const char* readDigits(const char* p, const char* last, uint64_t* mantissa, int* count) {
    uint64_t m = *mantissa;
    int c = *count;
    if constexpr (std::endian::native == std::endian::little) {
        while (last - p >= 8) {
            const uint64_t values = digitValues(p);
            const uint64_t nonDigits = nonDigitBytes(values);
            const int length = nonDigits ? std::countr_zero(nonDigits) >> 3 : 8;
            if (length == 0) break;
            if (c + length > 19) return nullptr;
            // Shifting the run to the top leaves zero digits in front of it.
            m = m * kPowersOfTen[length] + eightDigitValue(values << (8 * (8 - length)));
            c += length;
            p += length;
            if (length < 8) {
                *mantissa = m;
                *count = c;
                return p;
            }
        }
    }
    for (; p < last && isDigit(*p); ++p) {
        if (++c > 19) return nullptr;
        m = m * 10 + static_cast<unsigned>(*p - '0');
    }
    *mantissa = m;
    *count = c;
    return p;
}

// The length of the run of digits a chunk starts with (8 when it is all digits).
inline int digitRunLength(uint64_t values) {
    const uint64_t nonDigits = nonDigitBytes(values);
    return nonDigits ? std::countr_zero(nonDigits) >> 3 : 8;
}
// The value of the first length (0..7) digits of a chunk.
inline uint64_t leadingDigitsValue(uint64_t values, int length) {
    const uint64_t kept = values & ((uint64_t{1} << (8 * length)) - 1);
    return eightDigitValue(kept << ((64 - 8 * length) & 63));  // zero digits in front
}

// The usual map number, "-1234.56" or "0.5": up to seven digits either side of
// the dot and no exponent, read without a branch on its digits, for a run of
// such numbers of differing lengths keeps the processor guessing otherwise.
// Needs 32 bytes of text; returns 0 for anything else.
[[gnu::always_inline]] inline size_t scanPlainDecimal(std::string_view text, float* out) {
    if constexpr (std::endian::native != std::endian::little) return 0;
    if (text.size() < 32) return 0;
    const char* const first = text.data();
    const char* p = first;
    const bool negative = *p == '-';
    p += negative | (*p == '+');
    const uint64_t integerDigits = digitValues(p);
    const int integerLength = digitRunLength(integerDigits);
    const char* q = p + integerLength;
    const bool dot = *q == '.';
    q += dot;
    const uint64_t fractionDigits = digitValues(q);
    const int fractionRun = digitRunLength(fractionDigits);
    const int fractionLength = dot ? fractionRun : 0;
    const char* const end = q + fractionLength;
    const char next = lower(*end);
    if (((integerLength | fractionRun) & 8) || integerLength + fractionLength == 0 || next == 'e' || next == 'x' ||
        next == '.')
        return 0;
    const uint64_t mantissa = leadingDigitsValue(integerDigits, integerLength) * kPowersOfTen[fractionLength] +
                              leadingDigitsValue(fractionDigits, fractionLength);
    float rounded;
    if (mantissa < (uint64_t{1} << 24)) {
        // Digits and power are both exact floats, so the one rounding of the
        // float division is the correctly rounded value strtof gives; no check
        // and no trip through double.
        static constexpr float kFloatPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
        rounded = static_cast<float>(mantissa) / kFloatPowers[fractionLength];
    } else if (!floatOfScaled(mantissa, -fractionLength, &rounded)) {
        return 0;
    }
    *out = negative ? -rounded : rounded;
    return static_cast<size_t>(end - first);
}

// The decimal numbers map files are made of: digits, an optional fraction and
// decimal exponent, at most 19 significant digits and a power of ten up to
// 10^22 either way. Both the digits (below 2^53) and the power are exact
// doubles, so their product or quotient is the correctly rounded double of the
// number. Rounding that to float gives strtof's float unless the double lies
// exactly halfway between two floats: no other float tie can lie between the
// number and its nearest double. Those ties, and everything else, return 0 and
// are left to the full conversion.
size_t scanShortDecimal(std::string_view text, float* out) {
    const char* const first = text.data();
    const char* const last = first + text.size();
    const char* p = first;
    bool negative = false;
    if (p < last && (*p == '-' || *p == '+')) negative = *p++ == '-';
    if (p + 1 < last && p[0] == '0' && lower(p[1]) == 'x') return 0;  // hexadecimal

    uint64_t mantissa = 0;
    int digitCount = 0;
    p = readDigits(p, last, &mantissa, &digitCount);
    if (!p) return 0;
    int scale = 0;
    if (p < last && *p == '.') {
        const int before = digitCount;
        p = readDigits(p + 1, last, &mantissa, &digitCount);
        if (!p) return 0;
        scale = digitCount - before;
    }
    if (digitCount == 0) return 0;
    int exponent = 0;
    if (p < last && lower(*p) == 'e') {
        const char* q = p + 1;
        bool negativeExponent = false;
        if (q < last && (*q == '-' || *q == '+')) negativeExponent = *q++ == '-';
        const char* const exponentDigits = q;
        for (; q < last && isDigit(*q); ++q)
            if (exponent < 10000) exponent = exponent * 10 + (*q - '0');
        if (q == exponentDigits) return 0;  // "1e" or "1e+": scanf takes more than converts
        if (negativeExponent) exponent = -exponent;
        p = q;
    }
    if (p < last && *p == '.') return 0;  // a second dot: let the full rules decide

    const int power = exponent - scale;
    if (mantissa == 0) {
        *out = negative ? -0.0f : 0.0f;
        return static_cast<size_t>(p - first);
    }
    if (mantissa >= (uint64_t{1} << 53) || power < -22 || power > 22) return 0;
    float rounded;
    if (!floatOfScaled(mantissa, power, &rounded)) return 0;
    *out = negative ? -rounded : rounded;
    return static_cast<size_t>(p - first);
}

// Everything but the plain decimals: kept out of line so that the plain way
// stays small enough to be inlined where numbers are read.
[[gnu::noinline]] size_t scanFloatTextSlowly(std::string_view text, float* out) {
    if (const size_t taken = scanShortDecimal(text, out)) return taken;

    // Take the characters scanf takes: it reads greedily, one character of
    // look-ahead, so "1e+" is taken whole though only "1" converts, while
    // "infin" and "0x" are matching failures.
    const size_t n = text.size();
    size_t i = 0;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t signLength = i;

    auto matchWord = [&](const char* word) {
        size_t k = 0;
        for (; word[k]; ++k)
            if (i + k >= n || lower(text[i + k]) != word[k]) return false;
        i += k;
        return true;
    };

    if (i < n && lower(text[i]) == 'n') {
        if (!matchWord("nan")) return 0;
        *out = negative ? -std::numeric_limits<float>::quiet_NaN()
                        : std::numeric_limits<float>::quiet_NaN();
        return i;
    }
    if (i < n && lower(text[i]) == 'i') {
        if (!matchWord("inf")) return 0;
        if (i < n && lower(text[i]) == 'i' && !matchWord("inity")) return 0;
        *out = negative ? -std::numeric_limits<float>::infinity()
                        : std::numeric_limits<float>::infinity();
        return i;
    }

    bool hex = false;
    bool gotDigit = false;
    if (i < n && text[i] == '0') {
        ++i;
        if (i < n && lower(text[i]) == 'x') {
            hex = true;
            ++i;
        } else {
            gotDigit = true;
        }
    }
    const size_t digitsStart = i;
    const char exponentChar = hex ? 'p' : 'e';
    bool gotDot = false;
    bool gotExponent = false;

    for (; i < n; ++i) {
        const char c = text[i];
        if (isDigit(c) || (hex && !gotExponent && isHexDigit(c))) {
            gotDigit = true;
        } else if (gotExponent && lower(text[i - 1]) == exponentChar && (c == '-' || c == '+')) {
            // sign of the exponent
        } else if (gotDigit && !gotExponent && lower(c) == exponentChar) {
            gotExponent = gotDot = true;
        } else if (!gotDot && c == '.') {
            gotDot = true;
        } else {
            break;
        }
    }
    const size_t taken = i;
    if (taken == signLength || (hex && taken == signLength + 2)) return 0;

    // Convert what was taken as strtof would: the longest valid prefix.
    const char* first = text.data() + (hex ? digitsStart : signLength);
    const char* last = text.data() + taken;
    float value = 0.0f;
    auto [end, ec] = std::from_chars(first, last, value,
                                     hex ? std::chars_format::hex : std::chars_format::general);
    if (end == first) {
        // "0x." with no hex digit: scanf takes the three characters and stores
        // the zero that strtof reads from them; "." alone is a matching failure.
        if (!hex || gotDigit) return 0;
        *out = negative ? -0.0f : 0.0f;
        return taken;
    }
    if (ec == std::errc::result_out_of_range) {
        value = strtofCopy(text.substr(0, taken));
        *out = value;
        return taken;
    }
    *out = negative ? -value : value;
    return taken;
}

}  // namespace

size_t scanFloatText(std::string_view text, float* out) {
    if (const size_t taken = scanTinyDecimal(text.data(), text.size(), out)) return taken;
    if (const size_t taken = scanPlainDecimal(text, out)) return taken;
    return scanFloatTextSlowly(text, out);
}

}  // namespace q
