#pragma once
// The viewer's command line. With no arguments it opens map "bbb" from the
// working directory, full screen, with vsync.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "math/vector.h"
#include "image/image.h"

namespace q {

struct Options {
    std::string mapBase = "bbb";
    std::string dir;  // empty: the working directory
    std::vector<std::string> textureDirs;  // searched for material images after the map's directory
    std::vector<std::string> assetDirs;    // --assets: asset roots searched after the map's own
    bool untexturedGrid = false;           // missing images drawn as a grey grid
    // --light: 'm' the map's lights, 'c' the camera's, 0 as the map says (its own when it has any).
    char light = 0;
    bool noEntities = false;               // the map source (BASE.map) is left unread
    bool watch = true;                     // --no-watch: the map is not read again when its files change
    uint32_t maxImageSide = kDefaultMaxImageSide;                // --max-image-size: pixels a side
    uint64_t imageBudgetMiB = kDefaultImageBudgetBytes >> 20;   // --image-budget: a map's decoded images
    bool windowed = false;
    bool headless = false;
    int64_t frames = -1;  // -1: no limit
    std::string inputFile;
    std::string screenshotFile;
    std::string traceFile;
    bool simulatedClock = false;
    uint32_t tickMs = 0;
    bool hasStart = false;
    Vector3 start;
    bool hasLook = false;
    float yaw = 0.0f;
    float pitch = 0.0f;
    int instances = 5;
    int area = -1;  // --area: start standing in this area of the first copy; -1: not asked
    bool info = false;  // --info: print what the map holds and stop, no window
    bool json = false;  // with --info: as one JSON object
    std::string reportFile;  // --report: survey what the portals let through into this .json file, no window
    float sensitivity = 1.0f;  // mouse look: 1 = 256 counts per radian
    bool invertY = false;
    bool summary = false;
    bool help = false;
};

// Headless runs without a script or a frame count stop after this many frames.
constexpr int64_t kDefaultHeadlessFrames = 300;

// False with a one-line message naming the option and what was expected.
bool parseCommandLine(int argc, const char* const* argv, Options* out, std::string* error);

// One option as the usage text lists it. synopsis and text are null for an
// option told in another's line.
struct CommandLineOption {
    const char* name;      // "--frames"
    const char* synopsis;  // "--frames N"
    const char* text;      // what it does; '\n' starts a further line
};

// Every option the parser reads, in the usage text's order.
std::span<const CommandLineOption> commandLineOptions();

// The usage: its option lines are made from commandLineOptions().
const char* usageText();

}  // namespace q
