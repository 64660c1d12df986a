#pragma once
// What every benchmark program hands to bench/run: one tab-separated line per
// figure (FIGURE) and any number of remarks (NOTE), both on stdout, beside the
// benchmark library's own table. A figure is always a ratio against a baseline
// measured in the same process, since the machines it runs on are shared and
// their absolute times drift from run to run.

#include <cstdio>
#include <cstring>
#include <string>

namespace q::bench {

// figure: short name ("load"); compared: what against what, with the measured
// values; ratio: the ratio as printed; target: what it has to reach, or "-";
// verdict: "met", "missed" or "-" where there is no target.
inline void printFigure(const std::string& figure, const std::string& compared, double ratio,
                        const std::string& target, const char* verdict) {
    std::printf("FIGURE\t%s\t%s\t%.2fx\t%s\t%s\n", figure.c_str(), compared.c_str(), ratio, target.c_str(),
                verdict);
    std::fflush(stdout);
}

inline void printNote(const std::string& figure, const std::string& text) {
    std::printf("NOTE\t%s\t%s\n", figure.c_str(), text.c_str());
    std::fflush(stdout);
}

inline const char* verdict(bool met) { return met ? "met" : "missed"; }

// The frame figures run on the generated grid, or on the same grid sealed with
// one room as area 0 (--area0-room=K), as a map compiler numbers its areas;
// this names the figure for the second.
inline std::string gridFigureName(const char* figure, int areaZeroRoom) {
    return areaZeroRoom > 0 ? std::string(figure) + ", area 0 a room" : std::string(figure);
}

// Takes "--name=value" out of the command line (before the benchmark library
// sees it); null when absent.
inline const char* takeOption(int* argc, char** argv, const char* name) {
    const size_t length = std::strlen(name);
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp(argv[i], name, length) != 0 || argv[i][length] != '=') continue;
        const char* value = argv[i] + length + 1;
        for (int j = i; j + 1 < *argc; ++j) argv[j] = argv[j + 1];
        --*argc;
        return value;
    }
    return nullptr;
}

// printf into a std::string, for the compared-values column.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

}  // namespace q::bench
