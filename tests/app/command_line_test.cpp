#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/path_options.h"

namespace q {
namespace {

struct Parsed {
    bool ok;
    Options options;
    std::string error;
};

Parsed parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv = {"quorvane"};
    argv.insert(argv.end(), args.begin(), args.end());
    Parsed result;
    result.ok = parseCommandLine(static_cast<int>(argv.size()), argv.data(), &result.options, &result.error);
    return result;
}

TEST(AppCommandLine, NoArgumentsIsTheOriginalBehaviour) {
    const Parsed p = parse({});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mapBase, "bbb");
    EXPECT_EQ(p.options.dir, "");
    EXPECT_FALSE(p.options.windowed);
    EXPECT_FALSE(p.options.headless);
    EXPECT_TRUE(p.options.watch);
    EXPECT_EQ(p.options.frames, -1);
    EXPECT_FALSE(p.options.simulatedClock);
    EXPECT_FALSE(p.options.hasStart);
    EXPECT_FALSE(p.options.hasLook);
    EXPECT_EQ(p.options.instances, 5);
    EXPECT_TRUE(p.options.textureDirs.empty());
    EXPECT_FALSE(p.options.untexturedGrid);
    EXPECT_EQ(p.options.sensitivity, 1.0f);
    EXPECT_FALSE(p.options.invertY);
    EXPECT_TRUE(p.options.inputFile.empty() && p.options.screenshotFile.empty() && p.options.traceFile.empty());
}

TEST(AppCommandLine, EveryOptionIsRead) {
    const Parsed p = parse({"--map", "maps/big", "--dir", "/tmp/x", "--headless", "--frames", "10", "--input",
                            "walk.txt", "--screenshot", "shot.PNG", "--trace", "t.jsonl", "--tick-ms", "16",
                            "--start", "1.5", "-64", "2e3", "--look", "3.14", "-0.25", "--instances", "1",
                            "--summary", "--textures", "base", "--untextured", "grid", "--textures", "/extra",
                            "--sensitivity", "0.25", "--invert-y"});
    ASSERT_TRUE(p.ok) << p.error;
    const Options& o = p.options;
    EXPECT_EQ(o.mapBase, "maps/big");
    EXPECT_EQ(o.dir, "/tmp/x");
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.frames, 10);
    EXPECT_EQ(o.inputFile, "walk.txt");
    EXPECT_EQ(o.screenshotFile, "shot.PNG");
    EXPECT_EQ(o.traceFile, "t.jsonl");
    EXPECT_TRUE(o.simulatedClock);
    EXPECT_EQ(o.tickMs, 16u);
    EXPECT_TRUE(o.hasStart);
    EXPECT_EQ(o.start, Vector3(1.5f, -64.0f, 2000.0f));
    EXPECT_TRUE(o.hasLook);
    EXPECT_FLOAT_EQ(o.yaw, 3.14f);
    EXPECT_FLOAT_EQ(o.pitch, -0.25f);
    EXPECT_EQ(o.instances, 1);
    EXPECT_TRUE(o.summary);
    const Parsed placed = parse({"--area", "3", "--look", "1", "0", "--instances", "2"});
    ASSERT_TRUE(placed.ok) << placed.error;
    EXPECT_EQ(placed.options.area, 3);
    EXPECT_EQ(parse({}).options.area, -1);
    const Parsed info = parse({"--info", "--json", "--map", "x"});
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_TRUE(info.options.info && info.options.json);
    EXPECT_EQ(parse({"--report", "out/r.json", "--no-entities"}).options.reportFile, "out/r.json");
    EXPECT_EQ(parse({"--report", "r.html"}).options.reportFile, "r.html");
    const Parsed limits = parse({"--max-image-size", "16384", "--image-budget", "3000"});
    ASSERT_TRUE(limits.ok) << limits.error;
    EXPECT_EQ(limits.options.maxImageSide, 16384u);
    EXPECT_EQ(limits.options.imageBudgetMiB, 3000u);
    EXPECT_EQ(parse({}).options.maxImageSide, 8192u);
    EXPECT_EQ(parse({}).options.imageBudgetMiB, 1024u);
    EXPECT_EQ(o.textureDirs, (std::vector<std::string>{"base", "/extra"}));  // in the order given
    EXPECT_TRUE(o.untexturedGrid);
    EXPECT_FALSE(parse({"--untextured", "none"}).options.untexturedGrid);
    EXPECT_EQ(parse({}).options.light, 0);  // as the map says
    EXPECT_EQ(parse({"--light", "map"}).options.light, 'm');
    EXPECT_EQ(parse({"--light", "camera"}).options.light, 'c');
    EXPECT_EQ(o.sensitivity, 0.25f);
    EXPECT_TRUE(o.invertY);
    // The map may come without --map, and by either of its files' names.
    EXPECT_EQ(parse({"maps/x.proc", "--windowed"}).options.mapBase, "maps/x");
    EXPECT_EQ(parse({"--map", "maps/x.cm"}).options.mapBase, "maps/x");
    EXPECT_EQ(parse({"maps/x.bak"}).options.mapBase, "maps/x.bak");
    EXPECT_EQ(parse({".proc"}).options.mapBase, ".proc");  // a hidden name, not an empty one
    EXPECT_TRUE(parse({"--help"}).options.help);
    EXPECT_TRUE(parse({"--windowed"}).options.windowed);
    EXPECT_FALSE(parse({"--no-watch"}).options.watch);
}

TEST(AppCommandLine, BadOptionsNameTheOptionAndWhatWasExpected) {
    struct Case {
        std::initializer_list<const char*> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--fullscreen"}, "unknown option '--fullscreen'"},
        {{"a", "b.proc"}, "the map is given twice: 'a' and 'b.proc'"},
        {{"--map", "a", "a"}, "the map is given twice"},
        {{"--map"}, "--map expects"},
        {{"--map", ""}, "--map expects"},
        {{"--frames"}, "--frames expects"},
        {{"--frames", "0"}, "--frames expects"},
        {{"--frames", "12x"}, "--frames expects"},
        {{"--frames", "-5"}, "--frames expects"},
        {{"--frames", "99999999999999999999"}, "--frames expects"},
        {{"--tick-ms", "-1"}, "--tick-ms expects"},
        {{"--screenshot", "shot.jpg"}, "ending in .png"},
        {{"--screenshot", ".png"}, "ending in .png"},
        {{"--start", "1", "2"}, "--start expects three numbers"},
        {{"--start", "1", "nan", "3"}, "--start expects"},
        {{"--start", "1", "inf", "3"}, "--start expects"},
        {{"--start", "1e30", "0", "0"}, "--start expects"},
        {{"--look", "0.5"}, "--look expects"},
        {{"--instances", "0"}, "--instances expects a whole number from 1 to 5"},
        {{"--instances", "6"}, "--instances expects"},
        {{"--windowed", "--headless"}, "exclude each other"},
        {{"--area"}, "--area expects an area number"},
        {{"--area", "-1"}, "--area expects"},
        {{"--area", "2", "--start", "0", "0", "0"}, "--area and --start exclude each other"},
        {{"--json"}, "--json goes with --info"},
        {{"--textures"}, "--textures expects a directory"},
        {{"--untextured"}, "--untextured expects grid"},
        {{"--untextured", "checker"}, "--untextured expects grid"},
        {{"--light", "sun"}, "--light expects map (the map's own lights) or camera"},
        {{"--sensitivity"}, "--sensitivity expects a number above 0"},
        {{"--sensitivity", "0"}, "--sensitivity expects"},
        {{"--sensitivity", "-1"}, "--sensitivity expects"},
        {{"--sensitivity", "101"}, "--sensitivity expects"},
        {{"--sensitivity", "nan"}, "--sensitivity expects"},
        {{"--sensitivity", "2x"}, "--sensitivity expects"},
        {{"--max-image-size", "16385"}, "--max-image-size expects"},
        {{"--max-image-size", "0"}, "--max-image-size expects"},
        {{"--image-budget", "0"}, "--image-budget expects"},
        {{"--image-budget", "1048577"}, "--image-budget expects"},
        {{"--info", "--trace", "t.jsonl"}, "--info draws none"},
        {{"--screenshot", "s.png", "--info"}, "--info draws none"},
        {{"--report"}, "--report expects a file name"},
        {{"--report", "r.htm"}, "ending in .json or .html"},
        {{"--report", "r.json", "--trace", "t.jsonl"}, "--report surveys the whole map"},
        {{"--report", "r.json", "--area", "2"}, "--report surveys the whole map"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << *c.args.begin();
        EXPECT_NE(p.error.find(c.mentions), std::string::npos) << "got: " << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << "one line: " << p.error;
    }
}

// Every option naming a file or directory is checked before the start goes
// on, one line the same way for each; what exists passes.
TEST(AppCommandLine, PathsThatLeadNowhereStopTheStartOneLineEach) {
    const std::string d = ::testing::TempDir() + "quorvane_paths_" + std::to_string(::getpid());
    std::filesystem::create_directories(d + "/maps");
    std::ofstream(d + "/site.proc") << "mapProcFile003\n";
    auto check = [](std::vector<const char*> argv) {
        argv.insert(argv.begin(), "quorvane");
        Options options;
        std::string error;
        EXPECT_TRUE(parseCommandLine(static_cast<int>(argv.size()), argv.data(), &options, &error)) << error;
        return checkPathOptions(options, &error) ? std::string() : error;
    };
    const std::string missing = d + "/nowhere", file = d + "/site.proc", shot = missing + "/shot.png", maps = d + "/maps";
    EXPECT_EQ(check({"--dir", missing.c_str()}), "--dir expects a directory holding the map: '" + missing + "' does not exist");
    EXPECT_EQ(check({"--textures", d.c_str(), "--textures", file.c_str()}),
              "--textures expects a directory of images: '" + file + "' is not a directory");
    EXPECT_EQ(check({"--input", d.c_str()}), "--input expects an input script file: '" + d + "' is a directory");
    EXPECT_EQ(check({"--screenshot", shot.c_str()}),
              "--screenshot expects a file in an existing directory: '" + missing + "' does not exist");
    EXPECT_EQ(check({"--trace", d.c_str()}), "--trace expects a file in an existing directory: '" + d + "' is a directory");
    EXPECT_EQ(check({"--dir", d.c_str(), "--textures", maps.c_str(), "--input", file.c_str(), "--trace", "t.jsonl"}), "");
    std::filesystem::remove_all(d);
}

// The usage is made from the option table and the parser refuses what the
// table lacks; what is left to drift is a listed option the parser does not
// read, or one the usage leaves out.
TEST(AppCommandLine, UsageListsEveryOption) {
    const std::string usage = usageText();
    for (const CommandLineOption& option : commandLineOptions()) {
        const std::string name = option.name;
        EXPECT_NE(usage.find(" " + name + (option.synopsis ? "" : ":")), std::string::npos) << name;
        const Parsed p = parse({option.name, "1", "1", "1"});
        EXPECT_EQ(p.error.find("unknown option"), std::string::npos) << p.error;
        EXPECT_EQ(p.error.find("not read"), std::string::npos) << p.error;
    }
    EXPECT_TRUE(parse({"-h"}).options.help);
}

}  // namespace
}  // namespace q
