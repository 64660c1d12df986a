#pragma once

#include <cstdint>

namespace q {

// Milliseconds since an arbitrary start, wrapping at 2^32 like a tick count.
uint32_t tickCountMs();

}  // namespace q
