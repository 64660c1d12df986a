#pragma once
// Scripted keyboard and mouse input, one frame per line:
//
//     [N*] dx dy [W] [S] [A] [D] [F] [SHIFT] [L] [TAB] [P] [N] [C] [M] [F5] [ESC]   # comment
//
// N* repeats the line N times; dx dy is the mouse movement of the frame; W S A D
// F and SHIFT are keys held and L the left mouse button held during the frame;
// TAB, P, N, C, M, F5 and ESC are key releases delivered before the frame, in that
// order, as the window would.

#include <cstdint>
#include <string>
#include <vector>

namespace q {

struct ScriptLine {
    uint32_t repeat = 1;
    int32_t dx = 0;
    int32_t dy = 0;
    bool w = false, s = false, a = false, d = false, f = false;
    bool shift = false;
    bool leftButton = false;
    bool releaseTab = false;
    bool releaseEsc = false;
    bool releasePortals = false;     // P
    bool releaseFreeFlight = false;  // N
    bool releaseWhere = false;       // C
    bool releasePick = false;        // M
    bool releaseReload = false;      // F5
    bool releaseLight = false;       // L, written LIGHT (L is the left button)
};

struct InputScript {
    std::vector<ScriptLine> lines;
    uint64_t frameCount() const;
};

// Limits that keep a script from asking for absurd work.
constexpr uint32_t kMaxScriptRepeat = 1000000;
constexpr int32_t kMaxScriptMouse = 100000;
constexpr size_t kMaxScriptLineLength = 1024;
constexpr size_t kMaxScriptBytes = 16u << 20;

// On a line that does not parse: false with "<name>:<line>: expected ...".
bool parseInputScript(const std::string& text, const std::string& name, InputScript* out, std::string* error);
bool loadInputScript(const std::string& path, InputScript* out, std::string* error);

}  // namespace q
