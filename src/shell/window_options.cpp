#include "shell/window_options.h"

#include <cstdlib>
#include <cstring>

#include "shell/app.h"

namespace vantiro {

void applyWindowOptions(App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(option, "--file") == 0) {
            if (hasValue) app.demoFilePath = argv[++i];
        } else if (std::strcmp(option, "--screenshot") == 0) {
            if (hasValue) app.screenshotPath = argv[++i];
        } else if (std::strcmp(option, "--screenshot-after") == 0) {
            if (hasValue) app.screenshotDelay = std::strtod(argv[++i], nullptr);
        } else if (std::strcmp(option, "--list-open") == 0) {
            app.listOpenAtStart = true;
        } else if (std::strcmp(option, "--scan-on-start") == 0) {
            app.scanAtStart = true;
        } else if (std::strcmp(option, "--install-firmware") == 0) {
            app.installFirmwareAtStart = true;
        }
    }
}

std::string buildStatusLine(const StatusFacts& facts) {
    const int tunerCount = facts.channelCount - facts.onlineCount;
    if (facts.onlineCount > 0) {
        std::string line = std::to_string(facts.onlineCount) + " channels from " + facts.sourceLabel;
        if (tunerCount > 0) line += " + " + std::to_string(tunerCount) + " tuner";
        return line;
    }
    if (facts.tunerOpen) {
        std::string line = "Offline - tuner: " + facts.frontendName;
        if (!facts.firmwareReadable) line += " (firmware missing)";
        if (tunerCount > 0)
            line += " - " + std::to_string(tunerCount) + " channels";
        else
            line += " - no channels, press S to scan";
        return line;
    }
    if (facts.tunerError.find("busy") != std::string::npos) return "Offline - tuner busy (close the other player)";
    return "Offline - no tuner found";
}

std::string firmwareDeclinedPathFor(const std::string& channelListPath) {
    auto slash = channelListPath.rfind('/');
    std::string directory = slash == std::string::npos ? "." : channelListPath.substr(0, slash);
    return directory + "/firmware-declined";
}

}  // namespace vantiro
