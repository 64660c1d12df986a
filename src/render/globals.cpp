#include "render/globals.h"

namespace q {

bool g_portalMode = true;

}  // namespace q
