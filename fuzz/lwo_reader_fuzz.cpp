// Any bytes as an LWO2 model: refused with "<file>: chunk X at byte N: ...",
// or a model whose every index names a vertex, whose positions lie inside its
// bounds and whose normals are unit length.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "map/lwo_reader.h"
#include "mesh_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string name = "fuzz.lwo";
    q::MeshModel model;
    std::string error;
    if (q::readLwoModel(std::string_view(reinterpret_cast<const char*>(data), size), name, &model, &error)) {
        q::fuzz::checkMeshModel(model);
        return 0;
    }
    const std::string prefix = name + ": chunk ";
    if (error.rfind(prefix, 0) != 0 || error.find(" at byte ") == std::string::npos ||
        error.find(": expected ") == std::string::npos)
        q::fuzz::broken("refusal without <file>: chunk X at byte N: expected", error);
    return 0;
}
