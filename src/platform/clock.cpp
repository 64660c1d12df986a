#include "platform/clock.h"

#include <chrono>

namespace q {

uint32_t tickCountMs() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));  // wraps like a tick count
}

}  // namespace q
