#include "map/pattern_reader.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <array>
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

// mantissa / 10^scale rounded to the nearest float, for mantissa <= 2^24 and
// scale <= 10. Both are exact floats, so the float quotient rounds once, as
// strtof does. A division is slow; the product with the double nearest
// 10^-scale, rounded to float, is the same float for every mantissa and scale
// of this range (checked exhaustively, all 2^24 mantissas at each scale).
float shortDecimal(uint32_t mantissa, int scale) {
    static constexpr double kInversePowers[] = {1e0,  1e-1, 1e-2, 1e-3, 1e-4, 1e-5,
                                                1e-6, 1e-7, 1e-8, 1e-9, 1e-10};
    return static_cast<float>(static_cast<double>(mantissa) * kInversePowers[scale]);
}

}  // namespace

size_t scanFloatText(std::string_view text, float* out) {
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

    // Most numbers in map files are short decimals ("-1234.5", "0.25"). Their
    // digits as an integer w below 2^24 and a power of ten up to 10^10 are both
    // exact floats, so one float multiply or divide rounds once, exactly as
    // strtof does; everything else goes to the full conversion below.
    if (!hex) {
        const char* p = text.data() + i;
        const char* const last = text.data() + n;
        const char* const digitsStart = p;
        uint64_t mantissa = 0;
        while (p < last && static_cast<unsigned char>(*p - '0') < 10) mantissa = mantissa * 10 + (*p++ - '0');
        const char* const integerEnd = p;
        int scale = 0;
        if (p < last && *p == '.') {
            const char* const fractionStart = ++p;
            while (p < last && static_cast<unsigned char>(*p - '0') < 10) mantissa = mantissa * 10 + (*p++ - '0');
            scale = static_cast<int>(p - fractionStart);
        }
        const int digitCount = static_cast<int>(integerEnd - digitsStart) + scale;
        const bool anyDigit = gotDigit || digitCount > 0;
        const char next = p < last ? lower(*p) : '\0';
        if (anyDigit && digitCount <= 19 && mantissa <= (1u << 24) && scale <= 10 && next != 'e' &&
            next != '.') {
            const float value = shortDecimal(static_cast<uint32_t>(mantissa), scale);
            *out = negative ? -value : value;
            return static_cast<size_t>(p - text.data());
        }
    }

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
    std::string bytes;
    const uintmax_t expected = std::filesystem::file_size(p, ec);
    if (!ec && expected <= kLargestFile) bytes.reserve(static_cast<size_t>(expected));
    char chunk[1 << 16];
    bool tooLarge = false;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got == 0) break;
        if (bytes.size() + got > kLargestFile) {
            tooLarge = true;
            break;
        }
        bytes.append(chunk, got);
    }
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
    error_.clear();
    return true;
}

void PatternReader::skipWhite() {
    const char* p = text_.data();
    const size_t n = text_.size();
    while (pos_ < n && isWhite(p[pos_])) ++pos_;
}

bool PatternReader::scanInt(int* out) {
    const char* p = text_.data();
    const size_t n = text_.size();
    size_t i = pos_;
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
    if (i == digitsStart) {
        pos_ = i;  // scanf has taken the sign
        return false;
    }
    pos_ = i;
    if (negative) {
        *out = magnitude >= kLimit ? INT_MIN : static_cast<int>(-magnitude);
    } else {
        *out = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
    }
    return true;
}

bool PatternReader::scanFloat(float* out) {
    const size_t taken = scanFloatText(text_.substr(pos_), out);
    if (taken == 0) return false;
    pos_ += taken;
    return true;
}

bool PatternReader::scanWord(char* buffer, size_t capacity) {
    const char* p = text_.data();
    const size_t n = text_.size();
    const size_t start = pos_;
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
    pos_ = end;
    return true;
}

bool PatternReader::matchTargets(const char* pattern, ScanTarget* targets, size_t count) {
    assigned_ = 0;
    wordCut_ = false;
    failedPatternAt_ = nullptr;
    size_t next = 0;
    const char* p = pattern;
    const size_t n = text_.size();
    while (*p) {
        if (isWhite(*p)) {
            skipWhite();
            ++p;
            continue;
        }
        if (*p == '%' && p[1] != '%') {
            const char conversion = p[1];
            if (next >= count) {  // more conversions than targets: a fault of the caller
                failedPatternAt_ = p;
                return false;
            }
            ScanTarget& target = targets[next];
            skipWhite();
            bool ok = false;
            if (conversion == 'd' && target.kind == ScanTarget::Kind::Int) {
                int value = 0;
                ok = pos_ < n && scanInt(&value);
                if (ok) *static_cast<int*>(target.address) = value;
            } else if (conversion == 'f' && target.kind == ScanTarget::Kind::Float) {
                float value = 0.0f;
                ok = pos_ < n && scanFloat(&value);
                if (ok) *static_cast<float*>(target.address) = value;
            } else if (conversion == 's' && target.kind == ScanTarget::Kind::Word) {
                ok = pos_ < n && scanWord(static_cast<char*>(target.address), target.capacity);
            }
            if (!ok) {
                failedPatternAt_ = p;
                return false;
            }
            ++assigned_;
            ++next;
            p += 2;
            continue;
        }
        // An ordinary character ("%%" stands for a percent sign, and like every
        // conversion skips white space before it).
        const char literal = *p;
        if (literal == '%') skipWhite();
        if (pos_ >= n || text_[pos_] != literal) {
            failedPatternAt_ = p;
            return false;
        }
        ++pos_;
        p += (literal == '%') ? 2 : 1;
    }
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
    int line = 1;
    const char* p = text_.data();
    const char* end = p + offset;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))))) {
        ++line;
        ++p;
    }
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
