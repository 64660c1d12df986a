#include "mapgen/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "mapgen/mesh_presets.h"

namespace q::mapgen {

const char* const kUsage =
    "usage: mapgen PRESET [N] [options] OUTDIR\n"
    "       mapgen model ase|lwo FILE\n"
    "Writes NAME.proc, NAME.cm, textures/gen/*.jpg and Grass.bmp into OUTDIR;\n"
    "'model' writes one small mesh model file (a box 16 wide, 48 tall).\n"
    "\n"
    "presets:\n"
    "  demo          the walk-through building 'bbb' (24 rooms, two storeys)\n"
    "  grid N        N x N equal rooms joined by doorways, N from 1 to 64 (name gridN)\n"
    "  corridor N    N rooms in a line, N from 1 to 64 (name corridorN)\n"
    "  bends N       N rooms that turn back at every doorway, both doorways of a\n"
    "                room in one wall: none sees past its neighbours (name bendsN)\n"
    "  tworooms      two rooms and one doorway\n"
    "  twodoors      a first room looking into a hall through two doorways, and\n"
    "                rooms beyond it that only one of the two doorways shows\n"
    "  room          one room\n"
    "\n"
    "options:\n"
    "  --seed N      seed of the textures and the demo's details (default 1)\n"
    "  --name NAME   base name of the map files instead of the preset's\n"
    "  --area0-room K  seal the building (outside it is solid, as a map compiler\n"
    "                writes it) and number room K (1 = the first) as area 0;\n"
    "                not for buildings with windows\n"
    "  --split-portals  write each portal as eight points (its corners and the\n"
    "                middles of its edges, from a middle on), as compilers write\n"
    "                portals that other splits cut\n"
    "  --dead-portal  bends only: one more portal, in the wall of the first\n"
    "                doorway beside it, that faces away from both its rooms and\n"
    "                lies outside every view through a doorway: no eye passes it\n"
    "  --entities    also write entity models and NAME.map, the map source that\n"
    "                places them: a door in the first doorway with a clip box\n"
    "                bound to it, a solid static step, statics turned by 90 and\n"
    "                30 degrees, a player start, and entities showing mesh\n"
    "                models (by their model keys and by their classes, with\n"
    "                def/mapgen.def and skins/mapgen.skin in the asset root);\n"
    "                lights (ambient, point with and without shadows,\n"
    "                projected) and the shadow volumes of those that cast them\n"
    "  --meshes      --entities, and mesh models in both formats with the entities\n"
    "                that place them, in the start room (the file's axes, z up):\n"
    "                models/mapgen/meshes/small_crate.ase six times along y = -76,\n"
    "                slab.lwo turned by a rotation key at (-20, 10) and by an\n"
    "                angle at (20, -30), hull.ase inside a collision-only hull at\n"
    "                (-70, 70), grate.lwo alpha-tested at (85, 30) and marker.ase,\n"
    "                16 wide and 48 tall, flat magenta (255, 0, 255), a colour\n"
    "                nothing else shows, at (70, 0). View with --assets OUTDIR\n"
    "  --mesh-count N  --meshes, and N more placements (up to 100000) of 20 mesh\n"
    "                files (models/mapgen/set/) spread over the other rooms\n"
    "  --lights      also write lights into NAME.map (one under the ceiling of\n"
    "                each room in a cycle of colours, an ambient one, and in\n"
    "                the first room a projected one and one with noshadows)\n"
    "                and the shadow volumes of those that cast shadows\n"
    "  --help        this text\n"
    "\n"
    "The same preset and seed always write the same bytes.\n";

namespace {

bool parseNumber(const char* text, long lo, long hi, long* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < lo || value > hi) return false;
    *out = value;
    return true;
}

bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool validName(const std::string& name) {
    if (name.empty() || name.size() > 100) return false;
    for (char c : name)
        if (c == ' ' || c == '\t' || c == '\n' || c == '"' || c == '/' || c == '\\') return false;
    return true;
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error) {
    CommandLine cl;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            cl.help = true;
        } else if (arg == "--split-portals") {
            cl.options.splitPortals = true;
        } else if (arg == "--dead-portal") {
            cl.options.deadPortal = true;
        } else if (arg == "--entities") {
            cl.options.entities = true;
        } else if (arg == "--meshes") {
            cl.options.meshes = true;
        } else if (arg == "--lights") {
            cl.options.lights = true;
        } else if (arg == "--seed" || arg == "--name" || arg == "--area0-room" || arg == "--mesh-count") {
            if (i + 1 >= argc) return fail(error, arg + " needs a value");
            const char* value = argv[++i];
            if (arg == "--seed") {
                long seed = 0;
                if (!parseNumber(value, 0, 4294967295L, &seed))
                    return fail(error, std::string("--seed expects a whole number from 0 to 4294967295, not '") + value + "'");
                cl.options.seed = static_cast<uint32_t>(seed);
            } else if (arg == "--mesh-count") {
                long count = 0;
                if (!parseNumber(value, 0, kMaxMeshPlacements, &count))
                    return fail(error, std::string("--mesh-count expects a whole number from 0 to ") +
                                           std::to_string(kMaxMeshPlacements) + ", not '" + value + "'");
                cl.options.meshes = true;
                cl.options.meshPlacements = static_cast<int>(count);
            } else if (arg == "--area0-room") {
                long room = 0;
                if (!parseNumber(value, 1, 1000000, &room))
                    return fail(error, std::string("--area0-room expects a room number from 1, not '") + value + "'");
                cl.options.areaZeroRoom = static_cast<int>(room);
            } else {
                if (!validName(value)) return fail(error, std::string("--name expects a plain file name, not '") + value + "'");
                cl.options.name = value;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail(error, "unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (cl.help) {
        *out = cl;
        return true;
    }
    if (positional.empty()) return fail(error, "missing PRESET and OUTDIR");
    cl.options.preset = positional[0];
    size_t next = 1;
    const std::string& p = cl.options.preset;
    if (p == "grid" || p == "corridor" || p == "bends") {
        const long max = p == "grid" ? kMaxGrid : kMaxCorridor;
        long n = 0;
        if (positional.size() < 2 || !parseNumber(positional[1].c_str(), 1, max, &n))
            return fail(error, p + " expects a size N from 1 to " + std::to_string(max));
        cl.options.count = static_cast<int>(n);
        next = 2;
    } else if (p != "demo" && p != "room" && p != "tworooms" && p != "twodoors") {
        return fail(error, "unknown preset '" + p + "' (demo, grid N, corridor N, bends N, tworooms, twodoors, room)");
    }
    if (positional.size() <= next) return fail(error, "missing OUTDIR");
    if (positional.size() > next + 1) return fail(error, "unexpected argument '" + positional[next + 1] + "'");
    cl.outDir = positional[next];
    *out = cl;
    return true;
}

}  // namespace q::mapgen
