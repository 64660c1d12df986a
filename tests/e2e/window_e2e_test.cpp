// Runs the real viewer in a window under a real X server (Xvfb) and drives it
// as a person would, with xdotool: resizing, taking the focus away, switching
// full screen, F12. What it shows is read from screenshots of the whole screen
// (xwd), what it did from its trace. Skips only when no X server can start.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"
#include "image/image_png_read.h"

namespace q {
namespace {

using Clock = std::chrono::steady_clock;
// Generous: a sanitizer build on a loaded machine draws a few frames a second.
constexpr auto kPatience = std::chrono::seconds(60);

// Polls until the condition holds or the patience runs out.
bool waitUntil(const std::function<bool()>& condition, Clock::duration patience = kPatience) {
    const auto deadline = Clock::now() + patience;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A program started by the test and ended by it, whatever happens in between.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // stdout and stderr go to logPath; extraFd, when given, is passed on as
    // file descriptor 3.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& logPath,
               const std::string& workDir = "", int extraFd = -1) {
        std::vector<char*> args, envp;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<std::string> environment = env;
        for (char** e = environ; *e; ++e) environment.push_back(*e);  // the test's own after the given ones
        for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            // Ends with the test even when the test is killed.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::setpgid(0, 0);
            if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) ::_exit(126);
            const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (log >= 0) {
                ::dup2(log, 1);
                ::dup2(log, 2);
            }
            if (extraFd >= 0) ::dup2(extraFd, 3);
            ::execvpe(args[0], args.data(), envp.data());
            ::_exit(127);
        }
        return true;
    }

    bool running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return false;
        }
        return true;
    }
    // The exit code once it has ended; -1 while it runs.
    int exitCode() {
        running();
        return exitCode_;
    }

    // Asks it to end, and makes sure it has after a while.
    void stop() {
        if (!running()) return;
        ::kill(pid_, SIGTERM);
        if (!waitUntil([this] { return !running(); }, std::chrono::seconds(10))) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The whole screen as xwd writes it: a big-endian header, a colour map, rows.
struct ScreenShot {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel, rows top to bottom

    const uint8_t* at(uint32_t x, uint32_t y) const { return &rgb[(size_t{y} * width + x) * 3]; }
    bool black(uint32_t x, uint32_t y) const {
        const uint8_t* p = at(x, y);
        return p[0] <= 8 && p[1] <= 8 && p[2] <= 8;
    }
};

bool parseXwd(const std::string& bytes, ScreenShot* out, std::string* error) {
    auto word = [&](size_t i) {
        const auto* b = reinterpret_cast<const uint8_t*>(bytes.data()) + i * 4;
        return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    };
    auto fail = [&](const char* why) {
        *error = why;
        return false;
    };
    if (bytes.size() < 100) return fail("xwd file shorter than its header");
    const uint32_t headerSize = word(0), format = word(2), width = word(4), height = word(5), byteOrder = word(7),
                   bitsPerPixel = word(11), bytesPerLine = word(12), redMask = word(14), greenMask = word(15),
                   blueMask = word(16), colours = word(19);
    const uint32_t bytesPerPixel = bitsPerPixel / 8;
    if (format != 2 || (bytesPerPixel != 3 && bytesPerPixel != 4) || width == 0 || width > 8192 || height == 0 ||
        height > 8192 || bytesPerLine < width * bytesPerPixel || colours > 65536)
        return fail("xwd file of a kind this test does not read");
    const size_t first = size_t{headerSize} + size_t{colours} * 12;
    if (first + size_t{bytesPerLine} * height > bytes.size()) return fail("xwd file cut short");
    auto shiftOf = [](uint32_t mask) {
        int shift = 0;
        while (mask && !(mask & 1)) mask >>= 1, ++shift;
        return shift;
    };
    out->width = width;
    out->height = height;
    out->rgb.resize(size_t{width} * height * 3);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + first + size_t{y} * bytesPerLine +
                            size_t{x} * bytesPerPixel;
            uint32_t value = 0;
            for (uint32_t i = 0; i < bytesPerPixel; ++i)
                value |= uint32_t{p[byteOrder == 0 ? i : bytesPerPixel - 1 - i]} << (8 * i);
            uint8_t* rgb = &out->rgb[(size_t{y} * width + x) * 3];
            rgb[0] = static_cast<uint8_t>((value & redMask) >> shiftOf(redMask));
            rgb[1] = static_cast<uint8_t>((value & greenMask) >> shiftOf(greenMask));
            rgb[2] = static_cast<uint8_t>((value & blueMask) >> shiftOf(blueMask));
        }
    return true;
}

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}

// The smallest rectangle holding every pixel of the area that is not black.
Rect pictureIn(const ScreenShot& shot, const Rect& area) {
    int left = area.x + area.width, right = area.x - 1, top = area.y + area.height, bottom = area.y - 1;
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x)
            if (!shot.black(static_cast<uint32_t>(x), static_cast<uint32_t>(y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < left) return {};
    return {left, top, right - left + 1, bottom - top + 1};
}

// Equal to within a pixel or two of the scaling's rounding.
bool near(const Rect& a, const Rect& b) {
    return std::abs(a.x - b.x) <= 2 && std::abs(a.y - b.y) <= 2 && std::abs(a.width - b.width) <= 2 &&
           std::abs(a.height - b.height) <= 2;
}

struct TraceLine {
    long frame = -1;
    double yaw = 0, pitch = 0;
};

class WindowEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(::testing::TempDir()) / ("quorvane_window_" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "work");
        const std::string map = (dir_ / "map").string();
        const std::string command = std::string("'") + MAPGEN_BINARY + "' demo '" + map + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << "the demo map could not be made";
    }
    void TearDown() override {
        viewer_.stop();
        other_.stop();
        windowManager_.stop();
        xserver_.stop();
        if (!HasFailure()) std::filesystem::remove_all(dir_);
    }

    // Xvfb on a display number of its own choosing (several tests run at once).
    void startXServer(int width, int height) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        xserver_.start({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, {},
                       (dir_ / "xvfb.log").string(), "", fds[1]);
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
            if (::poll(&p, 1, 100) <= 0) continue;
            char c[16];
            const ssize_t n = ::read(fds[0], c, sizeof c);
            if (n <= 0) break;
            number.append(c, static_cast<size_t>(n));
        }
        ::close(fds[0]);
        if (number.find('\n') == std::string::npos) {
            const std::string log = readFile((dir_ / "xvfb.log").string());
            GTEST_SKIP() << "no X server could be started (Xvfb: " << (log.empty() ? "not found" : log)
                         << "); scripts/install-deps installs it";
        }
        display_ = ":" + number.substr(0, number.find('\n'));
    }

    void startWindowManager() {
        // evilwm supports the desktop's full-screen request; "fixed" is the
        // X server's built-in font, so no font package is needed.
        windowManager_.start({"evilwm", "-fn", "fixed"}, {"DISPLAY=" + display_}, (dir_ / "wm.log").string());
        ASSERT_TRUE(waitUntil([&] { return x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; }))
            << "evilwm did not start (scripts/install-deps installs it): " << readFile((dir_ / "wm.log").string());
    }

    // The viewer looking down on the terrain from high up: the picture has no
    // black pixel, so the black around it is the bars.
    void startViewer(bool windowed) {
        std::vector<std::string> options = {"--dir", (dir_ / "map").string(), "--start", "0", "3000", "0",
                                            "--look", "0", "1.5"};
        if (windowed) options.push_back("--windowed");
        launchViewer(options);
        ASSERT_TRUE(waitUntil([&] { return !windowId().empty() && lastTrace().frame >= 2; }))
            << "no window showing frames: " << readFile(log());
        x("xdotool windowfocus --sync " + windowId());
    }

    void launchViewer(std::vector<std::string> options) {
        options.insert(options.begin(), QUORVANE_BINARY);
        options.insert(options.end(), {"--trace", trace()});
        // Leak-checked like every run of the tests: what the session bus and
        // display libraries keep until exit is named in the suppressions.
        viewer_.start(options, {"DISPLAY=" + display_}, log(), (dir_ / "work").string());
    }

    // A command run against the test's display; its output.
    std::string x(const std::string& command) {
        const std::string line = "DISPLAY=" + display_ + " timeout 30 " + command + " 2>&1";
        std::string output;
        if (std::FILE* pipe = ::popen(line.c_str(), "r")) {
            char chunk[4096];
            size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
            ::pclose(pipe);
        }
        return output;
    }

    std::string windowId(const std::string& map = "bbb") {
        std::string id = x("xdotool search --name '^" + map + " - quorvane$'");
        id = id.substr(0, id.find('\n'));
        return id.find_first_not_of("0123456789") == std::string::npos ? id : "";
    }

    // The message box with this caption, which carries no class to search by.
    std::string boxId(const std::string& caption) {
        std::istringstream in(x("xwininfo -root -tree"));
        for (std::string line; std::getline(in, line);)
            if (line.find("\"" + caption + "\": ()") != std::string::npos) {
                std::istringstream words(line);
                std::string id;
                words >> id;
                return id;
            }
        return "";
    }

    Rect geometry(const std::string& window) {
        std::istringstream in(x("xdotool getwindowgeometry --shell " + window));
        Rect r;
        for (std::string line; std::getline(in, line);) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq);
            const int value = std::atoi(line.c_str() + eq + 1);
            if (key == "X") r.x = value;
            if (key == "Y") r.y = value;
            if (key == "WIDTH") r.width = value;
            if (key == "HEIGHT") r.height = value;
        }
        return r;
    }

    TraceLine lastTrace() {
        const std::string text = readFile(trace());
        const size_t end = text.rfind('\n');
        if (end == std::string::npos) return {};
        const size_t begin = text.rfind('\n', end - 1);
        const std::string line = text.substr(begin == std::string::npos ? 0 : begin + 1, end);
        auto number = [&](const char* key) {
            const size_t at = line.find(key);
            return at == std::string::npos ? 0.0 : std::strtod(line.c_str() + at + std::strlen(key), nullptr);
        };
        TraceLine t;
        t.frame = static_cast<long>(number("\"frame\":"));
        t.yaw = number("\"yaw\":");
        t.pitch = number("\"pitch\":");
        return t;
    }

    // Lets a few frames pass, so whatever was just done has been drawn.
    TraceLine afterFrames(long count = 3) {
        const long from = lastTrace().frame;
        EXPECT_TRUE(waitUntil([&] { return lastTrace().frame >= from + count; })) << "the viewer stopped drawing";
        return lastTrace();
    }

    ScreenShot screen() {
        const std::string path = (dir_ / "screen.xwd").string();
        x("xwd -root -silent -out '" + path + "'");
        ScreenShot shot;
        std::string error;
        EXPECT_TRUE(parseXwd(readFile(path), &shot, &error)) << error;
        return shot;
    }

    // The picture drawn in the window: where its inside is on the screen.
    Rect pictureInWindow(const std::string& window) {
        const Rect inside = geometry(window);
        const ScreenShot shot = screen();
        if (inside.x < 0 || inside.y < 0 || inside.x + inside.width > static_cast<int>(shot.width) ||
            inside.y + inside.height > static_cast<int>(shot.height))
            return {};
        const Rect found = pictureIn(shot, inside);
        return {found.x - inside.x, found.y - inside.y, found.width, found.height};
    }

    void resize(const std::string& window, int width, int height) {
        x("xdotool windowsize --sync " + window + " " + std::to_string(width) + " " + std::to_string(height));
        EXPECT_TRUE(waitUntil([&] {
            const Rect g = geometry(window);
            return g.width == width && g.height == height;
        }));
        afterFrames();
    }

    void quitWithEsc(const std::string& window) {
        x("xdotool key --window " + window + " Escape");
        EXPECT_TRUE(waitUntil([&] { return !viewer_.running(); })) << "ESC did not end the viewer";
        EXPECT_EQ(viewer_.exitCode(), 0) << readFile(log());
    }

    std::string trace() const { return (dir_ / "trace.jsonl").string(); }
    std::string log() const { return (dir_ / "viewer.log").string(); }

    std::filesystem::path dir_;
    std::string display_;
    Child xserver_, windowManager_, other_, viewer_;
};

TEST_F(WindowEndToEnd, ResizedWindowKeepsThePictureUndistortedWithBarsAndF12WritesIt) {
    startXServer(1600, 1200);
    if (IsSkipped()) return;
    startViewer(true);
    const std::string window = windowId();

    resize(window, 1600, 600);  // wide: bars left and right
    Rect picture = pictureInWindow(window);
    EXPECT_TRUE(near(picture, {400, 0, 800, 600})) << picture;
    resize(window, 600, 1000);  // tall: bars above and below
    picture = pictureInWindow(window);
    EXPECT_TRUE(near(picture, {0, 275, 600, 450})) << picture;

    // Without a window manager the full-screen request is not honoured: the
    // picture follows the window as it really is, not the screen.
    resize(window, 1200, 600);
    x("xdotool key --window " + window + " alt+Return");
    afterFrames();
    picture = pictureInWindow(window);
    EXPECT_TRUE(near(picture, {200, 0, 800, 600})) << picture;
    x("xdotool key --window " + window + " F11");
    afterFrames();
    const Rect back = geometry(window);
    EXPECT_EQ(back.width, 1200);
    EXPECT_EQ(back.height, 600);
    picture = pictureInWindow(window);
    EXPECT_TRUE(near(picture, {200, 0, 800, 600})) << picture;

    x("xdotool key --window " + window + " F12");
    std::filesystem::path written;
    EXPECT_TRUE(waitUntil([&] {
        for (const auto& entry : std::filesystem::directory_iterator(dir_ / "work"))
            if (entry.path().filename().string().rfind("quorvane-", 0) == 0) written = entry.path();
        return !written.empty() && readFile(log()).find("screenshot written to") != std::string::npos;
    })) << readFile(log());
    if (!written.empty()) {
        const std::string name = written.filename().string();
        EXPECT_EQ(name.size(), std::string("quorvane-YYYYMMDD-HHMMSS.png").size()) << name;
        Image image;
        std::string error;
        ASSERT_TRUE(loadPng(written.string().c_str(), &image, &error)) << error;
        EXPECT_EQ(image.width, 1024u);  // the back buffer, not the window
        EXPECT_EQ(image.height, 768u);
        const uint8_t* centre = &image.rgba[(size_t{384} * 1024 + 512) * 4];
        EXPECT_GT(centre[0] + centre[1] + centre[2], 24) << "the terrain, not an empty picture";
    }
    quitWithEsc(window);
}

TEST_F(WindowEndToEnd, MouseTurnsTheViewOnlyWhileTheWindowHasTheFocus) {
    startXServer(1600, 1200);
    if (IsSkipped()) return;
    startViewer(true);
    const std::string window = windowId();
    other_.start({"xmessage", "-geometry", "300x80+1200+1000", "another window"}, {"DISPLAY=" + display_},
                 (dir_ / "other.log").string());
    std::string otherId;
    ASSERT_TRUE(waitUntil([&] {
        otherId = x("xdotool search --class xmessage");
        otherId = otherId.substr(0, otherId.find('\n'));
        return !otherId.empty() && otherId.find_first_not_of("0123456789") == std::string::npos;
    })) << readFile((dir_ / "other.log").string());

    x("xdotool windowfocus --sync " + window);
    const TraceLine start = afterFrames();
    x("xdotool mousemove_relative -- 40 20");
    const TraceLine turned = afterFrames();
    EXPECT_NE(turned.yaw, start.yaw) << "with the focus the mouse turns the view";
    EXPECT_NE(turned.pitch, start.pitch);

    x("xdotool windowfocus --sync " + otherId);
    const TraceLine away = afterFrames();
    x("xdotool mousemove_relative -- 60 -30");
    x("xdotool mousemove_relative -- -20 45");
    const TraceLine still = afterFrames(5);
    EXPECT_EQ(still.yaw, away.yaw) << "another window has the focus";
    EXPECT_EQ(still.pitch, away.pitch);

    x("xdotool windowfocus --sync " + window);
    const TraceLine back = afterFrames(5);
    EXPECT_EQ(back.yaw, away.yaw) << "what the mouse did meanwhile is not made up for";
    EXPECT_EQ(back.pitch, away.pitch);
    x("xdotool mousemove_relative -- 40 20");
    const TraceLine again = afterFrames();
    EXPECT_NE(again.yaw, back.yaw) << "the mouse is captured again";
    quitWithEsc(window);
}

TEST_F(WindowEndToEnd, FullScreenFillsAWideScreenWithBarsAndLeavingGivesTheWindowBack) {
    startXServer(1920, 1080);
    if (IsSkipped()) return;
    startWindowManager();
    startViewer(false);  // the default: full screen
    const std::string window = windowId();
    ASSERT_TRUE(waitUntil([&] { return geometry(window).width == 1920; })) << geometry(window);
    afterFrames();
    Rect picture = pictureInWindow(window);
    EXPECT_TRUE(near(picture, {240, 0, 1440, 1080})) << picture;

    x("xdotool key --window " + window + " alt+Return");
    EXPECT_TRUE(waitUntil([&] { return geometry(window).width == 800; })) << geometry(window);
    resize(window, 1000, 600);
    const Rect windowed = geometry(window);
    picture = pictureInWindow(window);
    EXPECT_TRUE(near(picture, {100, 0, 800, 600})) << picture;

    x("xdotool key --window " + window + " F11");
    EXPECT_TRUE(waitUntil([&] { return geometry(window).width == 1920; })) << geometry(window);
    x("xdotool key --window " + window + " alt+Return");
    EXPECT_TRUE(waitUntil([&] {
        const Rect g = geometry(window);
        return g.width == windowed.width && g.height == windowed.height && g.x == windowed.x && g.y == windowed.y;
    })) << "back to " << windowed << ", not " << geometry(window);
    quitWithEsc(window);
}

// Every letter and bracket key, pressed and released where a window manager
// honours full screen: none of them acts as F11, F12 or ESC, and C prints the
// place once.
TEST_F(WindowEndToEnd, LetterAndBracketKeysLeaveTheWindowAloneAndF11StillToggles) {
    startXServer(1920, 1080);
    if (IsSkipped()) return;
    startWindowManager();
    startViewer(true);
    const std::string window = windowId();
    const Rect windowed = geometry(window);
    std::string keys;
    for (char letter = 'a'; letter <= 'z'; ++letter) keys += std::string(" ") + letter;
    keys += " bracketleft bracketright braceleft braceright";
    x("xdotool key --window " + window + " --delay 20" + keys);
    afterFrames(5);
    EXPECT_TRUE(viewer_.running()) << readFile(log());
    const Rect after = geometry(window);
    EXPECT_EQ(after.width, windowed.width) << after;
    EXPECT_EQ(after.height, windowed.height) << after;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "work"))
        ADD_FAILURE() << "a letter key wrote " << entry.path();
    // C, the one letter that prints, printed the place once; no other letter did.
    const std::string printed = readFile(log());
    const size_t place = printed.find("quorvane: --start ");
    EXPECT_NE(place, std::string::npos) << printed;
    EXPECT_EQ(printed.find("quorvane: --start ", place + 1), std::string::npos) << printed;

    x("xdotool key --window " + window + " F11");
    EXPECT_TRUE(waitUntil([&] { return geometry(window).width == 1920; })) << geometry(window);
    quitWithEsc(window);
}

// Reports made while the viewer runs open no window of their own: a reload
// bringing a portal parallel to no axis, and one of a file cut short, show in
// the overlay and on stderr while the frames go on in full screen, and the
// next good files are read as usual.
TEST_F(WindowEndToEnd, ReloadsThatReportOpenNoWindowAndTheNextGoodFilesAreRead) {
    namespace fs = std::filesystem;
    startXServer(1920, 1080);
    if (IsSkipped()) return;
    startWindowManager();
    const fs::path map = dir_ / "map";
    fs::copy_file(map / "bbb.proc", dir_ / "good.proc");
    launchViewer({"--dir", map.string(), "--instances", "1"});
    ASSERT_TRUE(waitUntil([&] { return !windowId().empty() && lastTrace().frame >= 2; })) << readFile(log());
    const std::string window = windowId();
    EXPECT_TRUE(waitUntil([&] { return geometry(window).width == 1920; })) << geometry(window);
    const std::string windowsBefore = x("xdotool search --onlyvisible --name .");
    auto logHas = [&](const std::string& text, size_t times) {
        return waitUntil([&] {
            const std::string text_ = readFile(log());
            size_t n = 0;
            for (size_t at = text_.find(text); at != std::string::npos; at = text_.find(text, at + 1)) ++n;
            return n >= times;
        });
    };
    auto noOtherWindow = [&] {
        afterFrames(5);  // a modal box would stop the frames
        EXPECT_EQ(x("xdotool search --onlyvisible --name ."), windowsBefore);
        EXPECT_EQ(geometry(window).width, 1920) << "full screen never gave way";
    };

    const fs::path skew = fs::path(QUORVANE_SOURCE_DIR) / "tests/data/variations";
    fs::copy_file(skew / "skew_portals.cm", map / "bbb.cm", fs::copy_options::overwrite_existing);
    fs::copy_file(skew / "skew_portals.proc", map / "bbb.proc", fs::copy_options::overwrite_existing);
    ASSERT_TRUE(logHas("quorvane: reloaded bbb", 1)) << readFile(log());
    EXPECT_TRUE(logHas("zop (portal 1 of bbb.proc)", 1)) << readFile(log());
    noOtherWindow();

    fs::resize_file(map / "bbb.proc", 1000);
    EXPECT_TRUE(logHas("The map bbb was not reloaded", 1)) << readFile(log());
    noOtherWindow();

    fs::copy_file(dir_ / "good.proc", map / "bbb.proc", fs::copy_options::overwrite_existing);
    EXPECT_TRUE(logHas("quorvane: reloaded bbb", 2)) << readFile(log());
    noOtherWindow();
    quitWithEsc(window);
}

// Starting inside a wall, in a window: the wall is reported on stderr and in
// the overlay, with no box in front of the picture, and the frames go on.
TEST_F(WindowEndToEnd, TheWallReportOpensNoBox) {
    startXServer(1600, 1200);
    if (IsSkipped()) return;
    launchViewer({"--dir", (dir_ / "map").string(), "--instances", "1", "--start", "250", "-31", "-82", "--windowed"});
    ASSERT_TRUE(waitUntil([&] { return !windowId().empty() && lastTrace().frame >= 2; })) << readFile(log());
    const std::string window = windowId();
    afterFrames(5);
    EXPECT_NE(readFile(log()).find("我在墙里!"), std::string::npos);
    EXPECT_EQ(boxId("error"), "");
    EXPECT_GT(pictureInWindow(window).width, 0);
    quitWithEsc(window);
}

}  // namespace
}  // namespace q
