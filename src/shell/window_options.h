#pragma once
#include <string>

namespace vantiro {

class App;

// Scans the window options from argv[1] on into the App's start options.
// Value options given as the last argument, and unknown arguments, are ignored.
void applyWindowOptions(App& app, int argc, char** argv);

// What the start-up status line is made of.
struct StatusFacts {
    int channelCount = 0;  // tuner + online
    int onlineCount = 0;
    std::string sourceLabel;
    bool tunerOpen = false;
    std::string frontendName;
    bool firmwareReadable = true;
    std::string tunerError;
};
std::string buildStatusLine(const StatusFacts& facts);

// "<directory of the channel list>/firmware-declined".
std::string firmwareDeclinedPathFor(const std::string& channelListPath);

}  // namespace vantiro
