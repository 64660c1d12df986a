#include "app/input_script.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace q {

namespace {

bool parseWholeNumber(const std::string& token, int64_t low, int64_t high, int64_t* out) {
    if (token.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(token.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    *out = value;
    return true;
}

std::string upper(std::string token) {
    for (char& c : token) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return token;
}

// Sets the flag a key name stands for; false for anything else.
bool applyKey(const std::string& name, ScriptLine* line) {
    const std::string key = upper(name);
    if (key == "W") line->w = true;
    else if (key == "S") line->s = true;
    else if (key == "A") line->a = true;
    else if (key == "D") line->d = true;
    else if (key == "F") line->f = true;
    else if (key == "SHIFT") line->shift = true;
    else if (key == "L") line->leftButton = true;
    else if (key == "TAB") line->releaseTab = true;
    else if (key == "P") line->releasePortals = true;
    else if (key == "N") line->releaseFreeFlight = true;
    else if (key == "C") line->releaseWhere = true;
    else if (key == "M") line->releasePick = true;
    else if (key == "F5") line->releaseReload = true;
    else if (key == "LIGHT") line->releaseLight = true;
    else if (key == "ESC") line->releaseEsc = true;
    else return false;
    return true;
}

// The printable start of a token for an error message.
std::string shown(const std::string& token) {
    std::string out;
    for (char c : token.substr(0, 20)) out += (c >= 32 && c < 127) ? c : '?';
    if (token.size() > 20) out += "...";
    return out;
}

bool parseLine(const std::string& raw, ScriptLine* line, bool* empty, std::string* what) {
    std::string text = raw.substr(0, raw.find('#'));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) tokens.push_back(token);
    *empty = tokens.empty();
    if (*empty) return true;

    size_t next = 0;
    if (tokens[0].back() == '*') {
        int64_t repeat = 0;
        if (!parseWholeNumber(tokens[0].substr(0, tokens[0].size() - 1), 1, kMaxScriptRepeat, &repeat)) {
            *what = "a repeat count N* with N from 1 to 1000000, not '" + shown(tokens[0]) + "'";
            return false;
        }
        line->repeat = static_cast<uint32_t>(repeat);
        next = 1;
    }
    int64_t dx = 0, dy = 0;
    if (tokens.size() < next + 2 || !parseWholeNumber(tokens[next], -kMaxScriptMouse, kMaxScriptMouse, &dx) ||
        !parseWholeNumber(tokens[next + 1], -kMaxScriptMouse, kMaxScriptMouse, &dy)) {
        *what = "the mouse movement 'dx dy' (two whole numbers from -100000 to 100000)";
        return false;
    }
    line->dx = static_cast<int32_t>(dx);
    line->dy = static_cast<int32_t>(dy);
    for (size_t i = next + 2; i < tokens.size(); ++i) {
        if (!applyKey(tokens[i], line)) {
            *what = "a key (W S A D F SHIFT, L for the left mouse button, TAB P N C M F5 LIGHT or ESC for a release), not '" +
                    shown(tokens[i]) + "'";
            return false;
        }
    }
    return true;
}

}  // namespace

uint64_t InputScript::frameCount() const {
    uint64_t frames = 0;
    for (const ScriptLine& line : lines) frames += line.repeat;
    return frames;
}

bool parseInputScript(const std::string& text, const std::string& name, InputScript* out, std::string* error) {
    InputScript script;
    size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++lineNumber;
        const std::string raw = text.substr(start, end - start);
        start = end + 1;

        std::string what;
        if (raw.size() > kMaxScriptLineLength) {
            what = "a line of at most 1024 characters";
        } else if (raw.find('\0') != std::string::npos) {
            what = "text, not a zero byte";
        } else {
            ScriptLine line;
            bool empty = false;
            if (parseLine(raw, &line, &empty, &what)) {
                if (!empty) script.lines.push_back(line);
                continue;
            }
        }
        *error = name + ":" + std::to_string(lineNumber) + ": expected " + what;
        return false;
    }
    *out = std::move(script);
    return true;
}

bool loadInputScript(const std::string& path, InputScript* out, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = path + ": cannot open the input script (" + std::strerror(errno) + ")";
        return false;
    }
    std::string text;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(file.gcount()));
        if (text.size() > kMaxScriptBytes) {
            *error = path + ": expected an input script of at most 16 MiB";
            return false;
        }
    }
    if (file.bad()) {
        *error = path + ": cannot read the input script";
        return false;
    }
    return parseInputScript(text, path, out, error);
}

}  // namespace q
