// Any bytes as an ASE model: refused with "<file>:<line>: ...", or a model
// whose every index names a vertex, whose positions lie inside its bounds and
// whose normals are unit length.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "map/ase_reader.h"
#include "mesh_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string name = "fuzz.ase";
    q::MeshModel model;
    std::string error;
    if (q::readAseModel(std::string_view(reinterpret_cast<const char*>(data), size), name, &model, &error)) {
        q::fuzz::checkMeshModel(model);
    } else if (!q::fuzz::hasFileLineShape(error, name)) {
        q::fuzz::broken("refusal without <file>:<line>:", error);
    }
    return 0;
}
