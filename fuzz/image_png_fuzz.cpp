// Any bytes after a PNG signature through q::decodeImage (see image_fuzz_check.h).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The signature is given, so the fuzzer spends its time inside the decoder.
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> bytes(kSignature, kSignature + 8);
    const bool hasSignature = size >= 8 && std::memcmp(data, kSignature, 8) == 0;
    bytes.insert(bytes.end(), data + (hasSignature ? 8 : 0), data + size);
    q::fuzz::decodeAndCheck(bytes.data(), bytes.size());
    return 0;
}
