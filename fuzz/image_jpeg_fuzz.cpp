// Any bytes after a JPEG signature through q::decodeImage (see image_fuzz_check.h).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The signature is given, so the fuzzer spends its time inside the decoder.
    std::vector<uint8_t> bytes{0xFF, 0xD8, 0xFF};
    const bool hasSignature = size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
    bytes.insert(bytes.end(), data + (hasSignature ? 3 : 0), data + size);
    q::fuzz::decodeAndCheck(bytes.data(), bytes.size());
    return 0;
}
