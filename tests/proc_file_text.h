#pragma once
// Pieces of area-portal files, written as map compilers write them, for tests
// that build small files block by block.

#include <string>

namespace q::test {

inline const char* const kNodeComments =
    "/* node format is: ( planeVector ) positiveChild negativeChild */\n"
    "/* a child number of 0 is an opaque, solid area */\n"
    "/* negative child numbers are areas: (-1-child) */\n";

inline std::string model(const std::string& name, int surfaces, const std::string& body = "") {
    return "model { /* name = */ " + name + " /* numSurfaces = */ " + std::to_string(surfaces) + "\n" + body + "}\n\n";
}

inline std::string surface(const std::string& material, int verts, int indexes, const std::string& data) {
    return "/* surface 0 */ { " + material + " /* numVerts = */ " + std::to_string(verts) +
           " /* numIndexes = */ " + std::to_string(indexes) + "\n" + data + "\n}\n";
}

inline std::string portals(int count, const std::string& body) {
    return "interAreaPortals { /* numAreas = */ 3 /* numIAP = */ " + std::to_string(count) +
           "\n\n/* interAreaPortal format is: numPoints positiveSideArea negativeSideArea ( point) ... */\n" +
           body + "}\n\n";
}

inline std::string nodes(int count, const std::string& body) {
    return "nodes { /* numNodes = */ " + std::to_string(count) + "\n\n" + kNodeComments + body + "}\n";
}

// Four vertices ( x y z s t nx ny nz ) on one line.
inline const std::string kQuad =
    "( 1 2 3 0.5 0.25 0 0 1 ) ( 0 0 0 0 0 0 0 1 ) ( 0 1 0 0 1 0 0 1 ) ( 1 1 0 1 1 0 0 1 )\n";

}  // namespace q::test
