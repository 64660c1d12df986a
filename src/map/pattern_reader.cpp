#include "map/pattern_reader.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Files larger than this are not maps anyone can walk; refusing them keeps a
// stray multi-gigabyte file from being read into memory.
constexpr uintmax_t kLargestFile = uintmax_t{1} << 30;

std::string directoryOf(const char* path) {
    std::error_code ec;
    std::filesystem::path p(path);
    std::filesystem::path dir = p.has_parent_path() ? p.parent_path() : std::filesystem::path(".");
    std::filesystem::path absolute = std::filesystem::absolute(dir, ec);
    if (ec) return dir.string();
    // "." made absolute ends in a separator; the messages add their own.
    std::string text = absolute.lexically_normal().string();
    if (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

}  // namespace

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
    std::string refusal;
    mapped_ = MappedFile::map(path, kLargestFile, &refusal);
    if (!refusal.empty()) {
        *error = refusal;
        return false;
    }
    if (mapped_) {
        storage_.reset();
        startOver(mapped_->text());
        return true;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        *error = "cannot open " + directoryOf(path) + "/" + p.filename().string() + ": " +
                 std::strerror(errno);
        return false;
    }
    // Read straight into a buffer left unset (the read fills it): the size the
    // file system gives first, then doubling for a file that grows meanwhile
    // (a regular file the system would not map).
    const uintmax_t expected = std::filesystem::file_size(p, ec);
    size_t capacity = (!ec && expected < kLargestFile) ? static_cast<size_t>(expected) + 1 : size_t{1} << 16;
    auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
    size_t filled = 0;
    bool tooLarge = false;
    for (;;) {
        filled += std::fread(bytes.get() + filled, 1, capacity - filled, file);
        if (filled > kLargestFile) {
            tooLarge = true;
            break;
        }
        if (filled < capacity) break;  // the end, or an error told below
        const size_t larger = std::min(capacity * 2, static_cast<size_t>(kLargestFile) + 1);
        auto grown = std::make_unique_for_overwrite<char[]>(larger);
        std::memcpy(grown.get(), bytes.get(), filled);
        bytes = std::move(grown);
        capacity = larger;
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
    startOver(std::string_view(storage_.get(), filled));
    return true;
}

void PatternReader::startOver(std::string_view text) {
    text_ = text;
    pos_ = 0;
    lineCacheOffset_ = 0;
    lineCacheLine_ = 1;
    error_.clear();
}

void PatternReader::resumeAt(size_t offset) {
    error_.clear();
    pos_ = std::min(offset, text_.size());
    assigned_ = 0;
    wordCut_ = false;
    failedPatternAt_ = nullptr;
}

bool PatternReader::wasCutShort() const { return mapped_ && mapped_->wasCutShort(); }

bool PatternReader::outcome(bool read, std::string* error) const {
    if (wasCutShort()) {
        *error = name_ + ": the file was cut short while it was being read";
        return false;
    }
    if (!read) *error = error_;
    return read;
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
        if (op.skipWhite) skipWhite(pos);
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

bool PatternReader::fits(int64_t count, const Pattern& pattern) const {
    if (count < 0) return false;
    const size_t each = pattern.minimumLength();
    if (each == 0) return true;
    return static_cast<uint64_t>(count) <= remaining() / each;
}

int PatternReader::lineAt(size_t offset) const {
    // Name the line of what follows, not the end of the line before it.
    skipWhite(offset);
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
    skipWhite(found);
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
    skipWhite(i);
    return i < text_.size() ? text_[i] : '\0';
}

size_t PatternReader::firstBinaryByte() const {
    // A block at a time, sixteen bytes to a step where the processor allows;
    // only a block that holds such a byte is searched for it.
    const auto* p = reinterpret_cast<const unsigned char*>(text_.data());
    const size_t n = text_.size();
    constexpr size_t kBlock = 4096;
    auto isBinary = [](unsigned char c) { return c < 9 || (c >= 14 && c < 32); };
    for (size_t start = 0; start < n; start += kBlock) {
        const size_t end = std::min(n, start + kBlock);
        size_t i = start;
        bool bad = false;
#if defined(__SSE2__)
        __m128i any = _mm_setzero_si128();
        for (; i + 16 <= end; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i fromShiftOut = _mm_sub_epi8(bytes, _mm_set1_epi8(14));
            // Unsigned "at most" through min: below 9, or 14 to 31.
            const __m128i below9 = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(8)), bytes);
            const __m128i controls = _mm_cmpeq_epi8(_mm_min_epu8(fromShiftOut, _mm_set1_epi8(17)), fromShiftOut);
            any = _mm_or_si128(any, _mm_or_si128(below9, controls));
        }
        bad = _mm_movemask_epi8(any) != 0;
#endif
        for (; i < end; ++i) bad |= isBinary(p[i]);
        if (!bad) continue;
        for (i = start; i < end; ++i)
            if (isBinary(p[i])) return i;
    }
    return std::string_view::npos;
}

}  // namespace q
