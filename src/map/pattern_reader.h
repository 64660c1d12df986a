#pragma once
// The map readers' one way of reading text: scanf-style patterns applied to a
// whole file held in memory, so that each reader states its patterns with the
// files' own comment text and still gets exactly the values the C library's
// scanf would give, without its per-character locking.
//
// Pattern rules (those of scanf):
//   - a blank matches any run of white space, including none;
//   - "%d" a decimal integer with optional sign, "%f" a float, "%s" a run of
//     non-white characters; each first skips leading white space;
//   - every other character must match the text exactly.
// A pattern that fails stops where matching stopped and leaves the remaining
// targets unchanged. White space is the C locale's: blank, \t, \n, \v, \f, \r
// (so "\r\n" line ends read as they do through a text-mode FILE here).
//
// Where scanf itself is undefined or unsafe, this reader is not:
//   - "%d" beyond the int range is clamped to INT_MIN / INT_MAX;
//   - "%s" never writes past its buffer: a longer word is cut to the buffer
//     (always zero-terminated), the rest of the word is skipped, and
//     wordWasCut() says so until the next match.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "map/number_text.h"
#include "platform/mapped_file.h"

namespace q {

// One destination of a conversion, typed so that a pattern cannot write an
// integer into a float or a word past its buffer.
struct ScanTarget {
    enum class Kind : uint8_t { Int, Float, Word };
    Kind kind;
    void* address;
    size_t capacity;  // words only: buffer size including the terminating zero

    ScanTarget(int* value) : kind(Kind::Int), address(value), capacity(0) {}
    ScanTarget(float* value) : kind(Kind::Float), address(value), capacity(0) {}
    template <size_t N>
    ScanTarget(char (&buffer)[N]) : kind(Kind::Word), address(buffer), capacity(N) {
        static_assert(N > 0);
    }
};

// A pattern taken apart once into the steps that match it, so that matching
// does not walk its text again for every line of a file. The readers declare
// theirs constexpr: the steps are made when the program is compiled, and the
// text stays as the files write it (messages quote it).
class Pattern {
public:
    enum class Step : uint8_t {
        Literal,  // characters that must be there, length of them at offset
        Percent,  // "%%": a percent sign
        Int,      // "%d"
        Float,    // "%f"
        Word,     // "%s"
        Unknown,  // any other conversion: never matches
        White,    // a blank at the end of the pattern
    };
    struct Op {
        Step step = Step::White;
        bool skipWhite = false;  // white space in the text is passed over first
        uint16_t length = 0;
        uint32_t offset = 0;  // of the step in the pattern text
    };
    static constexpr size_t kMaxOps = 48;

    constexpr explicit Pattern(const char* text) : text_(text) {
        compile();
        for (const char* p = text_; *p; ++p) {
            if (isWhite(*p)) continue;
            if (*p == '%' && p[1]) ++p;  // a conversion, or "%%": one character either way
            ++minimumLength_;
        }
    }

    constexpr const char* text() const { return text_; }
    // The fewest characters a match takes: its literal characters and one per
    // conversion (white space may match none).
    constexpr size_t minimumLength() const { return minimumLength_; }
    constexpr size_t size() const { return count_; }
    constexpr const Op& op(size_t i) const { return ops_[i]; }
    constexpr bool isConversion(size_t i) const {
        return ops_[i].step == Step::Int || ops_[i].step == Step::Float || ops_[i].step == Step::Word ||
               ops_[i].step == Step::Unknown;
    }
    // Which target the conversion at step i writes: the conversions before it.
    constexpr size_t targetOf(size_t i) const {
        size_t n = 0;
        for (size_t k = 0; k < i; ++k) n += isConversion(k) ? 1 : 0;
        return n;
    }
    constexpr size_t conversions() const { return targetOf(count_); }
    // Float steps in a row from step i, and whether step i continues such a run.
    constexpr size_t floatRunAt(size_t i) const {
        size_t n = 0;
        while (i + n < count_ && ops_[i + n].step == Step::Float) ++n;
        return n;
    }
    constexpr bool continuesFloatRun(size_t i) const {
        return i > 0 && ops_[i].step == Step::Float && ops_[i - 1].step == Step::Float;
    }
    constexpr bool hasUnknownConversion() const {
        for (size_t k = 0; k < count_; ++k)
            if (ops_[k].step == Step::Unknown) return true;
        return false;
    }
    constexpr const Op* begin() const { return ops_.data(); }
    constexpr const Op* end() const { return ops_.data() + count_; }
    // The text past the last step: empty unless the pattern has more steps
    // than one Pattern holds, in which case the rest is taken apart on use.
    constexpr const char* rest() const { return text_ + restOffset_; }

private:
    static constexpr bool isWhite(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    }
    constexpr void compile() {
        size_t i = 0;
        for (;;) {
            const size_t stepStart = i;  // where a piece would resume
            bool white = false;
            while (isWhite(text_[i])) {
                white = true;
                ++i;
            }
            if (!text_[i] && !white) break;
            if (count_ == kMaxOps || i > UINT32_MAX - 2) {
                restOffset_ = stepStart;
                return;
            }
            Op& op = ops_[count_++];
            op.skipWhite = white;
            op.offset = static_cast<uint32_t>(i);
            const char c = text_[i];
            if (!c) {
                op.step = Step::White;
                break;
            }
            if (c == '%' && text_[i + 1] != '%') {
                const char conversion = text_[i + 1];
                op.step = conversion == 'd'   ? Step::Int
                          : conversion == 'f' ? Step::Float
                          : conversion == 's' ? Step::Word
                                              : Step::Unknown;
                op.skipWhite = true;  // every conversion skips white space first
                if (!conversion) {    // a lone '%' ends the pattern, never matched
                    ++i;
                    break;
                }
                i += 2;
            } else if (c == '%') {
                op.step = Step::Percent;
                op.skipWhite = true;  // "%%" skips white space before it, as scanf does
                i += 2;
            } else {
                op.step = Step::Literal;
                while (text_[i] && !isWhite(text_[i]) && text_[i] != '%' && op.length < UINT16_MAX) {
                    ++op.length;
                    ++i;
                }
            }
        }
        restOffset_ = i;
    }

    const char* text_;
    size_t minimumLength_ = 0;
    size_t count_ = 0;
    size_t restOffset_ = 0;
    std::array<Op, kMaxOps> ops_{};
};

class PatternReader {
public:
    PatternReader() = default;
    // Reads over text owned by the caller; name appears in messages.
    PatternReader(std::string_view text, std::string name);

    // Maps the file into memory, or reads it whole where it cannot be mapped.
    // On failure returns false with a message naming the file (and the
    // directory it was looked for in) in *error.
    bool open(const char* path, std::string* error);
    // The file was cut short by another program while it was being read: some
    // of its text read as zero bytes, so nothing read from it can be trusted.
    bool wasCutShort() const;
    // What a reader that is done tells its caller: read, unless the text was
    // cut short under it; false with the message in *error otherwise.
    bool outcome(bool read, std::string* error) const;

    // Applies pattern at the current position. True when the whole pattern
    // matched; assigned() tells how many targets were written either way.
    template <class... Targets>
    bool match(const Pattern& pattern, Targets&&... targets) {
        std::array<ScanTarget, sizeof...(Targets)> list{ScanTarget(targets)...};
        return matchTargets(pattern, list.data(), list.size());
    }
    template <class... Targets>
    bool match(const char* pattern, Targets&&... targets) {
        return match(Pattern(pattern), targets...);
    }

    // As match, but a pattern that does not match wholly records the error
    // "<file>:<line>: expected <element> (<context>), found <text>" and
    // returns false. context may be null.
    template <class... Targets>
    bool expect(const Pattern& pattern, const char* context, Targets&&... targets) {
        if (match(pattern, targets...)) return true;
        failExpected(pattern.text(), context);
        return false;
    }
    template <class... Targets>
    bool expect(const char* pattern, const char* context, Targets&&... targets) {
        return expect(Pattern(pattern), context, targets...);
    }

    // The same for a pattern fixed when the program is compiled (a constexpr
    // Pattern with static storage): the steps are unrolled into code made for
    // that pattern, and a target of the wrong type for its conversion, or a
    // count of targets that differs from the conversions, does not compile.
    // Results, failures and messages are those of the calls above.
    template <const Pattern& P, class... Targets>
    bool match(Targets&&... targets);
    template <const Pattern& P, class... Targets>
    bool expect(const char* context, Targets&&... targets) {
        if (match<P>(targets...)) return true;
        failExpected(P.text(), context);
        return false;
    }

    // Matches P, one "%d" with white space after it, again and again for as
    // many short integers from lowest to highest as the next 64 bytes hold, at
    // most limit times, writing them to out as those matches would. Returns how
    // many; 0 when the next is not such a number (match P for it: it may be
    // longer, out of range or not a number at all).
    template <const Pattern& P, class Value>
    size_t matchIntegerRun(Value* out, size_t limit, int lowest, int highest) {
        static_assert(P.size() == 2 && P.op(0).step == Pattern::Step::Int && P.op(1).step == Pattern::Step::White,
                      "a pattern of one %d and white space after it");
        size_t taken = 0;
        const size_t count = decimal::scanTinyIntegerRun(text_.data() + pos_, text_.size() - pos_, lowest, highest,
                                                         out, limit, &taken);
        if (count == 0) return 0;
        pos_ += taken;
        skipWhite(pos_);
        assigned_ = 1;
        wordCut_ = false;
        failedPatternAt_ = nullptr;
        return count;
    }

    // Whether P, a pattern without conversions, matches here; nothing moves.
    template <const Pattern& P>
    bool lookingAt() {
        static_assert(P.conversions() == 0, "a look ahead writes no targets");
        const size_t pos = pos_;
        const int assigned = assigned_;
        const bool cut = wordCut_;
        const char* const failedAt = failedPatternAt_;
        const bool matched = match<P>();
        pos_ = pos;
        assigned_ = assigned;
        wordCut_ = cut;
        failedPatternAt_ = failedAt;
        return matched;
    }

    // Whether a word read between blocks opens the block named by keyword: it
    // is the keyword itself, or holds it with the block's Opening next. Names
    // that merely hold a keyword (a shadow model "_prelight_lamp_model_1", an
    // entity "func_nodes_2", a material "textures/brushes/...") are ordinary
    // words. A word that is the keyword opens its block whatever follows, so a
    // damaged block is still reported where it is.
    template <const Pattern& Opening>
    bool opensBlock(const char* word, const char* keyword) {
        if (!std::strstr(word, keyword)) return false;
        return std::strcmp(word, keyword) == 0 || lookingAt<Opening>();
    }

    int assigned() const { return assigned_; }
    bool wordWasCut() const { return wordCut_; }

    // The end of the text has been reached (what feof tells after a read).
    bool atEnd() const { return pos_ >= text_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return text_.size() - pos_; }
    size_t size() const { return text_.size(); }
    const std::string& name() const { return name_; }
    std::string_view text() const { return text_; }

    // Whether count elements read with pattern could still fit in what is left
    // of the text: each element needs at least its literal characters and one
    // character per conversion. Keeps a hostile count from sizing allocations.
    bool fits(int64_t count, const Pattern& pattern) const;
    static size_t minimumLength(const Pattern& pattern) { return pattern.minimumLength(); }

    // 1-based line of the first visible character at or after a byte offset.
    int lineAt(size_t offset) const;
    int line() const { return lineAt(pos_); }

    // Records "<file>:<line>: expected <what>" at the current position (or at
    // offset) unless an error is already recorded; returns false.
    bool fail(const std::string& what);
    bool failAt(size_t offset, const std::string& what);
    // Records "<file>:<line>: <message>" for problems that are not the text's
    // (a device buffer that could not be made); returns false.
    bool failWith(size_t offset, const std::string& message);
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    // Takes back the recorded error and goes on from offset (at most the
    // end): for a reader that passes over a damaged block it found the end of.
    void resumeAt(size_t offset);

    // The next character after white space, without moving; 0 at the end.
    char nextVisible() const;

    // The first byte that no text file holds (a zero or a control character
    // other than white space), or npos when the text is plain.
    size_t firstBinaryByte() const;

private:
    struct WordSlot {
        char* buffer;
        size_t capacity;
    };
    static int* slotOf(int* value) { return value; }
    static float* slotOf(float* value) { return value; }
    template <size_t N>
    static WordSlot slotOf(char (&buffer)[N]) {
        static_assert(N > 0);
        return {buffer, N};
    }
    // Where an unrolled match stands; kept in locals, so that neither the
    // position nor the count makes a trip through memory between numbers.
    struct MatchState {
        size_t pos;
        int assigned;
        bool runRead;  // the numbers in a row under way were read at once
    };
    template <const Pattern& P, size_t I, class Slots>
    bool matchStep(MatchState& state, const Slots& slots);
    bool stopAt(MatchState& state, size_t pos, const char* patternAt) {
        state.pos = pos;
        failedPatternAt_ = patternAt;
        return false;
    }
    void skipWhite(size_t& pos) const {
        const char* const text = text_.data();
        const size_t n = text_.size();
        while (pos < n && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    }

    void startOver(std::string_view text);  // at the start of a text just opened
    bool matchTargets(const Pattern& pattern, ScanTarget* targets, size_t count);
    bool matchSteps(const Pattern& pattern, ScanTarget* targets, size_t count, size_t* next);
    void failExpected(const char* pattern, const char* context);
    bool scanInt(size_t* pos, int* out) const;
    bool scanFloat(size_t* pos, float* out) const;
    bool scanWord(size_t* pos, char* buffer, size_t capacity);

    std::unique_ptr<MappedFile> mapped_;  // the file, when opened from a path that could be mapped
    std::unique_ptr<char[]> storage_;     // the file's bytes read, when it could not
    std::string_view text_;
    std::string name_;
    size_t pos_ = 0;
    int assigned_ = 0;
    bool wordCut_ = false;
    const char* failedPatternAt_ = nullptr;  // pattern element that did not match
    std::string error_;
    // The last offset lineAt counted to and its line.
    mutable size_t lineCacheOffset_ = 0;
    mutable int lineCacheLine_ = 1;
};

template <const Pattern& P, size_t I, class Slots>
bool PatternReader::matchStep(MatchState& state, const Slots& slots) {
    size_t& pos = state.pos;
    constexpr Pattern::Op op = P.op(I);
    constexpr const char* at = P.text() + op.offset;
    if constexpr (P.continuesFloatRun(I)) {
        if (state.runRead) return true;  // read with the first of the run
    } else if constexpr (P.floatRunAt(I) >= 4) {
        // Four or more numbers in a row (a vertex, a plane) are read together
        // where they are short, one look at the next 64 bytes paying for itself
        // from four numbers on; otherwise one at a time below, with the same
        // results.
        constexpr size_t kRun = P.floatRunAt(I);
        const size_t taken = [&]<size_t... K>(std::index_sequence<K...>) {
            float* const outs[] = {std::get<P.targetOf(I) + K>(slots)...};
            return decimal::scanTinyDecimalRun<kRun>(text_.data() + pos, text_.size() - pos, outs);
        }(std::make_index_sequence<kRun>{});
        state.runRead = taken > 0;
        if (state.runRead) {
            pos += taken;
            state.assigned += static_cast<int>(kRun);
            return true;
        }
    }
    if constexpr (op.skipWhite) skipWhite(pos);
    if constexpr (op.step == Pattern::Step::White) {
        return true;
    } else if constexpr (op.step == Pattern::Step::Literal) {
        const char* const text = text_.data();
        if (text_.size() - pos >= op.length) {
            for (size_t k = 0; k < op.length; ++k)
                if (text[pos + k] != at[k]) return stopAt(state, pos + k, at + k);
            pos += op.length;
            return true;
        }
        for (size_t k = 0; k < op.length; ++k, ++pos)
            if (pos >= text_.size() || text[pos] != at[k]) return stopAt(state, pos, at + k);
        return true;
    } else if constexpr (op.step == Pattern::Step::Percent) {
        if (pos >= text_.size() || text_[pos] != '%') return stopAt(state, pos, at);
        ++pos;
        return true;
    } else {
        const auto& slot = std::get<P.targetOf(I)>(slots);
        using Slot = std::decay_t<decltype(slot)>;
        bool ok = false;
        if (pos < text_.size()) {
            // The scanners move a copy: pos itself stays out of memory, so
            // that one number's end reaches the next without a store and load.
            size_t moved = pos;
            if constexpr (op.step == Pattern::Step::Float) {
                static_assert(std::is_same_v<Slot, float*>, "%f needs a float target");
                size_t taken = decimal::scanTinyDecimal(text_.data() + pos, text_.size() - pos, slot);
                if (!taken) taken = scanFloatText(text_.substr(pos), slot);
                moved += taken;
                ok = taken > 0;
            } else if constexpr (op.step == Pattern::Step::Int) {
                static_assert(std::is_same_v<Slot, int*>, "%d needs an int target");
                const size_t taken = decimal::scanTinyInteger(text_.data() + pos, text_.size() - pos, slot);
                moved += taken;
                ok = taken > 0 || scanInt(&moved, slot);
            } else {
                static_assert(std::is_same_v<Slot, WordSlot>, "%s needs a char array target");
                ok = scanWord(&moved, slot.buffer, slot.capacity);
            }
            pos = moved;
        }
        if (!ok) return stopAt(state, pos, at);
        ++state.assigned;
        return true;
    }
}

template <const Pattern& P, class... Targets>
bool PatternReader::match(Targets&&... targets) {
    static_assert(*P.rest() == '\0', "pattern too long to unroll; use the run-time match");
    static_assert(!P.hasUnknownConversion(), "only %d, %f and %s are read");
    static_assert(P.conversions() == sizeof...(Targets), "one target per conversion");
    const auto slots = std::make_tuple(slotOf(targets)...);
    wordCut_ = false;
    failedPatternAt_ = nullptr;
    MatchState state{pos_, 0, false};
    const bool matched = [&]<size_t... I>(std::index_sequence<I...>) {
        return (matchStep<P, I>(state, slots) && ...);
    }(std::make_index_sequence<P.size()>{});
    pos_ = state.pos;
    assigned_ = state.assigned;
    return matched;
}

}  // namespace q
