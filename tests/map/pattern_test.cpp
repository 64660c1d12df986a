// The pattern reader must give exactly what the C library's sscanf gives: the
// same values bit for bit, the same number of targets written and the same
// place where matching stopped.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "map/pattern_reader.h"
#include "map_test_files.h"

namespace q {
namespace {

uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Compares one float text against sscanf "%f%n".
void expectFloatLikeScanf(const std::string& text) {
    float theirs = -42.0f, ours = -42.0f;
    int taken = -1;
    const int result = std::sscanf(text.c_str(), "%f%n", &theirs, &taken);
    const size_t ourTaken = scanFloatText(text, &ours);
    if (result == 1) {
        ASSERT_EQ(ourTaken, static_cast<size_t>(taken)) << "text: \"" << text << "\"";
        EXPECT_EQ(bitsOf(ours), bitsOf(theirs)) << "text: \"" << text << "\"";
    } else {
        EXPECT_EQ(ourTaken, 0u) << "text: \"" << text << "\"";
        EXPECT_EQ(bitsOf(ours), bitsOf(-42.0f)) << "a failed conversion wrote its target";
    }
}

TEST(PatternFloat, FormsScanfAcceptsAndRefuses) {
    const char* texts[] = {
        "1e5", "-0", "+0", ".5", "5.", "-.5", "+.5", "nan", "-nan", "NaN", "nan(123)", "nanx", "inf",
        "-inf", "INF", "infinity", "INFINITYx", "infin", "infinit", "i", "in", "n", "na", "1e", "1ex",
        "1e+", "1e+x", "1E-3", "1.5e-3x", ".", "-", "+", "-.", "..5", ".e1", "--1", "+-1", "1.2.3",
        "1ee", "00012", "0.0039215675", "3.40282347e38", "3.40282357e38", "3.5e38", "1e99", "-1e99",
        "1e-38", "1.17549435e-38", "1e-40", "1.4e-45", "7e-46", "1e-46", "1e-50", "-1e-50",
        "0x1p3", "0X1P-2", "0x1p", "0x", "0xg", "0x.8", "0xp3", "0x1.8p1x", "-0x1.fffffep127",
        "0x1.fffffffp127", "0xAbC.dEf", "0x1e5", "0x1p+", "0x.", "-0x.", "0x.p1", "0x.e", "0x.x", "123456789012345678901234567890",
        "0.000000000000000000000000000000000000000000001", "16777217", "16777219", "0.1", "-64",
        "1e0000000000000000000000000000000000000000000000001", "1e-0000000000000000000000000001",
        "16777216", "16777217", "16777219.5", "-0.16777217", "0.0000000001", "0.00000000001", "9.999999",
        "123456789", "1234567890", "0.300000000", "000000000000000000000001.5", "4096.000000001",
    };
    for (const char* text : texts) expectFloatLikeScanf(text);
}

TEST(PatternFloat, GeneratedNumbersMatchScanfBitForBit) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pick(0, 7);
    char text[96];
    for (int i = 0; i < 20000; ++i) {
        uint32_t bits = random();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        switch (pick(random)) {
            case 0: std::snprintf(text, sizeof text, "%.9g", value); break;
            case 1: std::snprintf(text, sizeof text, "%g", value); break;
            case 2: std::snprintf(text, sizeof text, "%.17e", static_cast<double>(value)); break;
            case 3: std::snprintf(text, sizeof text, "%a", static_cast<double>(value)); break;
            case 4: std::snprintf(text, sizeof text, "%f", static_cast<double>(value) * 1e-30); break;
            case 5: std::snprintf(text, sizeof text, "%d.%u", static_cast<int>(random() % 2001) - 1000,
                                  static_cast<unsigned>(random() % 100000)); break;
            case 6: std::snprintf(text, sizeof text, "%.25f", static_cast<double>(random() % 1000) / 997.0); break;
            default: std::snprintf(text, sizeof text, "%ue%d", static_cast<unsigned>(random() % 1000),
                                   static_cast<int>(random() % 100) - 50); break;
        }
        // A random tail after the number: scanf's greedy look-ahead must agree.
        static const char tails[] = " )e+-.xp0a";
        std::string withTail = std::string(text) + tails[random() % (sizeof tails - 1)];
        expectFloatLikeScanf(text);
        expectFloatLikeScanf(withTail);
        expectFloatLikeScanf(withTail + "  -1234.5 0.25 0.125 0 0 1 ) ( 17 -4 2.5 )\n");
    }
}

TEST(PatternFloat, ShortDecimalsRoundLikeScanfAtEveryScale) {
    // The short way for up to 2^24 with up to ten decimals, near its limits and
    // at the halfway points where a shortcut would round the wrong way.
    std::mt19937 random(5);
    char text[64];
    for (int i = 0; i < 100000; ++i) {
        const uint32_t mantissa = (i % 4 == 0) ? (1u << 24) - static_cast<uint32_t>(random() % 64)
                                               : static_cast<uint32_t>(random() % ((1u << 24) + 1));
        const int scale = 1 + static_cast<int>(random() % 10);
        std::snprintf(text, sizeof text, "%u", mantissa);
        std::string digits(text);
        if (digits.size() <= static_cast<size_t>(scale)) digits.insert(0, static_cast<size_t>(scale) - digits.size() + 1, '0');
        digits.insert(digits.size() - static_cast<size_t>(scale), 1, '.');
        expectFloatLikeScanf(digits);
    }
    // Short decimals as close to a float halfway point as their digits allow:
    // a shortcut that is not exact shows here, where rounding goes either way.
    for (int i = 0; i < 100000; ++i) {
        const float below = static_cast<float>(std::ldexp(1.0 + (random() % (1u << 23)) * 0x1p-23,
                                                          static_cast<int>(random() % 48) - 24));
        const double halfway = (static_cast<double>(below) +
                                static_cast<double>(std::nextafter(below, 2.0f * below))) / 2;
        const int decimals = static_cast<int>(random() % 8);
        std::snprintf(text, sizeof text, "%.*f", decimals, halfway);
        expectFloatLikeScanf(text);
        std::string nudged(text);
        char& last = nudged.back();
        last = last == '9' ? '8' : static_cast<char>(last + 1);
        expectFloatLikeScanf(nudged + " 0 0 1 ) ( 1 2 3 4 5 6 7 8 ) ( -1 -2 -3");
    }
    // Exact float halfway points written out in decimal: 1 + 2^-24 (ties to
    // even, down) and 1 + 3 * 2^-24 (ties to even, up).
    expectFloatLikeScanf("1.000000059604644775390625");
    expectFloatLikeScanf("1.000000178813934326171875");
    expectFloatLikeScanf("0.5000000298023223876953125");
}

TEST(PatternFloat, LongDigitRunsAndExponentsMatchScanf) {
    // Digits are read eight at a time where eight bytes are left: runs of every
    // length, split anywhere by the dot, up to and past the 19 digits a 64-bit
    // mantissa holds, with exponents, and with the text ending right after the
    // number or a few characters later.
    std::mt19937 random(91);
    for (int i = 0; i < 40000; ++i) {
        const int length = 1 + static_cast<int>(random() % 23);
        std::string text;
        if (random() % 3 == 0) text += (random() % 2) ? '-' : '+';
        std::string digits;
        for (int k = 0; k < length; ++k) digits += static_cast<char>('0' + random() % 10);
        const size_t dot = random() % (digits.size() + 2);
        if (dot <= digits.size()) digits.insert(dot, 1, '.');
        text += digits;
        switch (random() % 4) {
            case 0: text += "e" + std::to_string(static_cast<int>(random() % 61) - 30); break;
            case 1: text += "E+" + std::to_string(random() % 25); break;
            default: break;
        }
        // Numbers with 32 bytes after them are read a chunk at a time from the
        // start; the long tail puts every form through that way too.
        const std::string tails[] = {"", " ", " 1", ") ", "x", "0000000", " 0.5 0.25 ) ( 1 2 3 4 5 6 7 8 ) (", ".5 0 0 1 ) ( -1 -2 -3 0 1 ) (\n"};
        text += tails[random() % 8];
        expectFloatLikeScanf(text);
    }
    // Numbers whose nearest double is a float halfway point although they are
    // not: rounding that double again would go the wrong way.
    expectFloatLikeScanf("1.520641939714551e-02");  // strtof rounds up, the double's tie down
    expectFloatLikeScanf("0.01520641939714551");
    expectFloatLikeScanf("6.58046409380884e+32");   // strtof rounds up, the double's tie down
    expectFloatLikeScanf("8.777183014899492e-03");  // the double's tie rounds the right way
    expectFloatLikeScanf("1.000000178813934326");   // too many digits for the short way
    expectFloatLikeScanf("16777217.00000000001");
    expectFloatLikeScanf("16777216.99999999999");
    // The limits of the short way: 2^53, 10^22 and 10^-22 either side.
    expectFloatLikeScanf("9007199254740993");
    expectFloatLikeScanf("9007199254740992e22");
    expectFloatLikeScanf("9007199254740993e22");
    expectFloatLikeScanf("1e22");
    expectFloatLikeScanf("1e23");
    expectFloatLikeScanf("1e-22");
    expectFloatLikeScanf("1e-23");
    expectFloatLikeScanf("12345678.12345678e-30");
    expectFloatLikeScanf("0e99999");
    expectFloatLikeScanf("-0.00000000e-5");
    expectFloatLikeScanf("1234567890123456789");
    expectFloatLikeScanf("12345678901234567890");
}

// One pattern against sscanf: the same count of targets written, the same
// values (unchanged ones included) and, on a whole match, the same length read.
void expectPatternLikeScanf(const char* pattern, const std::string& text) {
    struct Slot {
        int i = 0x5a5a5a5a;
        float f = -7.0f;
        char s[128] = "untouched";
    };
    Slot theirs[8], ours[8];
    std::vector<char> kinds;
    for (const char* p = pattern; *p; ++p) {
        if (*p != '%') continue;
        if (p[1] != '%') kinds.push_back(p[1]);
        ++p;
    }
    ASSERT_LE(kinds.size(), 8u);

    void* args[9] = {};
    int consumed = -1;
    for (size_t k = 0; k < kinds.size(); ++k)
        args[k] = kinds[k] == 'd' ? static_cast<void*>(&theirs[k].i)
                : kinds[k] == 'f' ? static_cast<void*>(&theirs[k].f)
                                  : static_cast<void*>(theirs[k].s);
    args[kinds.size()] = &consumed;
    const std::string withEnd = std::string(pattern) + "%n";
    int result = std::sscanf(text.c_str(), withEnd.c_str(), args[0], args[1], args[2], args[3], args[4],
                             args[5], args[6], args[7], args[8]);
    if (result < 0) result = 0;

    PatternReader reader(text, "t");
    std::vector<ScanTarget> targets;
    for (size_t k = 0; k < kinds.size(); ++k) {
        if (kinds[k] == 'd') targets.emplace_back(&ours[k].i);
        else if (kinds[k] == 'f') targets.emplace_back(&ours[k].f);
        else targets.emplace_back(ours[k].s);
    }
    bool whole = false;
    switch (targets.size()) {
        case 0: whole = reader.match(pattern); break;
        case 1: whole = reader.match(pattern, targets[0]); break;
        case 2: whole = reader.match(pattern, targets[0], targets[1]); break;
        case 3: whole = reader.match(pattern, targets[0], targets[1], targets[2]); break;
        case 4: whole = reader.match(pattern, targets[0], targets[1], targets[2], targets[3]); break;
        case 5: whole = reader.match(pattern, targets[0], targets[1], targets[2], targets[3], targets[4]); break;
        case 6: whole = reader.match(pattern, targets[0], targets[1], targets[2], targets[3], targets[4], targets[5]); break;
        case 7: whole = reader.match(pattern, targets[0], targets[1], targets[2], targets[3], targets[4], targets[5], targets[6]); break;
        default: whole = reader.match(pattern, targets[0], targets[1], targets[2], targets[3], targets[4], targets[5], targets[6], targets[7]); break;
    }
    SCOPED_TRACE("pattern \"" + std::string(pattern) + "\" text \"" + text + "\"");
    EXPECT_EQ(reader.assigned(), result);
    EXPECT_EQ(whole, consumed >= 0);
    if (consumed >= 0) {
        EXPECT_EQ(reader.position(), static_cast<size_t>(consumed));
    }
    for (size_t k = 0; k < kinds.size(); ++k) {
        EXPECT_EQ(ours[k].i, theirs[k].i) << "target " << k;
        EXPECT_EQ(bitsOf(ours[k].f), bitsOf(theirs[k].f)) << "target " << k;
        EXPECT_STREQ(ours[k].s, theirs[k].s) << "target " << k;
    }
}

TEST(PatternMatch, BlanksConversionsAndLiteralsLikeScanf) {
    const char* node = " /* node %d */ ( %f %f %f %f ) %d %d ";
    expectPatternLikeScanf(node, "/* node 0 */ ( 0 0 1 -64 ) 1 -2\n");
    expectPatternLikeScanf(node, "  /*  node 3*/(1 2 3 4)5 6");          // blanks match runs and none
    expectPatternLikeScanf(node, "\r\n/* node 3 */\r\n( 1\t2 3 4 )\r\n-1 0\r\n");
    expectPatternLikeScanf(node, "/* node 3 */ ( 1 2 x 4 ) 5 6");       // stops inside: rest unchanged
    expectPatternLikeScanf(node, "/* nod 3 */ ( 1 2 3 4 ) 5 6");        // literal mismatch
    expectPatternLikeScanf(node, "/* node 3 */ ( 1 2 3");                // end of text
    expectPatternLikeScanf(node, "");
    expectPatternLikeScanf("%d ", "+17 next");
    expectPatternLikeScanf("%d ", "-0");
    expectPatternLikeScanf("%d ", "- 5");
    expectPatternLikeScanf("%d ", "0x10");
    expectPatternLikeScanf("%d %d", "2147483647 -2147483648");
    expectPatternLikeScanf("( %f %f %f %f %f %f %f %f ) ", "(1 2 3 0.5 0.25 0 0 1)\n(");
    expectPatternLikeScanf("( %f %f %f %f %f %f %f %f ) ", "( 1-2+3 .5 5. nan -inf 1e )");
    expectPatternLikeScanf(" /* surface %d */ { %s /* numVerts = */ %d /* numIndexes = */ %d ",
                           "/* surface 0 */ { \"textures/base/wall\" /* numVerts = */ 4 /* numIndexes = */ 6\n");
    expectPatternLikeScanf(" { %s", "{\"a\"}");
    expectPatternLikeScanf("mapProcFile003 ", "mapProcFile003\r\n\r\nmodel");
    expectPatternLikeScanf("mapProcFile003 ", "mapProcFile004");
    expectPatternLikeScanf(" ( %d %f ) ", "( -1 0 )");
    expectPatternLikeScanf("100%% %d", "100% 5");
    expectPatternLikeScanf("%s%%", "word  \n%");  // "%%" skips blanks as conversions do
    expectPatternLikeScanf("%d%%", "7%");
}

TEST(PatternMatch, PatternsLongerThanOnePatternHoldsGoOnInPieces) {
    // More steps than one Pattern keeps: the rest is matched as further pieces,
    // with the same targets counted on and the same place of failure.
    std::string pattern, text;
    for (size_t k = 0; k < Pattern::kMaxOps + 10; ++k) {
        pattern += "w" + std::to_string(k) + (k % 20 == 19 ? " %d " : " ");
        text += "w" + std::to_string(k) + (k % 20 == 19 ? " " + std::to_string(k) + "\n" : "\t");
    }
    expectPatternLikeScanf(pattern.c_str(), text);
    std::string broken = text;
    broken.replace(broken.find("w55"), 3, "w5x");
    expectPatternLikeScanf(pattern.c_str(), broken);

    PatternReader reader(broken, "long.txt");
    int a = 0, b = 0;
    EXPECT_FALSE(reader.expect(pattern.c_str(), nullptr, &a, &b));
    EXPECT_EQ(a, 19);
    EXPECT_EQ(b, 39);
    EXPECT_EQ(reader.error(), "long.txt:3: expected \"w55 w56 w57\", found \"w5x\"");
}

TEST(PatternMatch, GeneratedLinesAgreeWithScanf) {
    std::mt19937 random(77);
    const char* blanks[] = {"", " ", "  ", "\t", "\n", "\r\n", " \r\n\t"};
    auto blank = [&] { return std::string(blanks[random() % 7]); };
    auto anyBlank = [&] { return std::string(blanks[1 + random() % 6]); };
    auto number = [&] {
        char text[48];
        const float f = std::ldexp(static_cast<float>(random() % 2000001) - 1000000.0f,
                                   static_cast<int>(random() % 40) - 30);
        std::snprintf(text, sizeof text, (random() % 2) ? "%.9g" : "%g", static_cast<double>(f));
        return std::string(text);
    };
    for (int i = 0; i < 3000; ++i) {
        std::string node = blank() + "/*" + anyBlank() + "node" + anyBlank() + std::to_string(random() % 500) +
                           anyBlank() + "*/" + blank() + "(" + blank() + number() + anyBlank() + number() +
                           anyBlank() + number() + anyBlank() + number() + blank() + ")" + blank() +
                           std::to_string(static_cast<int>(random() % 200) - 100) + anyBlank() +
                           std::to_string(static_cast<int>(random() % 200) - 100) + blank();
        // Every few lines one character is replaced, to compare failures too.
        if (i % 3 == 0) node[random() % node.size()] = "x(-.e9 }/"[random() % 9];
        expectPatternLikeScanf(" /* node %d */ ( %f %f %f %f ) %d %d ", node);

        std::string vertex = "(";
        for (int k = 0; k < 7; ++k) vertex += blank() + number() + anyBlank();
        vertex += number() + blank() + ")" + blank();
        if (i % 4 == 0) vertex[random() % vertex.size()] = "x(-.e9 )"[random() % 8];
        expectPatternLikeScanf("( %f %f %f %f %f %f %f %f ) ", vertex);
    }
}

constexpr Pattern kUnrolledVertex{"( %f %f %f %f %f %f %f %f ) "};
constexpr Pattern kUnrolledNode{" /* node %d */ ( %f %f %f %f ) %d %d "};
constexpr Pattern kUnrolledIndex{"%d "};
constexpr Pattern kUnrolledHeader{" /* surface %d */ { %s /* numVerts = */ %d /* numIndexes = */ %d "};

// Runs one pattern both ways on the same text: the unrolled match must agree
// with the run-time one in everything it leaves behind.
template <const Pattern& P, class... Targets>
void expectUnrolledLikeRunTime(const std::string& text, Targets... unrolledTargets) {
    std::tuple<std::remove_pointer_t<Targets>...> runTimeValues;
    std::apply([](auto&... v) { ((v = decltype(+v)(-7)), ...); }, runTimeValues);
    PatternReader runTime(text, "t"), unrolled(text, "t");
    const bool runTimeWhole = std::apply([&](auto&... v) { return runTime.expect(P, "ctx", &v...); }, runTimeValues);
    const bool unrolledWhole = unrolled.expect<P>("ctx", unrolledTargets...);
    ASSERT_EQ(unrolledWhole, runTimeWhole) << "text: \"" << text << "\"";
    EXPECT_EQ(unrolled.assigned(), runTime.assigned()) << "text: \"" << text << "\"";
    EXPECT_EQ(unrolled.position(), runTime.position()) << "text: \"" << text << "\"";
    EXPECT_EQ(unrolled.error(), runTime.error()) << "text: \"" << text << "\"";
    size_t k = 0;
    auto sameBits = [&](const auto& runTimeValue, const void* unrolledValue) {
        EXPECT_EQ(std::memcmp(&runTimeValue, unrolledValue, sizeof runTimeValue), 0)
            << "target " << k++ << " of \"" << text << "\"";
    };
    std::apply([&](auto&... v) { (sameBits(v, unrolledTargets), ...); }, runTimeValues);
}

TEST(PatternMatch, UnrolledPatternsAgreeWithRunTimeMatching) {
    // The readers' fixed patterns are unrolled at compile time, with short
    // numbers read inline; here on map-like lines, lines with one character
    // changed, and texts that end soon after the number (the short ways need
    // bytes to spare).
    std::mt19937 random(1234);
    const char* blanks[] = {"", " ", "  ", "\t", "\n", "\r\n"};
    auto blank = [&] { return std::string(blanks[random() % 6]); };
    auto anyBlank = [&] { return std::string(blanks[1 + random() % 5]); };
    auto number = [&] {
        static const char* shapes[] = {"%d", "%d.%d", "-%d.%d", "%d.%de2", "-%d", "+%d", ".%d", "%d."};
        char text[48];
        const int whole = static_cast<int>(random() % (random() % 2 ? 100 : 100000000));
        std::snprintf(text, sizeof text, shapes[random() % 8], whole, static_cast<int>(random() % 100000));
        return std::string(text);
    };
    auto mangle = [&](std::string text) {
        if (random() % 3 == 0 && !text.empty()) text[random() % text.size()] = "x(-.e9 )}/\x01"[random() % 11];
        if (random() % 4 == 0) text.resize(random() % (text.size() + 1));
        // Most lines have more of the file after them, as in a map: enough for
        // numbers in a row to be read together.
        if (random() % 4 != 0) text += "\n( 1 -2.5 3 ) ( 0.25 0 -1 0 1 ) ( 4 5 6 7 8 9 ) ( 10 11 12 ) 13 14 15 16 17 18 19\n";
        return text;
    };
    for (int i = 0; i < 4000; ++i) {
        std::string vertex = "(";
        for (int k = 0; k < 8; ++k) vertex += blank() + number() + anyBlank();
        vertex += ")" + blank();
        float v[8];
        std::fill(std::begin(v), std::end(v), -7.0f);
        expectUnrolledLikeRunTime<kUnrolledVertex>(mangle(vertex), &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);

        const std::string node = blank() + "/* node " + std::to_string(random() % 500) + " */ (" + anyBlank() +
                                 number() + anyBlank() + number() + anyBlank() + number() + anyBlank() + number() +
                                 " ) " + number() + anyBlank() + number() + blank();
        int n = -7, positive = -7, negative = -7;
        float a = -7, b = -7, c = -7, d = -7;
        expectUnrolledLikeRunTime<kUnrolledNode>(mangle(node), &n, &a, &b, &c, &d, &positive, &negative);

        int index = -7;
        expectUnrolledLikeRunTime<kUnrolledIndex>(mangle(number() + blank() + number()), &index);
    }
    char material[128];
    std::memset(material, 'z', sizeof material);
    int surface = -7, vertices = -7, indexes = -7;
    PatternReader reader(" /* surface 3 */ { \"textures/a\" /* numVerts = */ 4 /* numIndexes = */ 6\n", "t");
    ASSERT_TRUE(reader.expect<kUnrolledHeader>("ctx", &surface, material, &vertices, &indexes));
    EXPECT_EQ(surface, 3);
    EXPECT_STREQ(material, "\"textures/a\"");
    EXPECT_EQ(vertices, 4);
    EXPECT_EQ(indexes, 6);
    // A word target keeps its buffer size: a longer word is cut, as at run time.
    char shortWord[4];
    PatternReader cut(" /* surface 3 */ { textures/a /* numVerts = */ 4 /* numIndexes = 6", "t");
    EXPECT_FALSE(cut.expect<kUnrolledHeader>("ctx", &surface, shortWord, &vertices, &indexes));
    EXPECT_STREQ(shortWord, "tex");
    EXPECT_TRUE(cut.wordWasCut());
    EXPECT_EQ(cut.assigned(), 3);
    EXPECT_EQ(cut.error(), "t:1: expected \"*/\" in ctx, found \"6\"");
}

// Reads up to count indices from lowest to highest, stopping at the first
// that fails or is out of range, either with the run (as the surface reader
// does) or with one match of "%d " each. Returns the values read and leaves
// the reader where the reading stopped.
std::vector<int> readIndices(PatternReader& reader, size_t count, int highest, bool withRuns) {
    std::vector<int> values(count, -7);
    size_t k = 0;
    while (k < count) {
        if (withRuns) {
            const size_t read = reader.matchIntegerRun<kUnrolledIndex>(values.data() + k, count - k, 0, highest);
            if (read > 0) {
                EXPECT_EQ(reader.assigned(), 1);
                k += read;
                continue;
            }
        }
        int value = -7;
        if (!reader.expect<kUnrolledIndex>("ctx", &value) || value < 0 || value > highest) break;
        values[k++] = value;
    }
    values.resize(k);
    return values;
}

TEST(PatternMatch, IntegerRunsAgreeWithOneMatchEach) {
    // Index lists as maps write them, with long and signed numbers, numbers out
    // of range, characters changed and texts cut short: the run must read the
    // same values and stop at the same place as one "%d " after another.
    std::mt19937 random(99);
    const char* blanks[] = {" ", "  ", "\t", "\n", "\r\n", " \n"};
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const int count = 1 + static_cast<int>(random() % 60);
        for (int k = 0; k < count; ++k) {
            const unsigned shape = random() % 20;
            const int value = static_cast<int>(random() % (shape == 0 ? 100000000u : shape == 1 ? 70000u : 300u));
            text += (shape == 2 ? "-" : shape == 3 ? "+" : "") + std::to_string(value) + blanks[random() % 6];
        }
        if (random() % 3 == 0) text[random() % text.size()] = "x-+.9 }\x01\x7f"[random() % 9];
        if (random() % 4 == 0) text.resize(random() % (text.size() + 1));
        if (random() % 2 == 0) text += "}\n" + std::string(random() % 100, ' ') + "/* surface 1 */ { \"a\" 4 6\n";
        const int highest = random() % 2 ? 299 : 65535;
        const size_t wanted = static_cast<size_t>(random() % (count + 5));
        PatternReader withRuns(text, "t"), oneByOne(text, "t");
        const std::vector<int> runValues = readIndices(withRuns, wanted, highest, true);
        const std::vector<int> oneValues = readIndices(oneByOne, wanted, highest, false);
        ASSERT_EQ(runValues, oneValues) << "text: \"" << text << "\"";
        ASSERT_EQ(withRuns.position(), oneByOne.position()) << "text: \"" << text << "\"";
    }
    // Nothing is read from a word cut by the end of the 64 bytes looked at:
    // "12345" across that edge is one number, not "12".
    const std::string acrossTheEdge = std::string(61, ' ') + "12345 6 " + std::string(100, ' ');
    PatternReader edge(acrossTheEdge, "t");
    int first[2] = {-7, -7};
    EXPECT_EQ(edge.matchIntegerRun<kUnrolledIndex>(first, 2, 0, 65535), 0u);
    EXPECT_EQ(readIndices(edge, 2, 65535, true), (std::vector<int>{12345, 6}));
}

TEST(PatternReaderText, FirstBinaryByteFindsEveryControlByteWherever) {
    // Sixteen bytes at a time within 4096-byte blocks: each byte value at the
    // edges of both, and past the last whole step.
    const size_t size = 9000;
    for (int value = 0; value < 256; ++value) {
        const bool binary = value < 9 || (value >= 14 && value < 32);
        for (size_t at : {size_t{0}, size_t{15}, size_t{16}, size_t{4095}, size_t{4096}, size_t{8191}, size - 1}) {
            std::string text(size, 'a');
            text[at] = static_cast<char>(value);
            PatternReader reader(text, "t");
            EXPECT_EQ(reader.firstBinaryByte(), binary ? at : std::string_view::npos)
                << "byte " << value << " at " << at;
        }
    }
    const std::string text = std::string(5000, ' ') + "\x1f" + std::string(10, ' ') + "\x01";
    PatternReader twoOfThem(text, "t");
    EXPECT_EQ(twoOfThem.firstBinaryByte(), 5000u);
}

TEST(PatternMatch, WordsNeverPassTheirBuffer) {
    PatternReader reader("abcdefgh next", "t");
    char small[4] = {'x', 'x', 'x', 'x'};
    char word[16] = {};
    ASSERT_TRUE(reader.match(" %s ", small));
    EXPECT_STREQ(small, "abc");  // cut and terminated; the rest of the word is skipped
    EXPECT_TRUE(reader.wordWasCut());
    ASSERT_TRUE(reader.match(" %s ", word));
    EXPECT_STREQ(word, "next");
    EXPECT_FALSE(reader.wordWasCut());
    EXPECT_TRUE(reader.atEnd());
    EXPECT_FALSE(reader.match(" %s ", word));  // nothing left: target unchanged
    EXPECT_STREQ(word, "next");
}

TEST(PatternMatch, IntegersBeyondIntAreClampedNotWrapped) {
    PatternReader reader("4294967297 -99999999999999999999 2147483648", "t");
    int a = 0, b = 0, c = 0;
    ASSERT_TRUE(reader.match("%d %d %d", &a, &b, &c));
    EXPECT_EQ(a, INT_MAX);
    EXPECT_EQ(b, INT_MIN);
    EXPECT_EQ(c, INT_MAX);
}

TEST(PatternMatch, ExpectNamesFileLineAndWhatWasExpected) {
    PatternReader reader("mapProcFile003\r\n\r\nmodel { /* name = */ _area0 /* numSurfs = */ 3", "maps/x.proc");
    char token[32];
    int count = 0;
    ASSERT_TRUE(reader.expect("mapProcFile003 ", nullptr));
    ASSERT_TRUE(reader.match(" %s ", token));
    EXPECT_FALSE(reader.expect(" { /* name = */ %s /* numSurfaces = */ %d", "a model block", token, &count));
    EXPECT_EQ(reader.error(),
              "maps/x.proc:3: expected \"numSurfaces = */\" in a model block, found \"numSurfs\"");
    EXPECT_EQ(count, 0);
    // The first error stays: later failures do not overwrite it.
    reader.fail("something else");
    EXPECT_EQ(reader.error().find("maps/x.proc:3:"), 0u);
}

TEST(PatternReaderFile, ReadsWholeRegularFilesAndEmptyOnesAndRefusesPipes) {
    test::MapFiles files;
    std::string text;
    for (int i = 0; text.size() < 200000; ++i) text += "w" + std::to_string(i) + "\n";
    PatternReader file;
    std::string error;
    ASSERT_TRUE(file.open(files.write("m.proc", text).c_str(), &error)) << error;
    EXPECT_EQ(file.text(), text);
    ASSERT_TRUE(file.open(files.write("empty.proc", "").c_str(), &error)) << error;
    EXPECT_TRUE(file.atEnd());

    // A named pipe may never end: refused at once, without waiting for a writer.
    const std::string pipe = files.path("pipe.proc");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(file.open(pipe.c_str(), &error));
    EXPECT_EQ(error, pipe + ": is a named pipe, not a regular file (map files are read from regular files only)");
}

TEST(PatternMatch, CountsAreCheckedAgainstTheTextLeft) {
    PatternReader reader("( 1 2 3 ) ( 4 5 6 )", "t");
    constexpr Pattern point{" ( %f %f %f ) "};
    static_assert(point.minimumLength() == 5);  // known when compiling
    EXPECT_EQ(Pattern("%% a%d %s").minimumLength(), 4u);
    EXPECT_TRUE(reader.fits(2, point));
    EXPECT_TRUE(reader.fits(3, point));   // 19 bytes hold at most 3 of 5 bytes
    EXPECT_FALSE(reader.fits(4, point));
    EXPECT_FALSE(reader.fits(int64_t{1} << 31, point));
    EXPECT_FALSE(reader.fits(-1, point));
}

}  // namespace
}  // namespace q
