#pragma once
#include <string>

namespace vantiro {

// `vantiro serve`: runs the headless HTTP TV server; the result is the exit code.
int runServe(int port, const std::string& channelListPath, const std::string& demoPath);

}  // namespace vantiro
