#include "app/main_entry.h"

#include <cstdio>

namespace q {

int runViewer(int, char**) {
    std::fprintf(stderr, "quorvane: not built yet\n");
    return 1;
}

}  // namespace q
