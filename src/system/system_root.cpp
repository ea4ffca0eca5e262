#include "system/system_root.h"

#include <cstdlib>

namespace vantiro {

std::string underSystemRoot(const std::string& absolutePath) {
    const char* root = std::getenv("VANTIRO_SYSTEM_ROOT");
    if (!root || !*root) return absolutePath;
    std::string path = root;
    while (!path.empty() && path.back() == '/') path.pop_back();
    return path + absolutePath;
}

}  // namespace vantiro
