#pragma once
// Reading numbers as scanf "%f" and "%d" read them: the same characters taken and the
// same float stored, bit for bit. The shortest numbers, which make up most of
// a map, have an inline way here so that readers of long runs of them pay no
// call; everything else goes through scanFloatText.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace q {

// Parses a float exactly as scanf "%f" does at the start of text: the
// characters scanf would take, and the value strtof gives for them. Returns the
// number of characters taken, 0 when scanf reports a matching failure.
size_t scanFloatText(std::string_view text, float* out);

namespace decimal {

constexpr uint64_t kHighBits = 0x8080808080808080u;

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The value of eight decimal digits, most significant first, given as byte
// values 0..9 in memory order (the first digit in the lowest byte).
inline uint32_t eightDigitValue(uint64_t digits) {
    digits = digits * 10 + (digits >> 8);  // pairs
    digits = (((digits & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
              (((digits >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >> 32;
    return static_cast<uint32_t>(digits);
}

// Byte values 0..9 of the digits of an eight-byte chunk (the dot becomes 0x1E).
inline uint64_t digitValues(const char* p) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    return chunk ^ 0x3030303030303030u;
}
// The length of the word at p: the bytes before the first one at or below
// ' ' among the next sixteen; 16 when there is none.
[[gnu::always_inline]] inline int wordLength16(const char* p) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i atMostSpace = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(' ')), bytes);
    return __builtin_ctz(static_cast<unsigned>(_mm_movemask_epi8(atMostSpace)) | 0x10000u);
#else
    int n = 0;
    while (n < 16 && static_cast<unsigned char>(p[n]) > ' ') ++n;
    return n;
#endif
}

// The high bit of each byte of a chunk of digitValues that is not a digit. A
// byte is a digit when its value is below 10 and its top bit clear; setting
// the top bit first keeps the subtraction inside each byte.
inline uint64_t nonDigitBytes(uint64_t values) {
    return (((values | kHighBits) - 0x0A0A0A0A0A0A0A0Au) | values) & kHighBits;
}

// The commonest map numbers, "-8328", "63.0625", "0": at most seven digits and
// a dot after the sign, read from one eight-byte chunk. Seven digits are below
// 2^24 and so is every power of ten up to 10^7: both are exact floats, so a
// whole number converts exactly and a decimal takes one float division, whose
// one rounding is the correctly rounded value strtof gives. The one branch,
// whole or not, follows the columns of a map's lines and is guessed right.
//
// The value of the word of word characters at first (followed by a byte at or
// below ' ', with 8 bytes of text at least after the sign) when it is such a
// number whole; false otherwise, for scanFloatText to read.
[[gnu::always_inline]] inline bool tinyDecimalWord(const char* first, int word, float* out) {
    const bool negative = *first == '-';
    const int sign = negative | (*first == '+');
    const int length = word - sign;  // digits and dot
    if (static_cast<unsigned>(length - 1) > 7) return false;
    const uint64_t values = digitValues(first + sign);  // digits 0..9, the dot 0x1E
    // The high bit of each byte of the number that is not a digit: none, or
    // the dot alone.
    const uint64_t nonDigits = nonDigitBytes(values) & (~uint64_t{0} >> (64 - 8 * length));
    float magnitude;
    if (nonDigits == 0) {
        // A whole number, which most map numbers are: exact as a float.
        if (length > 7) return false;
        magnitude = static_cast<float>(eightDigitValue(values << (64 - 8 * length)));
    } else {
        const int dotAt = __builtin_ctzll(nonDigits) >> 3;
        const int digits = length - 1;
        if ((nonDigits & (nonDigits - 1)) || ((values >> (8 * dotAt)) & 0xFF) != ('.' ^ '0') || digits == 0)
            return false;
        // The digits without the dot: those after it move down one byte.
        // Shifting the digits to the top drops the bytes after them and leaves
        // zero digits in front.
        const uint64_t below = (uint64_t{1} << (8 * dotAt)) - 1;
        const uint64_t joined = (values & below) | ((values >> 8) & ~below);
        static constexpr float kFloatPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
        magnitude = static_cast<float>(eightDigitValue(joined << (64 - 8 * digits))) /
                    kFloatPowers[length - 1 - dotAt];
    }
    *out = negative ? -magnitude : magnitude;
    return true;
}

[[gnu::always_inline]] inline size_t scanTinyDecimal(const char* first, size_t available, float* out) {
    if constexpr (std::endian::native != std::endian::little) return 0;
    if (available < 16) return 0;
    // Where the number ends is taken from the white space after it, which is
    // known sooner than the end the digits give: the next number need not wait
    // for this one's digits. What lies before it must be the number whole.
    const int word = wordLength16(first);
    return tinyDecimalWord(first, word, out) ? static_cast<size_t>(word) : 0;
}

// Bit i set for each of the 64 bytes at p above ' ' (the characters of words
// and numbers); *white gets bit i for each that is white space. Bytes that are
// neither (control characters) are clear in both.
[[gnu::always_inline]] inline uint64_t visibleBytes64(const char* p, uint64_t* white) {
    uint64_t visible = 0, blank = 0;
#if defined(__SSE2__)
    for (int k = 0; k < 4; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i fromTab = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
        // Unsigned comparisons through max and min: above ' '; \t to \r.
        const __m128i isVisible = _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(' ' + 1)), bytes);
        const __m128i isWhite =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                         _mm_cmpeq_epi8(_mm_min_epu8(fromTab, _mm_set1_epi8('\r' - '\t')), fromTab));
        visible |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(isVisible))} << (16 * k);
        blank |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(isWhite))} << (16 * k);
    }
#else
    for (int i = 0; i < 64; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        visible |= uint64_t{c > ' '} << i;
        blank |= uint64_t{c == ' ' || (c >= '\t' && c <= '\r')} << i;
    }
#endif
    *white = blank;
    return visible;
}

// The words (runs of bytes above ' ') of the 64 bytes at p, first to last.
struct Words64 {
    explicit Words64(const char* p) : visible(visibleBytes64(p, &white)) {}
    // The next word's first byte and the byte after its last; false when it
    // runs past the 64 bytes, or there is none.
    [[gnu::always_inline]] bool next(int* first, int* last) {
        if (ends == 0) return false;
        // Every end has its start before it, so neither is zero here.
        *first = __builtin_ctzll(starts);
        *last = __builtin_ctzll(ends);
        starts &= starts - 1;
        ends &= ends - 1;
        return true;
    }
    // Whether bytes up to end are all word characters or white space: a
    // control character among them stops scanf.
    bool plainUpTo(int end) const { return end <= firstControl; }

    uint64_t white = 0;
    const uint64_t visible;
    uint64_t starts = visible & ~(visible << 1);
    uint64_t ends = ~visible & (visible << 1);
    const int firstControl = std::countr_zero(~(visible | white));  // 64 for none
};

// Count numbers in a row, each after white space, as "%f" after "%f" reads
// them: where all are short numbers within the next 64 bytes, their words are
// found at once from one look at those bytes, so that no number waits for the
// end of the one before it. Returns the characters taken, with the values
// written; 0, with nothing written, when any is not such a number (they are
// then read one at a time). Needs 96 bytes of text.
template <size_t Count>
[[gnu::always_inline]] inline size_t scanTinyDecimalRun(const char* text, size_t available, float* const* out) {
    if constexpr (std::endian::native != std::endian::little) return 0;
    if (available < 96) return 0;
    Words64 words(text);
    float values[Count];
    bool ok = true;
    int last = 0;
    // Kept a loop: the processor overlaps its rounds anyway, and one copy of
    // the reading keeps its constants in registers.
#pragma GCC unroll 1
    for (size_t k = 0; k < Count; ++k) {
        int first = 0;
        if (!words.next(&first, &last)) return 0;
        ok &= tinyDecimalWord(text + first, last - first, &values[k]);
    }
    if (!ok || !words.plainUpTo(last)) return 0;
    for (size_t k = 0; k < Count; ++k) *out[k] = values[k];
    return static_cast<size_t>(last);
}

// The value of the word of word characters at first (with 8 bytes of text at
// least after the sign) when it is an integer of at most seven digits after an
// optional sign, as "%d" reads it; false otherwise.
[[gnu::always_inline]] inline bool tinyIntegerWord(const char* first, int word, int* out) {
    const bool negative = *first == '-';
    const int sign = negative | (*first == '+');
    const int length = word - sign;
    if (length < 1 || length > 7) return false;
    const uint64_t values = digitValues(first + sign);
    if (nonDigitBytes(values) & ((uint64_t{1} << (8 * length)) - 1)) return false;
    const int magnitude = static_cast<int>(eightDigitValue(values << (64 - 8 * length)));
    *out = negative ? -magnitude : magnitude;
    return true;
}

// Integers in a row, each followed by white space, as "%d " after "%d " reads
// them (a vertex index list): from one look at the next 64 bytes, those that
// are short (an optional sign and at most seven digits), lie wholly in those
// bytes and fall from lowest to highest are read, at most limit of them.
// Returns how many were written to out, with *taken the characters up to the
// end of the last; it stops at the first that is not such a number (0 for the
// very first), which is left to be read on its own. Needs 96 bytes of text.
template <class Value>
[[gnu::always_inline]] inline size_t scanTinyIntegerRun(const char* text, size_t available, int lowest, int highest,
                                                        Value* out, size_t limit, size_t* taken) {
    if constexpr (std::endian::native != std::endian::little) return 0;
    if (available < 96) return 0;
    Words64 words(text);
    size_t count = 0;
    int end = 0;
    int first = 0, last = 0;
    while (count < limit && words.next(&first, &last) && words.plainUpTo(last)) {
        int value = 0;
        if (!tinyIntegerWord(text + first, last - first, &value) || value < lowest || value > highest) break;
        out[count++] = static_cast<Value>(value);
        end = last;
    }
    *taken = static_cast<size_t>(end);
    return count;
}

// "%d" for the integers of map files, up to seven digits after an optional
// sign, from one eight-byte chunk. Needs 16 bytes of text; returns the
// characters taken, or 0 for anything else (left to the full reading).
[[gnu::always_inline]] inline size_t scanTinyInteger(const char* first, size_t available, int* out) {
    if constexpr (std::endian::native != std::endian::little) return 0;
    if (available < 16) return 0;
    const bool negative = *first == '-';
    const char* const p = first + (negative | (*first == '+'));
    const uint64_t values = digitValues(p);
    const uint64_t nonDigits = nonDigitBytes(values);
    if (!nonDigits) return 0;  // eight digits and more to come
    const int length = __builtin_ctzll(nonDigits) >> 3;
    if (length == 0) return 0;
    const int value = static_cast<int>(eightDigitValue(values << (64 - 8 * length)));
    *out = negative ? -value : value;
    return static_cast<size_t>(p + length - first);
}

}  // namespace decimal

}  // namespace q
