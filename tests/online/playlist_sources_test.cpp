#include "online/playlist_sources.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::ScopedEnv;
using test::ScopedWorkingDir;
using test::TempDir;
using test::writeFile;

TEST(ExecutableDir, IsTheDirectoryOfTheRunningProgram) {
    std::string dir = executableDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.front(), '/');
    EXPECT_NE(dir.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(dir + "/" + program_invocation_short_name));
}

TEST(LocalPlaylistCandidates, VariableThenEachNameHereAndAroundTheExecutable) {
    std::vector<std::string> expected = {
        "/p/my.m3u",
        "online-channels.m3u8",
        "/opt/v/bin/online-channels.m3u8",
        "/opt/v/bin/../online-channels.m3u8",
        "/opt/v/bin/../../online-channels.m3u8",
        "/opt/v/bin/../share/vantiro/online-channels.m3u8",
        "vorudiv.m3u8",
        "/opt/v/bin/vorudiv.m3u8",
        "/opt/v/bin/../vorudiv.m3u8",
        "/opt/v/bin/../../vorudiv.m3u8",
        "/opt/v/bin/../share/vantiro/vorudiv.m3u8",
    };
    EXPECT_EQ(localPlaylistCandidates("/p/my.m3u", "/opt/v/bin"), expected);
    EXPECT_EQ(localPlaylistCandidates("", ""), (std::vector<std::string>{"online-channels.m3u8", "vorudiv.m3u8"}));
}

class FindLocalPlaylist : public ::testing::Test {
protected:
    // The built-in names beside the test program would be found after the
    // working directory; they must not be there for these cases.
    void SetUp() override {
        for (const std::string& candidate : localPlaylistCandidates("", executableDir()))
            if (candidate.front() == '/' && std::filesystem::exists(candidate))
                GTEST_SKIP() << candidate << " exists beside the test program";
    }
    TempDir dir_;
    ScopedWorkingDir cwd_{dir_.path().string()};
};

TEST_F(FindLocalPlaylist, VariableComesFirstAndIsUsedUnchanged) {
    writeFile(dir_.file("mine.m3u"), "");
    writeFile(dir_.file("online-channels.m3u8"), "");
    ScopedEnv iptv("VANTIRO_IPTV", "./mine.m3u");
    EXPECT_EQ(findLocalPlaylist(), "./mine.m3u");
}

TEST_F(FindLocalPlaylist, MissingOrEmptyVariableFallsThroughToBuiltInNames) {
    writeFile(dir_.file("vorudiv.m3u8"), "");
    {
        ScopedEnv iptv("VANTIRO_IPTV", dir_.file("absent.m3u").c_str());
        EXPECT_EQ(findLocalPlaylist(), "vorudiv.m3u8");
    }
    writeFile(dir_.file("online-channels.m3u8"), "");
    ScopedEnv iptv("VANTIRO_IPTV", "");
    EXPECT_EQ(findLocalPlaylist(), "online-channels.m3u8");
}

TEST_F(FindLocalPlaylist, NothingFoundGivesEmptyPath) {
    ScopedEnv iptv("VANTIRO_IPTV", nullptr);
    std::filesystem::create_directory(dir_.file("online-channels.m3u8"));  // a directory holds no playlist
    EXPECT_EQ(findLocalPlaylist(), "");
}

}  // namespace
}  // namespace vantiro
