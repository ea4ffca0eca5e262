#include "system/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace vantiro {

bool writeAll(int fd, std::string_view data) {
    std::size_t written = 0;
    while (written < data.size()) {
        ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace vantiro
