#include "shell/window_options.h"

#include <gtest/gtest.h>

#include <vector>

#include "shell/app.h"

namespace vantiro {
namespace {

void apply(App& app, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "vantiro");
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    applyWindowOptions(app, static_cast<int>(argv.size()), argv.data());
}

TEST(WindowOptions, ValuesAndFlagsAreTakenUnknownArgumentsIgnored) {
    App app;
    apply(app, {"--native", "--file", "clip.ts", "HELP", "--screenshot", "s.ppm", "--screenshot-after", "3.5",
                "--list-open", "--scan-on-start", "--install-firmware"});
    EXPECT_EQ(app.demoFilePath, "clip.ts");
    EXPECT_EQ(app.screenshotPath, "s.ppm");
    EXPECT_DOUBLE_EQ(app.screenshotDelay, 3.5);
    EXPECT_TRUE(app.listOpenAtStart);
    EXPECT_TRUE(app.scanAtStart);
    EXPECT_TRUE(app.installFirmwareAtStart);
}

TEST(WindowOptions, AValueOptionAsTheLastArgumentIsIgnored) {
    App app;
    apply(app, {"--screenshot"});
    EXPECT_EQ(app.screenshotPath, "");
    EXPECT_DOUBLE_EQ(app.screenshotDelay, 2.0);
    apply(app, {"--file", "a.ts", "--screenshot-after"});
    EXPECT_EQ(app.demoFilePath, "a.ts");
    EXPECT_DOUBLE_EQ(app.screenshotDelay, 2.0);
}

TEST(StatusLine, EveryForm) {
    StatusFacts facts;
    facts.channelCount = 42;
    facts.onlineCount = 12;
    facts.sourceLabel = "tv.example";
    EXPECT_EQ(buildStatusLine(facts), "12 channels from tv.example + 30 tuner");
    facts.channelCount = 12;
    EXPECT_EQ(buildStatusLine(facts), "12 channels from tv.example");

    StatusFacts tuner;
    tuner.tunerOpen = true;
    tuner.frontendName = "Silicon Labs Si2168";
    EXPECT_EQ(buildStatusLine(tuner), "Offline - tuner: Silicon Labs Si2168 - no channels, press S to scan");
    tuner.channelCount = 30;
    tuner.firmwareReadable = false;
    EXPECT_EQ(buildStatusLine(tuner), "Offline - tuner: Silicon Labs Si2168 (firmware missing) - 30 channels");

    StatusFacts none;
    none.tunerError = "cannot open /dev/dvb/adapter0/frontend0: Device or resource busy";
    EXPECT_EQ(buildStatusLine(none), "Offline - tuner busy (close the other player)");
    none.tunerError = "cannot open /dev/dvb/adapter0/frontend0: No such file or directory";
    EXPECT_EQ(buildStatusLine(none), "Offline - no tuner found");
}

TEST(StateFilePaths, SitBesideTheChannelList) {
    EXPECT_EQ(lastChannelPathFor("/home/u/.config/vantiro/channels.tsv"), "/home/u/.config/vantiro/last-channel");
    EXPECT_EQ(lastChannelPathFor("channels.tsv"), "./last-channel");
    EXPECT_EQ(firmwareDeclinedPathFor("/c/vantiro/channels.tsv"), "/c/vantiro/firmware-declined");
}

}  // namespace
}  // namespace vantiro
