#include "shell/scan_command.h"

#include <cstdio>

namespace vantiro {

int runScanCommand(int, char**, const std::string&) {
    std::fprintf(stderr, "scan: not available in this build yet\n");
    return 1;
}

}  // namespace vantiro
