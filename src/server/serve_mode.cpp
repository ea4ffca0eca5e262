#include "server/serve_mode.h"

#include <cstdio>

namespace vantiro {

int runServe(int, const std::string&, const std::string&) {
    std::fprintf(stderr, "serve: not available in this build yet\n");
    return 1;
}

}  // namespace vantiro
