#include "channels/channel_list.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(ChannelListFile, SaveThenLoadRoundTrips) {
    TempDir dir;
    std::string path = dir.file("sub/dir/channels.tsv");
    Channel ch;
    ch.name = "Thai PBS";
    ch.frequency = 470000000;
    ch.serviceId = 1234;
    ch.pmtPid = 256;
    ch.videoPid = 512;
    ch.audioPid = 650;
    ch.pcrPid = 512;
    ASSERT_TRUE(saveChannelList(path, {ch}));
    EXPECT_EQ(readFile(path), "vantiro-1\nThai PBS\t470000000\t16\t1234\t256\t512\t650\t512\n");
    auto loaded = loadChannelList(path);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name, "Thai PBS");
    EXPECT_EQ(loaded[0].pcrPid, 512);
}

}  // namespace
}  // namespace vantiro
