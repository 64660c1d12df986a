// The pattern matcher against the C library's sscanf. The first line of the
// input is the pattern (a '%' not followed by d, f, s or % is dropped; at most
// eight conversions), the rest is the text. Both must write the same number of
// targets with the same values bit for bit and, on a whole match, stop at the
// same place. Where the matcher is deliberately safer than sscanf (an int
// beyond its range is clamped, a word is cut at its buffer) that value is not
// compared. The map readers' fixed patterns, matched by unrolled code with
// their own short ways for numbers, must also leave exactly what the run-time
// matcher leaves on the same text.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "fuzz_support.h"
#include "map/pattern_reader.h"

namespace {

constexpr size_t kMaxTargets = 8;

struct Slot {
    int i = 0x5a5a5a5a;
    float f = -7.0f;
    char s[128] = "untouched";
};

template <size_t... I>
bool matchWith(q::PatternReader& reader, const char* pattern, q::ScanTarget* targets, std::index_sequence<I...>) {
    return reader.match(pattern, targets[I]...);
}

bool matchAny(q::PatternReader& reader, const char* pattern, q::ScanTarget* t, size_t count) {
    switch (count) {
        case 0: return reader.match(pattern);
        case 1: return matchWith(reader, pattern, t, std::make_index_sequence<1>());
        case 2: return matchWith(reader, pattern, t, std::make_index_sequence<2>());
        case 3: return matchWith(reader, pattern, t, std::make_index_sequence<3>());
        case 4: return matchWith(reader, pattern, t, std::make_index_sequence<4>());
        case 5: return matchWith(reader, pattern, t, std::make_index_sequence<5>());
        case 6: return matchWith(reader, pattern, t, std::make_index_sequence<6>());
        case 7: return matchWith(reader, pattern, t, std::make_index_sequence<7>());
        default: return matchWith(reader, pattern, t, std::make_index_sequence<8>());
    }
}

uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

constexpr q::Pattern kVertex{"( %f %f %f %f %f %f %f %f ) "};
constexpr q::Pattern kSide{" ( %f %f %f ) %f "};
constexpr q::Pattern kNode{" /* node %d */ ( %f %f %f %f ) %d %d "};
constexpr q::Pattern kIndex{"%d "};

// Matches P on the text both ways, one match after another while they go on,
// and stops the run on any difference in what they leave.
template <const q::Pattern& P, class... Values>
void compareUnrolled(const std::string& text) {
    q::PatternReader unrolled(text, "fuzz"), runTime(text, "fuzz");
    for (int round = 0; round < 64; ++round) {
        std::tuple<Values...> a{}, b{};
        std::apply([](auto&... v) { ((v = static_cast<Values>(-7)), ...); }, a);
        std::apply([](auto&... v) { ((v = static_cast<Values>(-7)), ...); }, b);
        const bool wholeA = std::apply([&](auto&... v) { return unrolled.expect<P>("x", &v...); }, a);
        const bool wholeB = std::apply([&](auto&... v) { return runTime.expect(P, "x", &v...); }, b);
        if (wholeA != wholeB || unrolled.assigned() != runTime.assigned() ||
            unrolled.position() != runTime.position() || unrolled.error() != runTime.error() ||
            std::memcmp(&a, &b, sizeof a) != 0)
            q::fuzz::broken("unrolled match differs from the run-time one",
                            std::string("pattern \"") + P.text() + "\" at " + std::to_string(runTime.position()));
        if (!wholeA || unrolled.atEnd()) return;
    }
}

// Vertex indices read as the surface reader reads them, runs of short ones
// at a time, against one "%d " match each: the same values, stopping at the
// same place (a failed match or a value out of range).
void compareIntegerRuns(const std::string& text, int highest) {
    q::PatternReader withRuns(text, "fuzz"), oneByOne(text, "fuzz");
    constexpr size_t kCount = 200;
    int runValues[kCount], oneValues[kCount];
    size_t runCount = 0, oneCount = 0;
    while (runCount < kCount) {
        const size_t read =
            withRuns.matchIntegerRun<kIndex>(runValues + runCount, kCount - runCount, 0, highest);
        if (read > kCount - runCount) q::fuzz::broken("integer run past its limit", std::to_string(read));
        runCount += read;
        if (read > 0) continue;
        int value = -7;
        if (!withRuns.expect<kIndex>("x", &value) || value < 0 || value > highest) break;
        runValues[runCount++] = value;
    }
    while (oneCount < kCount) {
        int value = -7;
        if (!oneByOne.expect<kIndex>("x", &value) || value < 0 || value > highest) break;
        oneValues[oneCount++] = value;
    }
    if (runCount != oneCount || std::memcmp(runValues, oneValues, runCount * sizeof(int)) != 0 ||
        withRuns.position() != oneByOne.position())
        q::fuzz::broken("integer runs differ from one match each", "at " + std::to_string(oneByOne.position()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.find('\n');
    if (lineEnd == std::string::npos || lineEnd > 200) return 0;
    std::string text = input.substr(lineEnd + 1);
    text.resize(std::strlen(text.c_str()));  // sscanf sees the text up to a zero byte

    // The pattern, as ours reads it and as sscanf reads it (words bounded).
    std::string pattern, theirsPattern;
    char kinds[kMaxTargets];
    size_t count = 0;
    for (size_t i = 0; i < lineEnd && input[i]; ++i) {
        const char c = input[i];
        if (c != '%') {
            pattern += c;
            theirsPattern += c;
            continue;
        }
        const char next = i + 1 < lineEnd ? input[i + 1] : '\0';
        if (next == '%') {
            pattern += "%%";
            theirsPattern += "%%";
            ++i;
        } else if ((next == 'd' || next == 'f' || next == 's') && count < kMaxTargets) {
            kinds[count++] = next;
            pattern += std::string("%") + next;
            theirsPattern += next == 's' ? std::string("%127s") : std::string("%") + next;
            ++i;
        }
    }
    theirsPattern += "%n";

    Slot ours[kMaxTargets], theirs[kMaxTargets];
    void* args[kMaxTargets + 1] = {};
    q::ScanTarget targets[kMaxTargets] = {&ours[0].i, &ours[0].i, &ours[0].i, &ours[0].i,
                                          &ours[0].i, &ours[0].i, &ours[0].i, &ours[0].i};
    for (size_t k = 0; k < count; ++k) {
        if (kinds[k] == 'd') {
            targets[k] = q::ScanTarget(&ours[k].i);
            args[k] = &theirs[k].i;
        } else if (kinds[k] == 'f') {
            targets[k] = q::ScanTarget(&ours[k].f);
            args[k] = &theirs[k].f;
        } else {
            targets[k] = q::ScanTarget(ours[k].s);
            args[k] = theirs[k].s;
        }
    }
    int consumed = -1;
    args[count] = &consumed;
    int result = std::sscanf(text.c_str(), theirsPattern.c_str(), args[0], args[1], args[2], args[3], args[4],
                             args[5], args[6], args[7], args[8]);
    if (result < 0) result = 0;

    q::PatternReader reader(text, "fuzz");
    compareUnrolled<kVertex, float, float, float, float, float, float, float, float>(text);
    compareUnrolled<kSide, float, float, float, float>(text);
    compareUnrolled<kNode, int, float, float, float, float, int, int>(text);
    compareUnrolled<kIndex, int>(text);
    compareIntegerRuns(text, lineEnd % 2 ? 65535 : 255);

    const bool whole = matchAny(reader, pattern.c_str(), targets, count);
    if (reader.position() > text.size()) q::fuzz::broken("read past the text", pattern);
    if (reader.wordWasCut()) return 0;  // sscanf would leave the rest of the word for later

    const std::string where = "pattern \"" + pattern + "\" text \"" + text.substr(0, 80) + "\"";
    if (reader.assigned() != result)
        q::fuzz::broken("targets written differ from sscanf",
                        where + ": " + std::to_string(reader.assigned()) + " vs " + std::to_string(result));
    if (whole != (consumed >= 0)) q::fuzz::broken("whole match differs from sscanf", where);
    if (whole && reader.position() != static_cast<size_t>(consumed))
        q::fuzz::broken("stopping place differs from sscanf",
                        where + ": " + std::to_string(reader.position()) + " vs " + std::to_string(consumed));
    for (size_t k = 0; k < count; ++k) {
        const bool clamped = ours[k].i == INT_MAX || ours[k].i == INT_MIN;
        if (!clamped && ours[k].i != theirs[k].i)
            q::fuzz::broken("integer differs from sscanf", where + " target " + std::to_string(k));
        if (bitsOf(ours[k].f) != bitsOf(theirs[k].f))
            q::fuzz::broken("float differs from sscanf", where + " target " + std::to_string(k));
        if (std::strcmp(ours[k].s, theirs[k].s) != 0)
            q::fuzz::broken("word differs from sscanf", where + " target " + std::to_string(k));
    }
    return 0;
}
