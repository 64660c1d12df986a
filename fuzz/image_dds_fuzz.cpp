// Any bytes after a DDS signature through q::decodeTextureImage and the S3TC
// expansion behind it (see image_fuzz_check.h).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The signature is given, so the fuzzer spends its time inside the header and levels.
    std::vector<uint8_t> bytes{'D', 'D', 'S', ' '};
    const bool hasSignature = size >= 4 && std::memcmp(data, "DDS ", 4) == 0;
    bytes.insert(bytes.end(), data + (hasSignature ? 4 : 0), data + size);
    q::fuzz::decodeTextureAndCheck(bytes.data(), bytes.size());
    return 0;
}
