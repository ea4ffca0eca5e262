#pragma once
#include <string>

namespace vantiro {

// `vantiro scan [startMHz [endMHz]]`: sweeps the band on the console and saves the list.
int runScanCommand(int argc, char** argv, const std::string& channelListPath);

}  // namespace vantiro
