#pragma once
// The generator's command line: mapgen PRESET [N] [options] OUTDIR.

#include <string>

#include "mapgen/mapgen.h"

namespace q::mapgen {

struct CommandLine {
    MapgenOptions options;
    std::string outDir;
    bool help = false;
};

extern const char* const kUsage;

// False with a message naming the offending argument.
bool parseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error);

}  // namespace q::mapgen
