// mapgen: writes a map set for the viewer, its tests and its benchmarks.

#include <cstdio>
#include <string>

#include "mapgen/command_line.h"
#include "mapgen/mapgen.h"
#include "mapgen/mesh_files.h"

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "model") {
        std::string error;
        if (q::mapgen::writeTestModel(argv[2], argv[3], &error)) return 0;
        std::fprintf(stderr, "mapgen: %s\n", error.c_str());
        return 1;
    }
    q::mapgen::CommandLine cl;
    std::string error;
    if (!q::mapgen::parseCommandLine(argc, argv, &cl, &error)) {
        std::fprintf(stderr, "mapgen: %s\n%s", error.c_str(), q::mapgen::kUsage);
        return 2;
    }
    if (cl.help) {
        std::fputs(q::mapgen::kUsage, stdout);
        return 0;
    }
    if (!q::mapgen::generateMap(cl.options, cl.outDir, &error)) {
        std::fprintf(stderr, "mapgen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
