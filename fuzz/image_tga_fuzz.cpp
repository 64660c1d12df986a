// Any bytes as a TGA file through q::decodeImage (see image_fuzz_check.h). TGA
// has no signature: the colour map and image type bytes are set to one of the
// six types read, chosen by the type byte given, so that every input reaches
// the TGA decoder (and none is taken for another format).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    if (bytes.size() < 3) bytes.resize(3, 0);
    static const uint8_t kTypes[6] = {1, 2, 3, 9, 10, 11};
    const uint8_t type = kTypes[bytes[2] % 6];
    bytes[1] = (type == 1 || type == 9) ? 1 : 0;
    bytes[2] = type;
    q::fuzz::decodeAndCheck(bytes.data(), bytes.size());
    return 0;
}
