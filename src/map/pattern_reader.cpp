#include "map/pattern_reader.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <filesystem>
#include <limits>

namespace q {

namespace {

// The C locale's white space, which is what scanf skips: blank, \t \n \v \f \r.
constexpr auto kWhite = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = true;
    return table;
}();
inline bool isWhite(char c) { return kWhite[static_cast<unsigned char>(c)]; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Files larger than this are not maps anyone can walk; refusing them keeps a
// stray multi-gigabyte file from being read into memory.
constexpr uintmax_t kLargestFile = uintmax_t{1} << 30;

std::string directoryOf(const char* path) {
    std::error_code ec;
    std::filesystem::path p(path);
    std::filesystem::path dir = p.has_parent_path() ? p.parent_path() : std::filesystem::path(".");
    std::filesystem::path absolute = std::filesystem::absolute(dir, ec);
    return ec ? dir.string() : absolute.lexically_normal().string();
}

// The value strtof gives for text, through a bounded copy (the text is not
// zero-terminated). Only taken for values out of float range, where strtof's
// rounding to zero, a subnormal or infinity is the one scanf stores.
float strtofCopy(std::string_view text) {
    std::string copy(text);
    return std::strtof(copy.c_str(), nullptr);
}

constexpr uint64_t kHighBits = 0x8080808080808080u;
constexpr uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                     100000, 1000000, 10000000, 100000000};

// The value of eight decimal digits, most significant first, given as byte
// values 0..9 in memory order (the first digit in the lowest byte).
inline uint32_t eightDigitValue(uint64_t digits) {
    digits = digits * 10 + (digits >> 8);  // pairs
    digits = (((digits & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
              (((digits >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >> 32;
    return static_cast<uint32_t>(digits);
}

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
            uint64_t chunk;
            std::memcpy(&chunk, p, 8);
            const uint64_t values = chunk ^ 0x3030303030303030u;  // digits become 0..9
            // A byte is a digit when its value is below 10 and its top bit clear;
            // setting the top bit first keeps the subtraction inside each byte.
            const uint64_t nonDigits = (((values | kHighBits) - 0x0A0A0A0A0A0A0A0Au) | values) & kHighBits;
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

// Byte values 0..9 of the digits of a chunk, and the length of the run of
// digits it starts with (8 when the whole chunk is digits).
inline uint64_t digitValues(const char* p) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    return chunk ^ 0x3030303030303030u;
}
inline int digitRunLength(uint64_t values) {
    // A byte is a digit when its value is below 10 and its top bit clear;
    // setting the top bit first keeps the subtraction inside each byte.
    const uint64_t nonDigits = (((values | kHighBits) - 0x0A0A0A0A0A0A0A0Au) | values) & kHighBits;
    return nonDigits ? std::countr_zero(nonDigits) >> 3 : 8;
}
// The value of the first length (0..7) digits of a chunk.
inline uint64_t leadingDigitsValue(uint64_t values, int length) {
    const uint64_t kept = values & ((uint64_t{1} << (8 * length)) - 1);
    return eightDigitValue(kept << ((64 - 8 * length) & 63));  // zero digits in front
}

// The commonest map numbers, "-8328", "63.0625", "0": at most seven digits and
// dot after the sign, read from one eight-byte chunk with no branch on their
// shape. Seven digits are below 2^24 and so is every power of ten up to 10^7:
// both are exact floats and the one rounding of the float division is the correctly
// rounded value strtof gives. Needs 16 bytes of text; returns 0 for anything
// else, which the longer ways below then read.
[[gnu::always_inline]] inline size_t scanTinyDecimal(std::string_view text, float* out) {
    if constexpr (std::endian::native != std::endian::little) return 0;
    if (text.size() < 16) return 0;
    const char* const first = text.data();
    const bool negative = *first == '-';
    const char* const p = first + (negative | (*first == '+'));
    const uint64_t values = digitValues(p);  // digits 0..9, the dot 0x1E
    // The high bit of each byte that is not a digit.
    const uint64_t nonDigits = (((values | kHighBits) - 0x0A0A0A0A0A0A0A0Au) | values) & kHighBits;
    if (!nonDigits) return 0;  // eight digits and more to come
    const int dotAt = std::countr_zero(nonDigits) >> 3;
    const bool dot = ((values >> (8 * dotAt)) & 0xFF) == ('.' ^ '0');
    // With a dot, the number ends at the next byte that is not a digit.
    const uint64_t after = dot ? nonDigits & (nonDigits - 1) : nonDigits;
    if (!after) return 0;
    const int length = std::countr_zero(after) >> 3;  // digits and dot
    const int digits = length - dot;
    const char next = lower(p[length]);
    if (digits == 0 || next == 'e' || next == 'x' || next == '.') return 0;
    // The digits without the dot: those after it move down one byte.
    const uint64_t below = (uint64_t{1} << (8 * dotAt)) - 1;
    const uint64_t joined = dot ? (values & below) | ((values >> 8) & ~below) : values;
    const uint64_t kept = joined & ((uint64_t{1} << (8 * digits)) - 1);
    const uint32_t mantissa = eightDigitValue(kept << (64 - 8 * digits));
    static constexpr float kFloatPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
    const float magnitude = static_cast<float>(mantissa) / kFloatPowers[length - dotAt - dot];
    *out = negative ? -magnitude : magnitude;
    return static_cast<size_t>(p + length - first);
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
    if (const size_t taken = scanTinyDecimal(text, out)) return taken;
    if (const size_t taken = scanPlainDecimal(text, out)) return taken;
    return scanFloatTextSlowly(text, out);
}

PatternReader::PatternReader(std::string_view text, std::string name)
    : text_(text), name_(std::move(name)) {}

bool PatternReader::open(const char* path, std::string* error) {
    name_ = path;
    std::error_code ec;
    const std::filesystem::path p(path);
    if (std::filesystem::is_directory(p, ec)) {
        *error = "cannot read " + std::string(path) + ": it is a directory (looked in " +
                 directoryOf(path) + ")";
        return false;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        *error = "cannot open " + directoryOf(path) + "/" + p.filename().string() + ": " +
                 std::strerror(errno);
        return false;
    }
    // Read straight into the string: the size the file system gives first, then
    // in growing steps for a file that grows meanwhile or has no size (a pipe).
    std::string bytes;
    const uintmax_t expected = std::filesystem::file_size(p, ec);
    size_t step = (!ec && expected < kLargestFile) ? static_cast<size_t>(expected) + 1 : size_t{1} << 16;
    size_t filled = 0;
    bool tooLarge = false;
    for (;;) {
        if (filled + step > kLargestFile + 1) step = kLargestFile + 1 - filled;
        bytes.resize(filled + step);
        const size_t got = std::fread(bytes.data() + filled, 1, step, file);
        filled += got;
        if (filled > kLargestFile) {
            tooLarge = true;
            break;
        }
        if (got < step) break;
        step = std::max(step, size_t{1} << 16);
    }
    bytes.resize(filled);
    const bool readError = std::ferror(file) != 0;
    const int savedErrno = errno;
    std::fclose(file);
    if (readError) {
        *error = "cannot read " + std::string(path) + ": " + std::strerror(savedErrno);
        return false;
    }
    if (tooLarge) {
        *error = std::string(path) + ": expected a map file of at most 1 GiB";
        return false;
    }
    storage_ = std::move(bytes);
    text_ = storage_;
    pos_ = 0;
    lineCacheOffset_ = 0;
    lineCacheLine_ = 1;
    error_.clear();
    return true;
}

bool PatternReader::scanInt(size_t* pos, int* out) const {
    const char* p = text_.data();
    const size_t n = text_.size();
    size_t i = *pos;
    bool negative = false;
    if (i < n && (p[i] == '-' || p[i] == '+')) {
        negative = p[i] == '-';
        ++i;
    }
    const size_t digitsStart = i;
    int64_t magnitude = 0;
    constexpr int64_t kLimit = int64_t{INT_MAX} + 1;
    for (; i < n && isDigit(p[i]); ++i)
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (p[i] - '0');
    *pos = i;  // on a failure too: scanf has taken the sign
    if (i == digitsStart) return false;
    if (negative) {
        *out = magnitude >= kLimit ? INT_MIN : static_cast<int>(-magnitude);
    } else {
        *out = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
    }
    return true;
}

bool PatternReader::scanFloat(size_t* pos, float* out) const {
    const size_t taken = scanFloatText(text_.substr(*pos), out);
    if (taken == 0) return false;
    *pos += taken;
    return true;
}

bool PatternReader::scanWord(size_t* pos, char* buffer, size_t capacity) {
    const char* p = text_.data();
    const size_t n = text_.size();
    const size_t start = *pos;
    size_t end = start;
    while (end < n && !isWhite(p[end])) ++end;
    if (end == start) return false;
    size_t length = end - start;
    if (length > capacity - 1) {
        length = capacity - 1;
        wordCut_ = true;
    }
    std::memcpy(buffer, p + start, length);
    buffer[length] = '\0';
    *pos = end;
    return true;
}

bool PatternReader::matchTargets(const Pattern& pattern, ScanTarget* targets, size_t count) {
    assigned_ = 0;
    wordCut_ = false;
    failedPatternAt_ = nullptr;
    size_t next = 0;
    if (!matchSteps(pattern, targets, count, &next)) return false;
    // A pattern too long for one Pattern goes on a piece at a time.
    for (const char* rest = pattern.rest(); *rest;) {
        const Pattern piece(rest);
        if (!matchSteps(piece, targets, count, &next)) return false;
        rest = piece.rest();
    }
    return true;
}

bool PatternReader::matchSteps(const Pattern& pattern, ScanTarget* targets, size_t count, size_t* next) {
    const char* const text = text_.data();
    const size_t n = text_.size();
    const char* const patternText = pattern.text();
    size_t pos = pos_;
    auto stop = [&](const char* at) {
        pos_ = pos;
        failedPatternAt_ = at;
        return false;
    };
    for (const Pattern::Op& op : pattern) {
        if (op.skipWhite)
            while (pos < n && isWhite(text[pos])) ++pos;
        const char* const at = patternText + op.offset;
        switch (op.step) {
            case Pattern::Step::White:
                continue;
            case Pattern::Step::Literal:
                for (size_t k = 0; k < op.length; ++k, ++pos)
                    if (pos >= n || text[pos] != at[k]) return stop(at + k);
                continue;
            case Pattern::Step::Percent:
                if (pos >= n || text[pos] != '%') return stop(at);
                ++pos;
                continue;
            default:
                break;
        }
        if (*next >= count) return stop(at);  // more conversions than targets: a fault of the caller
        const ScanTarget& target = targets[*next];
        bool ok = false;
        if (pos < n) {
            if (op.step == Pattern::Step::Float && target.kind == ScanTarget::Kind::Float) {
                ok = scanFloat(&pos, static_cast<float*>(target.address));
            } else if (op.step == Pattern::Step::Int && target.kind == ScanTarget::Kind::Int) {
                ok = scanInt(&pos, static_cast<int*>(target.address));
            } else if (op.step == Pattern::Step::Word && target.kind == ScanTarget::Kind::Word) {
                ok = scanWord(&pos, static_cast<char*>(target.address), target.capacity);
            }
        }
        if (!ok) return stop(at);
        ++assigned_;
        ++*next;
    }
    pos_ = pos;
    return true;
}

size_t PatternReader::minimumLength(const char* pattern) {
    size_t length = 0;
    for (const char* p = pattern; *p; ++p) {
        if (isWhite(*p)) continue;
        if (*p == '%' && p[1]) ++p;  // a conversion, or "%%": one character either way
        ++length;
    }
    return length;
}

bool PatternReader::fits(int64_t count, const char* pattern) const {
    if (count < 0) return false;
    const size_t each = minimumLength(pattern);
    if (each == 0) return true;
    return static_cast<uint64_t>(count) <= remaining() / each;
}

int PatternReader::lineAt(size_t offset) const {
    // Name the line of what follows, not the end of the line before it.
    while (offset < text_.size() && isWhite(text_[offset])) ++offset;
    if (offset > text_.size()) offset = text_.size();
    // Counting goes on from the offset asked for last when this one lies
    // beyond it: readers name lines in file order (a warning per dropped
    // portal), and a long file must not be counted from its start each time.
    size_t from = 0;
    int line = 1;
    if (offset >= lineCacheOffset_) {
        from = lineCacheOffset_;
        line = lineCacheLine_;
    }
    const char* p = text_.data() + from;
    const char* end = text_.data() + offset;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))))) {
        ++line;
        ++p;
    }
    lineCacheOffset_ = offset;
    lineCacheLine_ = line;
    return line;
}

bool PatternReader::fail(const std::string& what) { return failAt(pos_, what); }

bool PatternReader::failAt(size_t offset, const std::string& what) {
    return failWith(offset, "expected " + what);
}

bool PatternReader::failWith(size_t offset, const std::string& message) {
    if (error_.empty()) error_ = name_ + ":" + std::to_string(lineAt(offset)) + ": " + message;
    return false;
}

void PatternReader::failExpected(const char* pattern, const char* context) {
    std::string what;
    const char* at = failedPatternAt_ ? failedPatternAt_ : pattern;
    size_t found = pos_;
    if (at[0] == '%' && at[1] == 'd') {
        what = "an integer";
    } else if (at[0] == '%' && at[1] == 's') {
        what = "a word";
    } else if (at[0] == '%') {
        what = "a number";
    } else {
        // Name the whole literal word that failed, and show the text from where
        // that word began (its first characters may have matched).
        const char* start = at;
        while (start > pattern && !isWhite(start[-1]) && start[-1] != '%' &&
               !(start - pattern >= 2 && start[-2] == '%'))
            --start;
        found -= std::min(found, static_cast<size_t>(at - start));
        const char* end = at;
        while (*end && !(end[0] == '%' && end[1] != '%')) ++end;
        while (end > start && isWhite(end[-1])) --end;
        what.assign(1, '"');
        what.append(start, static_cast<size_t>(end - start));
        what.push_back('"');
    }
    if (context) what += std::string(" in ") + context;
    while (found < text_.size() && isWhite(text_[found])) ++found;
    if (found >= text_.size()) {
        what += ", found the end of the file";
    } else {
        size_t end = found;
        while (end < text_.size() && !isWhite(text_[end]) && end - found < 24) ++end;
        std::string shown(text_.substr(found, end - found));
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
        what.append(", found \"").append(shown).push_back('"');
    }
    failAt(found, what);
}

char PatternReader::nextVisible() const {
    size_t i = pos_;
    while (i < text_.size() && isWhite(text_[i])) ++i;
    return i < text_.size() ? text_[i] : '\0';
}

size_t PatternReader::firstBinaryByte() const {
    // Checked a block at a time with a loop the compiler can vectorise; only a
    // block that holds such a byte is searched for it.
    const auto* p = reinterpret_cast<const unsigned char*>(text_.data());
    const size_t n = text_.size();
    constexpr size_t kBlock = 4096;
    for (size_t start = 0; start < n; start += kBlock) {
        const size_t end = std::min(n, start + kBlock);
        unsigned bad = 0;
        for (size_t i = start; i < end; ++i)
            bad |= static_cast<unsigned>(p[i] < 9) | static_cast<unsigned>(static_cast<unsigned char>(p[i] - 14) < 18);
        if (!bad) continue;
        for (size_t i = start; i < end; ++i)
            if (p[i] < 9 || (p[i] >= 14 && p[i] < 32)) return i;
    }
    return std::string_view::npos;
}

}  // namespace q
