// Any bytes as an input script: refused with "<file>:<line>: expected ...", or
// lines whose repeats and mouse movements stay within the script's limits.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/input_script.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    q::InputScript script;
    std::string error;
    if (!q::parseInputScript(text, "walk.txt", &script, &error)) {
        if (!q::fuzz::hasFileLineShape(error, "walk.txt") || error.find(": expected ") == std::string::npos)
            q::fuzz::broken("refusal without <file>:<line>: expected", error);
        return 0;
    }
    for (const q::ScriptLine& line : script.lines) {
        if (line.repeat < 1 || line.repeat > q::kMaxScriptRepeat)
            q::fuzz::broken("repeat out of range", std::to_string(line.repeat));
        if (line.dx < -q::kMaxScriptMouse || line.dx > q::kMaxScriptMouse || line.dy < -q::kMaxScriptMouse ||
            line.dy > q::kMaxScriptMouse)
            q::fuzz::broken("mouse movement out of range", std::to_string(line.dx));
    }
    if (script.lines.size() > size / 3 + 1) q::fuzz::broken("more lines than the text can hold", "");
    return 0;
}
