// Runs the real viewer headless on a generated map and reads what it leaves
// behind: the screenshot, the trace, the exit code and the message.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "e2e/run_shell.h"
#include "image/image.h"
#include "image/image_png_read.h"

namespace q {
namespace {

std::string shellQuoted(const std::string& s) { return "'" + s + "'"; }

// As runShell, with the command's peak resident memory: it runs as a child of
// its own (the shell replaced by the command), so that only its own peak counts.
Result runMeasured(const std::string& command, long* peakKiB) {
    Result result;
    const std::string output = ::testing::TempDir() + "measured_" + std::to_string(::getpid()) + ".txt";
    const std::string line = "exec " + command + " >" + shellQuoted(output) + " 2>&1";
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (child > 0 && ::wait4(child, &status, 0, &usage) == child) {
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        *peakKiB = usage.ru_maxrss;
    }
    std::ifstream in(output);
    result.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(output.c_str());
    return result;
}

class AppEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // CTest runs each test in its own process, several at once: one map each.
        dir_ = new std::string(::testing::TempDir() + "quorvane_e2e_map_" + std::to_string(::getpid()));
        std::filesystem::remove_all(*dir_);
        mapResult_ = new Result(runShell(std::string(shellQuoted(MAPGEN_BINARY)) + " demo " + shellQuoted(*dir_)));
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(*dir_);
        delete dir_;
        delete mapResult_;
    }
    void SetUp() override { ASSERT_EQ(mapResult_->exitCode, 0) << mapResult_->output; }

    // The viewer, headless on the demo map, with a simulated 16 ms clock.
    Result viewer(const std::string& arguments) {
        return runShell(std::string(shellQuoted(QUORVANE_BINARY)) + " --headless --tick-ms 16 --dir " + shellQuoted(*dir_) +
                        " " + arguments);
    }
    std::string file(const char* name) { return ::testing::TempDir() + name; }

    static std::string* dir_;
    static Result* mapResult_;
};

std::string* AppEndToEnd::dir_ = nullptr;
Result* AppEndToEnd::mapResult_ = nullptr;

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

const uint8_t* pixel(const Image& image, uint32_t x, uint32_t y) { return &image.rgba[(size_t{y} * image.width + x) * 4]; }

TEST_F(AppEndToEnd, TenFramesLeaveAScreenshotAndATraceOfTenLines) {
    const std::string shot = file("e2e_ten.png"), trace = file("e2e_ten.jsonl");
    const Result run = viewer("--frames 10 --screenshot " + shellQuoted(shot) + " --trace " + shellQuoted(trace));
    ASSERT_EQ(run.exitCode, 0) << run.output;

    Image image;
    std::string error;
    ASSERT_TRUE(loadPng(shot.c_str(), &image, &error)) << error;
    EXPECT_EQ(image.width, 1024u);
    EXPECT_EQ(image.height, 768u);

    const std::vector<std::string> records = lines(trace);
    ASSERT_EQ(records.size(), 10u);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].rfind("{\"frame\":" + std::to_string(i) + ",", 0), 0u) << records[i];
        EXPECT_NE(records[i].find("\"fps\":0,"), std::string::npos) << records[i];  // 144 ms: no window closed
        EXPECT_NE(records[i].find("\"portalMode\":true"), std::string::npos);
    }
    std::remove(shot.c_str());
    std::remove(trace.c_str());
}

TEST_F(AppEndToEnd, OverlayTextIsBlueAtTheTopLeftOverTheClearColour) {
    // High above one copy, looking steeply up: nothing but sky behind the text.
    const std::string shot = file("e2e_sky.png");
    const Result run = viewer("--frames 3 --instances 1 --start 0 5000 30000 --look 0 -1.2 --screenshot " + shellQuoted(shot));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    Image image;
    std::string error;
    ASSERT_TRUE(loadPng(shot.c_str(), &image, &error)) << error;
    ASSERT_EQ(image.width, 1024u);
    // The picture says where it was taken, as C would print it (the eye fell a little).
    std::ifstream png(shot, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(png)), std::istreambuf_iterator<char>());
    const std::string chunk = std::string("tEXtComment") + '\0' + "quorvane: --start 0 ";
    const size_t at = bytes.find(chunk);
    ASSERT_NE(at, std::string::npos);
    const std::string place = bytes.substr(at + chunk.size(), 60);
    EXPECT_NE(place.find(" 30000 --look 0 -1.20000005"), std::string::npos) << place;

    int blue = 0;
    for (uint32_t y = 0; y < 80; ++y)
        for (uint32_t x = 0; x < 100; ++x) {
            const uint8_t* p = pixel(image, x, y);
            if (p[2] > 128 && p[0] < 60 && p[1] < 60) ++blue;
            EXPECT_LT(p[0] + p[1], 120) << "only blue text and black sky at " << x << "," << y;
        }
    EXPECT_GT(blue, 100) << "the overlay's first lines should be there";
    const uint8_t* sky = pixel(image, 1000, 300);  // right of every overlay line
    EXPECT_EQ(sky[0], 0);
    EXPECT_EQ(sky[1], 0);
    EXPECT_EQ(sky[2], 0);
    EXPECT_EQ(sky[3], 255);
    std::remove(shot.c_str());
}

TEST_F(AppEndToEnd, ScriptDrivesTheRunAndItsEndEndsIt) {
    const std::string script = file("e2e_walk.txt"), trace = file("e2e_walk.jsonl");
    std::ofstream(script) << "# turn, switch mode twice\n3* 256 0\n0 0 TAB\n2* 0 0 W\n0 0 TAB\n";
    const Result run = viewer("--input " + shellQuoted(script) + " --trace " + shellQuoted(trace) + " --summary");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<std::string> records = lines(trace);
    ASSERT_EQ(records.size(), 7u);
    EXPECT_NE(records[2].find("\"yaw\":3,"), std::string::npos) << records[2];  // 3 x 256 counts = 3 radians
    EXPECT_NE(records[3].find("\"portalMode\":false"), std::string::npos);
    EXPECT_NE(records[5].find("\"portalMode\":false"), std::string::npos);
    EXPECT_NE(records[6].find("\"portalMode\":true"), std::string::npos);
    EXPECT_NE(run.output.find("quorvane: 7 frames, mean fps 62.5, last instance"), std::string::npos) << run.output;
    std::remove(script.c_str());
    std::remove(trace.c_str());
}

// M at the end of a script names what lies under the centre of the screen:
// the wall ahead, then the floor when looking straight down, both of the area
// the camera stands in.
TEST_F(AppEndToEnd, MNamesTheMaterialAndAreaUnderTheView) {
    const std::string script = file("e2e_pick.txt");
    std::ofstream(script) << "30* 0 0\n0 0 M\n";
    for (const auto& [look, material] : {std::pair<std::string, std::string>{"0 0", "wall"}, {"0 1.55", "floor"}}) {
        const Result run = viewer("--instances 1 --area 2 --look " + look + " --input " + shellQuoted(script));
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const std::string line = "quorvane: looking at textures/gen/" + material +
                                 " (no definition); image textures/gen/" + material + ".jpg; area 2 of copy 0\n";
        EXPECT_NE(run.output.find(line), std::string::npos) << line << " in:\n" << run.output;
    }
    std::remove(script.c_str());
}

// Started from elsewhere with the map's path: the terrain's image is looked
// for beside the map (as its materials are) before the working directory.
TEST_F(AppEndToEnd, TerrainImageIsLookedForBesideTheMapFirst) {
    const std::string elsewhere = file("e2e_elsewhere"), bare = elsewhere + "/bare";
    std::filesystem::create_directories(bare);
    for (const char* name : {"/bbb.proc", "/bbb.cm"}) std::filesystem::copy_file(*dir_ + name, bare + name);
    const std::string start = "cd " + shellQuoted(elsewhere) + " && " + shellQuoted(QUORVANE_BINARY) + " --headless --frames 1 ";
    Result run = runShell(start + shellQuoted(*dir_ + "/bbb.proc"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("Grass.bmp"), std::string::npos) << run.output;
    run = runShell(start + "bare/bbb");
    EXPECT_NE(run.output.find("Grass.bmp: not found beside the map (in bare) nor in the working directory"),
              std::string::npos) << run.output;
    std::filesystem::remove_all(elsewhere);
}

TEST_F(AppEndToEnd, BadInputGivesOneLineAndTheRightExitCode) {
    Result run = viewer("--frames ten");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "quorvane: --frames expects a whole number of frames from 1 to 100000000\n");

    run = viewer("--bogus");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("unknown option '--bogus'"), std::string::npos);

    const std::string script = file("e2e_bad.txt");
    std::ofstream(script) << "0 0\n0 0 JUMP\n";
    run = viewer("--input " + shellQuoted(script));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find(script + ":2: expected a key"), std::string::npos) << run.output;
    std::remove(script.c_str());

    // A name that leads nowhere stops the start at once.
    run = viewer("--frames 1 --textures /nonexistent/dir");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "quorvane: --textures expects a directory of images: '/nonexistent/dir' does not exist\n");

    run = viewer("--frames 1 --map nosuchmap");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("nosuchmap.proc"), std::string::npos) << run.output;

    run = runShell("env -u DISPLAY -u WAYLAND_DISPLAY " + shellQuoted(QUORVANE_BINARY) + " --windowed --frames 1");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("use --headless"), std::string::npos) << run.output;

    run = runShell(shellQuoted(QUORVANE_BINARY) + " --help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("--instances N"), std::string::npos);
}

// Files destroyed: an output takes its path's place only when complete, never
// replaces a file the run reads, and a run or a write that fails leaves what
// the path named as it was (and no file of its own behind).
TEST_F(AppEndToEnd, OutputsReplaceOnlyWhatTheRunMadeAndNeverAnInput) {
    namespace fs = std::filesystem;
    const std::string proc = *dir_ + "/bbb.proc";
    const uintmax_t procSize = fs::file_size(proc);
    Result run = viewer("--frames 2 --trace " + shellQuoted(proc));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("which this run reads"), std::string::npos) << run.output;
    EXPECT_EQ(fs::file_size(proc), procSize);

    // The input script, named through a link.
    const std::string script = file("e2e_keep.txt"), link = file("e2e_keep_link.jsonl");
    std::ofstream(script) << "2* 0 0\n";
    fs::remove(link);
    fs::create_symlink(script, link);
    run = viewer("--input " + shellQuoted(script) + " --trace " + shellQuoted(link));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("the input script"), std::string::npos) << run.output;
    EXPECT_EQ(lines(script), std::vector<std::string>{"2* 0 0"});

    // Files the run reads but does not use (a damaged image), and the map
    // source it looks for but does not find (a reload reads it): neither is
    // written, nor made before the map is read.
    const std::string copy = file("e2e_inputs");
    fs::remove_all(copy);
    fs::copy(*dir_, copy, fs::copy_options::recursive);
    std::ofstream(copy + "/textures/gen/wall.jpg") << "damaged\n";
    for (const char* output : {"--screenshot", "--trace"}) {
        run = runShell(shellQuoted(QUORVANE_BINARY) + " --headless --frames 1 --dir " + shellQuoted(copy) + " " +
                       output + " " + shellQuoted(copy + "/textures/gen/wall.jpg"));
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_EQ(lines(copy + "/textures/gen/wall.jpg"), std::vector<std::string>{"damaged"});
    }
    run = runShell(shellQuoted(QUORVANE_BINARY) + " --headless --frames 1 --dir " + shellQuoted(copy) + " --trace " +
                   shellQuoted(copy + "/bbb.map"));
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("bbb.map' names 'bbb.map', which this run reads"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("bbb.map:1"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(copy + "/bbb.map"));
    fs::remove_all(copy);

    // An earlier trace outlives a run that fails, and is replaced whole by one that succeeds.
    const std::string trace = file("e2e_keep.jsonl");
    std::ofstream(trace) << "earlier\n";
    run = viewer("--frames 2 --map nosuchmap --trace " + shellQuoted(trace));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(lines(trace), std::vector<std::string>{"earlier"});
    run = viewer("--frames 2 --trace " + shellQuoted(trace));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(lines(trace).size(), 2u);
    // A new trace is the run's own: written in place, gone again when the run fails.
    const std::string fresh = file("e2e_fresh.jsonl");
    fs::remove(fresh);
    run = viewer("--frames 2 --map nosuchmap --trace " + shellQuoted(fresh));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(fs::exists(fresh));

    // A screenshot into a device that cannot take it fails and leaves the link.
    const std::string full = file("e2e_full.png");
    fs::remove(full);
    fs::create_symlink("/dev/full", full);
    run = viewer("--frames 1 --screenshot " + shellQuoted(full));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("e2e_full.png: cannot write PNG"), std::string::npos) << run.output;
    EXPECT_TRUE(fs::is_symlink(full));

    // A disk that fills up while the picture is written (here: a file size
    // limit) leaves the earlier picture of that name whole.
    const std::string earlier = file("e2e_earlier.png");
    std::ofstream(earlier) << "the earlier picture\n";
    run = runShell("trap '' XFSZ; ulimit -f 8; exec " + shellQuoted(QUORVANE_BINARY) + " --headless --frames 1 --dir " +
                   shellQuoted(*dir_) + " --screenshot " + shellQuoted(earlier));
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("e2e_earlier.png: cannot write PNG"), std::string::npos) << run.output;
    EXPECT_EQ(lines(earlier), std::vector<std::string>{"the earlier picture"});
    fs::remove(earlier);

    for (const fs::directory_entry& entry : fs::directory_iterator(::testing::TempDir()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".e2e_")) << "left behind: " << entry.path();
    for (const std::string& made : {script, link, trace, full}) fs::remove(made);
}

// Runs that draw no frame write no picture and say so; --info draws none.
TEST_F(AppEndToEnd, NoFrameNoScreenshot) {
    const std::string shot = file("e2e_none.png"), script = file("e2e_none.txt");
    for (const char* text : {"", "# nothing\n", "0 0 ESC\n"}) {
        std::ofstream(script) << text;
        const Result run = viewer("--input " + shellQuoted(script) + " --screenshot " + shellQuoted(shot));
        EXPECT_EQ(run.exitCode, 1) << text;
        EXPECT_NE(run.output.find("no screenshot written: the run ended before its first frame"), std::string::npos)
            << run.output;
        EXPECT_FALSE(std::filesystem::exists(shot));
    }
    for (const std::string output : {"--trace t.jsonl", "--screenshot s.png"}) {
        const Result run = viewer("--info " + output);
        EXPECT_EQ(run.exitCode, 2) << output;
        EXPECT_NE(run.output.find("--info draws none"), std::string::npos) << run.output;
    }
    std::remove(script.c_str());
}

// Memory bounded: a material image whose few bytes claim a gigabyte of
// pixels is refused from its header, and an image file padded far past what
// its pixels need is not read past them; map files that are pipes are refused
// at once instead of waited on.
TEST_F(AppEndToEnd, ImageBombsAndEndlessFilesCostNeitherMemoryNorTime) {
    namespace fs = std::filesystem;
    const std::string copy = file("e2e_bombs");
    fs::remove_all(copy);
    fs::copy(*dir_, copy, fs::copy_options::recursive);
    // An 8-bit run-length BMP of 16384 x 16384 pixels of one colour: 1 GiB of
    // pixels from 2 MiB of runs (content decides the kind, not the name).
    std::string runs;
    for (int row = 0; row < 16384; ++row) {
        for (int run = 0; run < 64; ++run) runs += "\xff\x01";
        runs += std::string("\x40\x01\0\0", 4);  // the last 64 pixels, the end of the row
    }
    runs.back() = 1;  // the end of the picture
    std::string bmp(1078, '\0');
    auto put32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>(v >> (8 * i)); };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<uint32_t>(1078 + runs.size()));
    put32(10, 1078);
    put32(14, 40);
    put32(18, 16384);
    put32(22, 16384);
    bmp[26] = 1;
    bmp[28] = 8;
    put32(30, 1);  // RLE8
    put32(34, static_cast<uint32_t>(runs.size()));
    bmp += runs;
    std::ofstream(copy + "/textures/gen/wall.jpg", std::ios::binary) << bmp;
    // A 64 x 64 TGA followed by 500 MiB of holes.
    std::string tga(18 + 64 * 64 * 3, '\x40');
    const unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 64, 0, 24, 0x20};
    std::copy(header, header + 18, tga.begin());
    std::ofstream(copy + "/textures/gen/floor.jpg", std::ios::binary) << tga;
    fs::resize_file(copy + "/textures/gen/floor.jpg", uintmax_t{500} << 20);
    // DDS files whose head passes and whose body does not: 11 bytes of which
    // the first four are the signature, and a 512 x 512 DXT5 image cut to
    // 100,000 bytes.
    std::ofstream(copy + "/textures/gen/ceiling.jpg", std::ios::binary) << "DDS \x7f\x01\xfe\x09\x13\x37\x42";
    std::string dds(100000, '\x55');
    auto putDds = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) dds[at + i] = static_cast<char>(v >> (8 * i)); };
    dds.replace(0, 4, "DDS ");
    const std::pair<size_t, uint32_t> fields[] = {{4, 124}, {8, 0x1007}, {12, 512}, {16, 512}, {20, 0},
                                                  {24, 0},   {28, 1},      {76, 32},  {80, 4}};
    for (const auto& [at, value] : fields) putDds(at, value);
    dds.replace(84, 4, "DXT5");
    std::ofstream(copy + "/textures/gen/outer.jpg", std::ios::binary) << dds;

    long peakKiB = 0;
    const Result run = runMeasured(shellQuoted(QUORVANE_BINARY) + " --headless --frames 1 --dir " + shellQuoted(copy),
                                   &peakKiB);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("wall.jpg: image too large (16384 x 16384): at most 8192 pixels a side"),
              std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("floor.jpg"), std::string::npos) << run.output;  // used as it is
    // The viewer alone (sanitizers and software GL) peaks near 300 MiB here;
    // either file read or decoded whole would add 500 MiB or more.
    EXPECT_LT(peakKiB, 600 * 1024) << "peak " << peakKiB << " KiB";

    // --info names what it finds and cannot use: too large, or no image at all.
    std::ofstream(copy + "/textures/gen/trim.jpg");
    const Result info = runShell(shellQuoted(QUORVANE_BINARY) + " --info --dir " + shellQuoted(copy));
    EXPECT_EQ(info.exitCode, 0) << info.output;
    for (const char* line : {"wall.jpg (cannot be used: image too large (16384 x 16384): at most 8192 pixels a side",
                             "trim.jpg (cannot be used: empty file, not an image)\n"})
        EXPECT_NE(info.output.find(line), std::string::npos) << line << " in:\n" << info.output;
    EXPECT_EQ(info.output.find("floor.jpg ("), std::string::npos) << info.output;
    // ... and, in the run's own words, what only decoding finds.
    for (const std::string name : {"ceiling.jpg", "outer.jpg"}) {
        const size_t at = run.output.find(name + ": ");
        ASSERT_NE(at, std::string::npos) << name << " in:\n" << run.output;
        const size_t from = at + name.size() + 2;
        const std::string what = run.output.substr(from, run.output.find_first_of(";\n", from) - from);
        EXPECT_NE(what.find("truncated DDS"), std::string::npos) << what;
        EXPECT_NE(info.output.find(name + " (cannot be used: " + what + ")\n"), std::string::npos)
            << what << " in:\n" << info.output;
    }

    ASSERT_EQ(::mkfifo((copy + "/pipe.proc").c_str(), 0600), 0);
    const Result pipe = runShell("timeout 20 " + shellQuoted(QUORVANE_BINARY) + " --info --dir " + shellQuoted(copy) + " pipe");
    EXPECT_EQ(pipe.exitCode, 1);
    EXPECT_NE(pipe.output.find("pipe.proc: is a named pipe, not a regular file"), std::string::npos) << pipe.output;
    fs::remove_all(copy);
}

// Path length: a map deep in folders loads in every mode, and a screenshot or
// a texture folder named relative to a working directory deeper than the
// system's longest path is found there, with or without --dir.
TEST_F(AppEndToEnd, DeepPathsWorkInEveryMode) {
    namespace fs = std::filesystem;
    const std::string deepMaps = file("e2e_deep/") + std::string(100, 'm') + "/" + std::string(100, 'n');
    fs::create_directories(deepMaps);
    for (const char* name : {"bbb.proc", "bbb.cm"}) fs::copy_file(*dir_ + "/" + name, deepMaps + "/" + name);
    Result run = viewer("--frames 1 --map " + shellQuoted(deepMaps + "/bbb"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    run = viewer("--info --map " + shellQuoted(deepMaps + "/bbb"));
    EXPECT_EQ(run.exitCode, 0) << run.output;

    const std::string part(200, 'w');
    std::string climb = "cd " + shellQuoted(file("e2e_deep")) + " && for i in $(seq 24); do mkdir -p " + part +
                        " && cd -P " + part + " || exit 9; done && ";
    run = runShell(climb + shellQuoted(QUORVANE_BINARY) + " --headless --frames 1 --dir " + shellQuoted(*dir_) +
                   " --screenshot s.png --trace t.jsonl && test -s s.png && test -s t.jsonl");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    // There, without --dir, --textures names a directory relative to it.
    run = runShell(climb + "cp " + shellQuoted(*dir_) + "/bbb.* . && mkdir -p t && cp -r " + shellQuoted(*dir_) +
                   "/textures t/ && " + shellQuoted(QUORVANE_BINARY) + " --info --textures t");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("textures/gen/wall: t/textures/gen/wall.jpg\n"), std::string::npos) << run.output;
    // With --dir too it is still found there, as F12's pictures are.
    run = runShell(climb + shellQuoted(QUORVANE_BINARY) + " --info --textures t --dir " + shellQuoted(deepMaps));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("/textures/gen/wall.jpg\n"), std::string::npos) << run.output;
    runShell("rm -rf " + shellQuoted(file("e2e_deep")));  // rm walks a tree deeper than any path
}

}  // namespace
}  // namespace q
