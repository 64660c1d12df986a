#include "render/globals.h"

namespace q {

gpu::Device* g_device = nullptr;
bool g_captureLines = false;
uint32_t g_lightingShader = 0;
bool g_portalMode = true;
int g_visibleAreaCount = 0;
float g_fallSpeed = 0.0f;

}  // namespace q
