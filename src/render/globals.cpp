#include "render/globals.h"

namespace q {

uint32_t g_lightingShader = 0;
bool g_portalMode = true;

}  // namespace q
