// The start-up before the window: channels, tuner, firmware offer, online channels, status line.
#include "shell/windowed_startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "channels/channel_list.h"
#include "online/online_service.h"
#include "shell/app.h"
#include "support/dvbsim_harness.h"
#include "support/http_file_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::ScopedEnv;
using test::TempDir;

// A configuration directory of its own, no playlist on the network or on disk.
class StartUp : public ::testing::Test {
protected:
    StartUp()
        : config_("XDG_CONFIG_HOME", dir.path().c_str()),
          tv_("VANTIRO_PLAYLIST_URL", "http://127.0.0.1:1/tv.m3u8"),
          radio_("VANTIRO_RADIO_URL", "http://127.0.0.1:1/tv.m3u8"),
          iptv_("VANTIRO_IPTV", nullptr),
          cwd_(dir.path().string()) {
        system.firmwarePath = dir.file("no-firmware.fw");
        system.usbDevicesDir = dir.file("no-usb");
        system.installFirmware = [this](std::string* error) {
            ++installs;
            if (error) *error = "firmware installation was cancelled or failed";
            return installSucceeds;
        };
    }

    void saveTunerChannels(int count) {
        std::vector<Channel> channels;
        for (int i = 0; i < count; ++i) {
            Channel channel;
            channel.name = "Tuner " + std::to_string(i);
            channel.frequency = 474000000;
            channel.serviceId = static_cast<std::uint16_t>(1000 + i);
            channel.pmtPid = 0x1000;
            channel.videoPid = 0x100;
            channel.audioPid = 0x101;
            channel.pcrPid = 0x100;
            channels.push_back(channel);
        }
        ASSERT_TRUE(saveChannelList(channelListPath(), channels));
    }

    void plugInTheStick() {
        auto device = std::filesystem::path(system.usbDevicesDir) / "1-2";
        std::filesystem::create_directories(device);
        std::ofstream(device / "idVendor") << "0572\n";
        std::ofstream(device / "idProduct") << "c688\n";
    }

    std::string marker() const { return dir.file("vantiro/firmware-declined"); }

    TempDir dir;
    StartupSystem system;
    int installs = 0;
    bool installSucceeds = false;

private:
    ScopedEnv config_, tv_, radio_, iptv_;
    test::ScopedWorkingDir cwd_;
};

TEST_F(StartUp, OnlineChannelsFollowTheTunerChannelsAndAreCounted) {
    std::string playlist = "#EXTM3U\n";
    for (int i = 0; i < 12; ++i)
        playlist += "#EXTINF:-1,Online " + std::to_string(i) + "\nhttp://127.0.0.1:9/" + std::to_string(i) + ".ts\n";
    test::HttpFileServer server(playlist, "audio/x-mpegurl");
    ScopedEnv tv("VANTIRO_PLAYLIST_URL", server.url("/tv.m3u8").c_str());
    ScopedEnv radio("VANTIRO_RADIO_URL", server.url("/tv.m3u8").c_str());
    saveTunerChannels(30);
    App app;
    prepareWindowedApp(app, system);
    EXPECT_EQ(app.statusLine, "12 channels from " + std::string(kOnlineServiceHost) + " + 30 tuner");
    ASSERT_EQ(app.channelCount(), 42);
    EXPECT_EQ(app.channels[29].name, "Tuner 29");
    EXPECT_EQ(app.channels[30].name, "Online 0");
    EXPECT_EQ(app.onlineCount, 12);
    EXPECT_EQ(app.onlineChannels.size(), 12u);
    EXPECT_TRUE(app.onlineAvailable);
    EXPECT_EQ(app.tvPlaylistUrl, server.url("/tv.m3u8"));
    EXPECT_EQ(app.lastChannelPath, dir.file("vantiro/last-channel"));
}

TEST_F(StartUp, NoTunerAndNoNetworkSaysSo) {
    App app;
    prepareWindowedApp(app, system);
    EXPECT_EQ(app.statusLine, "Offline - no tuner found");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("vantiro"))) << "the configuration directory is made";
}

TEST_F(StartUp, AnOpenTunerWithoutChannelsAsksForAScan) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    App app;
    prepareWindowedApp(app, system);
    ASSERT_TRUE(app.tunerOpen);
    EXPECT_EQ(app.statusLine,
              "Offline - tuner: " + app.tuner.frontendName() + " (firmware missing) - no channels, press S to scan");
    app.tuner.close();  // one program at a time owns the frontend
    std::ofstream(system.firmwarePath) << "firmware";
    saveTunerChannels(3);
    App withChannels;
    prepareWindowedApp(withChannels, system);
    EXPECT_EQ(withChannels.statusLine, "Offline - tuner: " + app.tuner.frontendName() + " - 3 channels");
}

TEST_F(StartUp, ABusyTunerIsNamedInTheStatusLine) {
    std::string band = dir.file("busy.conf");
    std::ofstream(band) << "adapter 0 open=ebusy\nmux freq=474000000 ts=" << test::standardBandDir() << "/mux-474.ts\n";
    VANTIRO_UNDER_DVBSIM(band);
    App app;
    prepareWindowedApp(app, system);
    EXPECT_EQ(app.statusLine, "Offline - tuner busy (close the other player)");
}

TEST_F(StartUp, TheFirmwareIsOfferedOnlyForAPluggedStickWithoutFirmwareOrMarker) {
    App noStick;
    prepareWindowedApp(noStick, system);
    EXPECT_EQ(installs, 0);

    plugInTheStick();
    testing::internal::CaptureStderr();
    App declined;
    prepareWindowedApp(declined, system);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(installs, 1);
    EXPECT_NE(printed.find("installing Si2168 tuner firmware (admin authorization)...\n"), std::string::npos);
    EXPECT_NE(printed.find("firmware installation was cancelled or failed\n"), std::string::npos);
    EXPECT_EQ(test::readFile(marker()), "declined\n");

    App quiet;
    prepareWindowedApp(quiet, system);
    EXPECT_EQ(installs, 1) << "the marker keeps the offer away";

    std::filesystem::remove(marker());
    installSucceeds = true;
    testing::internal::CaptureStderr();
    App installed;
    prepareWindowedApp(installed, system);
    printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(installs, 2);
    EXPECT_NE(printed.find("Si2168 firmware installed\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(marker()));

    std::ofstream(system.firmwarePath) << "firmware";
    App present;
    prepareWindowedApp(present, system);
    EXPECT_EQ(installs, 2) << "firmware in place: no offer";
}

TEST_F(StartUp, AChoiceThatCannotBeRememberedIsExplainedOnce) {
    plugInTheStick();
    // The configuration directory cannot hold the marker (a file stands where
    // the directory would be; a read-only directory fails the same way).
    std::filesystem::remove_all(dir.path() / "vantiro");
    std::ofstream(dir.file("vantiro")) << "not a directory";
    testing::internal::CaptureStderr();
    App declined;
    prepareWindowedApp(declined, system);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(installs, 1);
    const std::string why = "the firmware offer cannot be remembered as declined (cannot write " + marker() +
                            ": Not a directory); it comes again at the next start\n";
    EXPECT_NE(printed.find("firmware installation was cancelled or failed\n" + why), std::string::npos) << printed;
    EXPECT_EQ(printed.find(why), printed.rfind(why)) << "said once";
}


}  // namespace
}  // namespace vantiro
