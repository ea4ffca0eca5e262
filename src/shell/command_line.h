#pragma once
#include <string>

namespace vantiro {

struct ServeOptions {
    int port = 8090;
    std::string demoPath;
};

// The usage text with the channel list path filled in.
std::string usageText(const std::string& channelListPath);

// `serve` options, scanned from argv[2] on.
ServeOptions parseServeOptions(int argc, char** argv);

// Prints the saved channel list; 0 with at least one channel, else 1.
int runListCommand(const std::string& channelListPath);

// Dispatches on the first argument; the result is the process exit code.
int runCommandLine(int argc, char** argv);

}  // namespace vantiro
