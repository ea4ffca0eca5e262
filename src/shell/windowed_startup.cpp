#include "shell/windowed_startup.h"

#include <cstdio>

namespace vantiro {

int runWindowedPlayer(int, char**) {
    std::fprintf(stderr, "vantiro: the TV window is not available in this build yet\n");
    return 1;
}

}  // namespace vantiro
