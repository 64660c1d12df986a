#include "app/command_line.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string_view>

namespace q {

namespace {

// Bounds that keep every number well inside what the viewer can use.
constexpr int64_t kMaxFrames = 100000000;
constexpr int64_t kMaxTickMs = 3600000;
constexpr float kMaxCoordinate = 1.0e7f;
constexpr float kMaxAngle = 1.0e4f;
constexpr int64_t kMaxArea = 1000000000;  // the map says how many it has; this only keeps the number an int
constexpr float kMaxSensitivity = 100.0f;
constexpr int64_t kMaxImageBudgetMiB = int64_t{1} << 20;  // 1 TiB: beyond any machine's memory

bool parseInteger(const char* text, int64_t low, int64_t high, int64_t* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    *out = value;
    return true;
}

bool parseFloat(const char* text, float limit, float* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const float value = std::strtof(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || std::fabs(value) > limit) return false;
    *out = value;
    return true;
}

bool endsWithPng(const std::string& name) {
    if (name.size() < 5) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".png";
}

// A map named by one of its files opens as the map: "maps/x.proc" and
// "maps/x.cm" both mean "maps/x", the name the two files are read from.
std::string mapBaseName(const std::string& name) {
    for (const std::string_view extension : {".proc", ".cm"})
        if (name.size() > extension.size() && name.ends_with(extension))
            return name.substr(0, name.size() - extension.size());
    return name;
}

// Every option, in the order the usage text lists them. The parser refuses a
// name that is not here, so no option goes unlisted.
constexpr CommandLineOption kOptions[] = {
    {"--map", "MAP, --map MAP", "read MAP.proc and MAP.cm (default bbb); MAP may also be\n"
                                "either file's own name, such as maps/x.proc"},
    {"--dir", "--dir DIR", "read the map and textures from DIR"},
    {"--textures", "--textures DIR", "look for material images in DIR too, after the map's own\n"
                                     "directory (repeatable: searched in the order given)"},
    {"--assets", "--assets PATH", "an asset root (folder or zip): its materials/*.mtr name the\n"
                                  "images, looked for there too (repeatable, after the map's own)"},
    {"--untextured", "--untextured grid", "draw surfaces whose image is missing with a grey grid\n"
                                          "(default none: untextured)"},
    {"--no-entities", "--no-entities", "leave the map source MAP.map unread: entity models (doors,\n"
                                       "statics) undrawn and not solid, the default start"},
    {"--light", "--light map|camera", "light the map by its own lights or by the camera's (default:\n"
                                      "its own where its source places any; L switches)"},
    {"--no-watch", "--no-watch", "do not read the map again when its files change (F5 still does)"},
    {"--max-image-size", "--max-image-size N", "material images may have up to N pixels a side\n"
                                               "(default 8192, at most 16384)"},
    {"--image-budget", "--image-budget MIB", "all of a map's decoded images may take up to MIB MiB\n"
                                             "(default 1024)"},
    {"--windowed", "--windowed", "a window instead of full screen"},
    {"--headless", "--headless", "no window and no display: render off-screen"},
    {"--frames", "--frames N", "stop after N frames (headless default: 300)"},
    {"--input", "--input FILE", "take keyboard and mouse from a script, one frame per line"},
    {"--screenshot", "--screenshot F.png", "write the last frame to F.png"},
    {"--trace", "--trace F.jsonl", "write one JSON object per frame to F.jsonl"},
    {"--tick-ms", "--tick-ms N", "simulated clock: every frame takes N ms (reproducible runs)"},
    {"--start", "--start X Y Z", "place the camera at X Y Z (world units, y up)"},
    {"--look", "--look YAW PITCH", "turn the camera (radians)"},
    {"--instances", "--instances N", "place only the first N of the five map copies (1 to 5)"},
    {"--area", "--area N", "start standing on a floor of area N of the first copy"},
    {"--info", "--info", "print what the map holds (no window) and stop; --json: as JSON"},
    {"--json", nullptr, nullptr},  // told in --info's line
    {"--report", "--report F.json", "survey what the portals let through from eyes in every\n"
                                    "area, write it to F.json, or F.html as a page with the\n"
                                    "map's plan (no window), and stop"},
    {"--sensitivity", "--sensitivity S", "mouse look speed, above 0 and at most 100 (default 1:\n"
                                         "256 mouse counts turn one radian)"},
    {"--invert-y", "--invert-y", "moving the mouse forward looks down"},
    {"--summary", "--summary", "print one line at the end: frames, mean fps, last place"},
    {"--help", "--help", "this text"},
};

bool isListedOption(std::string_view name) {
    for (const CommandLineOption& option : kOptions)
        if (name == option.name) return true;
    return false;
}

class ArgumentReader {
public:
    ArgumentReader(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}
    bool done() const { return next_ >= argc_; }
    const char* take() { return next_ < argc_ ? argv_[next_++] : nullptr; }

private:
    int argc_;
    const char* const* argv_;
    int next_ = 1;
};

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, Options* out, std::string* error) {
    Options options;
    ArgumentReader args(argc, argv);

    auto fail = [&](const std::string& message) {
        *error = message;
        return false;
    };
    // Reads the value that must follow an option.
    auto value = [&](const char* option, const char* what, std::string* into) {
        const char* v = args.take();
        if (!v || !*v) {
            *error = std::string(option) + " expects " + what;
            return false;
        }
        *into = v;
        return true;
    };

    bool mapGiven = false;
    auto setMap = [&](const std::string& name) {
        if (mapGiven) return fail("the map is given twice: '" + options.mapBase + "' and '" + name + "'");
        options.mapBase = mapBaseName(name);
        mapGiven = true;
        return true;
    };

    while (!args.done()) {
        const std::string given = args.take();
        const std::string option = given == "-h" ? "--help" : given;
        std::string text;
        if (option.starts_with("-") && !isListedOption(option)) {
            return fail("unknown option '" + option + "' (see --help)");
        } else if (option == "--help") {
            options.help = true;
        } else if (option == "--map") {
            if (!value("--map", "a map base name (reads BASE.proc and BASE.cm)", &text) || !setMap(text)) return false;
        } else if (option == "--dir") {
            if (!value("--dir", "a directory holding the map and texture files", &options.dir)) return false;
        } else if (option == "--textures") {
            if (!value("--textures", "a directory holding material images", &text)) return false;
            options.textureDirs.push_back(text);
        } else if (option == "--assets") {
            if (!value("--assets", "an asset folder or zip archive (holding materials/, textures/, ...)", &text)) return false;
            options.assetDirs.push_back(text);
        } else if (option == "--untextured") {
            const char* v = args.take();
            const std::string how = v ? v : "";
            if (how != "grid" && how != "none")
                return fail("--untextured expects grid (a grey grid where an image is missing) or none");
            options.untexturedGrid = how == "grid";
        } else if (option == "--light") {
            const char* v = args.take();
            const std::string how = v ? v : "";
            if (how != "map" && how != "camera")
                return fail("--light expects map (the map's own lights) or camera (the camera's light)");
            options.light = how[0];
        } else if (option == "--no-entities") {
            options.noEntities = true;
        } else if (option == "--no-watch") {
            options.watch = false;
        } else if (option == "--max-image-size") {
            int64_t side = 0;
            if (!parseInteger(args.take(), 1, kMaxImageSide, &side))
                return fail("--max-image-size expects the pixels a material image may have a side, from 1 to 16384");
            options.maxImageSide = static_cast<uint32_t>(side);
        } else if (option == "--image-budget") {
            int64_t mib = 0;
            if (!parseInteger(args.take(), 1, kMaxImageBudgetMiB, &mib))
                return fail("--image-budget expects the MiB all of a map's decoded images may take, from 1 to 1048576");
            options.imageBudgetMiB = static_cast<uint64_t>(mib);
        } else if (option == "--windowed") {
            options.windowed = true;
        } else if (option == "--headless") {
            options.headless = true;
        } else if (option == "--frames") {
            const char* v = args.take();
            if (!parseInteger(v, 1, kMaxFrames, &options.frames))
                return fail("--frames expects a whole number of frames from 1 to 100000000");
        } else if (option == "--input") {
            if (!value("--input", "an input script file", &options.inputFile)) return false;
        } else if (option == "--screenshot") {
            if (!value("--screenshot", "a file name ending in .png", &options.screenshotFile)) return false;
            if (!endsWithPng(options.screenshotFile))
                return fail("--screenshot expects a file name ending in .png, not '" + options.screenshotFile + "'");
        } else if (option == "--trace") {
            if (!value("--trace", "a file name for the per-frame trace (JSON lines)", &options.traceFile)) return false;
        } else if (option == "--report") {
            if (!value("--report", "a file name for the visibility report (FILE.json or FILE.html)", &options.reportFile))
                return false;
            if (!options.reportFile.ends_with(".json") && !options.reportFile.ends_with(".html"))
                return fail("--report expects a file name ending in .json or .html, such as report.html");
        } else if (option == "--tick-ms") {
            int64_t ms = 0;
            if (!parseInteger(args.take(), 0, kMaxTickMs, &ms))
                return fail("--tick-ms expects the milliseconds per frame, a whole number from 0 to 3600000");
            options.simulatedClock = true;
            options.tickMs = static_cast<uint32_t>(ms);
        } else if (option == "--start") {
            const char* x = args.take();
            const char* y = args.take();
            const char* z = args.take();
            if (!parseFloat(x, kMaxCoordinate, &options.start.x) || !parseFloat(y, kMaxCoordinate, &options.start.y) ||
                !parseFloat(z, kMaxCoordinate, &options.start.z))
                return fail("--start expects three numbers X Y Z (world units, y up, at most 1e7 each)");
            options.hasStart = true;
        } else if (option == "--look") {
            const char* yaw = args.take();
            const char* pitch = args.take();
            if (!parseFloat(yaw, kMaxAngle, &options.yaw) || !parseFloat(pitch, kMaxAngle, &options.pitch))
                return fail("--look expects two numbers YAW PITCH (radians)");
            options.hasLook = true;
        } else if (option == "--instances") {
            int64_t n = 0;
            if (!parseInteger(args.take(), 1, 5, &n)) return fail("--instances expects a whole number from 1 to 5");
            options.instances = static_cast<int>(n);
        } else if (option == "--area") {
            int64_t n = 0;
            if (!parseInteger(args.take(), 0, kMaxArea, &n))
                return fail("--area expects an area number of the map, a whole number from 0");
            options.area = static_cast<int>(n);
        } else if (option == "--info") {
            options.info = true;
        } else if (option == "--json") {
            options.json = true;
        } else if (option == "--sensitivity") {
            if (!parseFloat(args.take(), kMaxSensitivity, &options.sensitivity) || !(options.sensitivity > 0.0f))
                return fail("--sensitivity expects a number above 0 and at most 100 (1: 256 mouse counts per radian)");
        } else if (option == "--invert-y") {
            options.invertY = true;
        } else if (option == "--summary") {
            options.summary = true;
        } else if (option.starts_with("-")) {
            return fail("option '" + option + "' is listed but not read");
        } else if (!setMap(option)) {
            return false;
        }
    }
    if (options.windowed && options.headless)
        return fail("--windowed and --headless exclude each other: choose one");
    if (options.area >= 0 && options.hasStart)
        return fail("--area and --start exclude each other: both say where the camera starts");
    if (!options.reportFile.empty() && (options.info || !options.traceFile.empty() ||
                                        !options.screenshotFile.empty() || options.hasStart || options.area >= 0))
        return fail("--report surveys the whole map without a window: leave out --info, --trace, --screenshot, "
                    "--start and --area");
    if (options.json && !options.info) return fail("--json goes with --info: it prints the map's summary as JSON");
    if (options.info && (!options.traceFile.empty() || !options.screenshotFile.empty()))
        return fail("--trace and --screenshot need frames, and --info draws none: leave them out or leave out --info");
    *out = options;
    return true;
}

namespace {

// The usage lines: two spaces, the synopsis in a column this wide, then the
// text; its further lines start under the first.
constexpr size_t kSynopsisColumn = 20;

std::string makeUsageText() {
    std::string text =
        "usage: quorvane [options] [MAP]\n"
        "Walk through an area-portal map. With no options: map bbb from the working\n"
        "directory, full screen, vsync.\n"
        "\n";
    const std::string indent(2 + kSynopsisColumn, ' ');
    for (const CommandLineOption& option : kOptions) {
        if (!option.synopsis) continue;
        std::string synopsis = option.synopsis;
        synopsis.resize(std::max(kSynopsisColumn, synopsis.size() + 2), ' ');
        text += "  " + synopsis;
        for (const char* line = option.text; *line;) {
            const char* end = std::strchr(line, '\n');
            if (!end) end = line + std::strlen(line);
            if (line != option.text) text += indent;
            text.append(line, end);
            text += '\n';
            line = *end ? end + 1 : end;
        }
    }
    return text +
           "\n"
           "Controls: mouse look, W/S/A/D walk, left button jump/fly, F hold to draw\n"
           "frustums, TAB switch render mode, Alt+Enter or F11 full screen on/off,\n"
           "F12 screenshot (quorvane-DATE-TIME.png), ESC quit.\n";
}

}  // namespace

std::span<const CommandLineOption> commandLineOptions() { return kOptions; }

const char* usageText() {
    static const std::string text = makeUsageText();
    return text.c_str();
}

}  // namespace q
