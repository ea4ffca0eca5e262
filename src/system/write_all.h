#pragma once
#include <string_view>

namespace vantiro {

// Writes every byte of `data` to `fd`, going on after short writes and EINTR.
// False on the first real error (errno tells which).
bool writeAll(int fd, std::string_view data);

}  // namespace vantiro
