#pragma once
#include <string>

namespace vantiro {

// `absolutePath` below the directory named by VANTIRO_SYSTEM_ROOT, or unchanged
// when that is unset or empty. The start-up's look at sysfs and /lib/firmware and
// the firmware installation go through it, so that the program can be run with a
// private root (the test suite does) and never touch the machine's own.
std::string underSystemRoot(const std::string& absolutePath);

}  // namespace vantiro
