#include "ui/channel_kind.h"

#include <gtest/gtest.h>

namespace vantiro {
namespace {

Channel tunerChannel(std::uint16_t videoPid, bool isNew = false) {
    Channel ch;
    ch.name = "Tuner";
    ch.frequency = 474000000;
    ch.videoPid = videoPid;
    ch.audioPid = 0x101;
    ch.isNew = isNew;
    return ch;
}

Channel onlineChannel(const std::string& url) {
    Channel ch;
    ch.name = "Online";
    ch.url = url;
    return ch;
}

const std::vector<std::string> kRadioUrls = {"http://127.0.0.1/radio1", "http://127.0.0.1/radio2"};

TEST(IsAudioOnlyChannel, DvbRadioAndListedRadioUrlsOnly) {
    EXPECT_TRUE(isAudioOnlyChannel(tunerChannel(0), kRadioUrls));
    EXPECT_FALSE(isAudioOnlyChannel(tunerChannel(0x100), kRadioUrls));
    EXPECT_TRUE(isAudioOnlyChannel(onlineChannel("http://127.0.0.1/radio2"), kRadioUrls));
    // Online TV has no video PID either; only the radio list makes it audio.
    EXPECT_FALSE(isAudioOnlyChannel(onlineChannel("http://127.0.0.1/tv"), kRadioUrls));
    // Byte for byte: no trimming, no case folding.
    EXPECT_FALSE(isAudioOnlyChannel(onlineChannel("http://127.0.0.1/radio2 "), kRadioUrls));
    EXPECT_FALSE(isAudioOnlyChannel(onlineChannel("HTTP://127.0.0.1/radio2"), kRadioUrls));
    EXPECT_FALSE(isAudioOnlyChannel(onlineChannel("http://127.0.0.1/radio1"), {}));
}

TEST(ChannelKind, TestedInOrderAudioOnlineNewTuner) {
    EXPECT_EQ(channelKind(tunerChannel(0, true), kRadioUrls), ChannelKind::Audio);  // a new radio service
    EXPECT_EQ(channelKind(onlineChannel("http://127.0.0.1/radio1"), kRadioUrls), ChannelKind::Audio);
    EXPECT_EQ(channelKind(onlineChannel("http://127.0.0.1/tv"), kRadioUrls), ChannelKind::Online);
    EXPECT_EQ(channelKind(tunerChannel(0x100, true), kRadioUrls), ChannelKind::New);
    EXPECT_EQ(channelKind(tunerChannel(0x100), kRadioUrls), ChannelKind::Tuner);
}

}  // namespace
}  // namespace vantiro
