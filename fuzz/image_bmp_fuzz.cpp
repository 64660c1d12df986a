// Any bytes after a BMP signature through q::decodeImage (see image_fuzz_check.h).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The signature is given, so the fuzzer spends its time inside the decoder.
    std::vector<uint8_t> bytes{'B', 'M'};
    const bool hasSignature = size >= 2 && data[0] == 'B' && data[1] == 'M';
    bytes.insert(bytes.end(), data + (hasSignature ? 2 : 0), data + size);
    q::fuzz::decodeAndCheck(bytes.data(), bytes.size());
    return 0;
}
