#pragma once
// The demo building, "bbb" (see demo.cpp).

#include <cstdint>
#include <string>

#include "mapgen/layout.h"

namespace q::mapgen {

bool buildDemo(Layout& layout, uint32_t seed, std::string* error);

}  // namespace q::mapgen
