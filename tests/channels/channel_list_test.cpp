#include "channels/channel_list.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

Channel tunerChannel(std::string name, std::uint32_t frequency) {
    Channel ch;
    ch.name = std::move(name);
    ch.frequency = frequency;
    ch.serviceId = 1234;
    ch.pmtPid = 256;
    ch.videoPid = 512;
    ch.audioPid = 650;
    ch.pcrPid = 512;
    return ch;
}

// Sets or clears environment variables for one test and restores them after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value, 1); else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1); else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ChannelListPath, FollowsXdgThenHomeThenWorkingDirectory) {
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/x/cfg/"), home("HOME", "/home/u");
        EXPECT_EQ(channelListPath(), "/x/cfg//vantiro/channels.tsv");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", ""), home("HOME", "/home/u");
        EXPECT_EQ(channelListPath(), "/home/u/.config/vantiro/channels.tsv");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr), home("HOME", "");
        EXPECT_EQ(channelListPath(), "./vantiro/channels.tsv");
    }
}

TEST(ChannelListFile, SavesTheExactFormatAndLoadsItBack) {
    TempDir dir;
    std::string path = dir.file("sub/dir/channels.tsv");
    Channel t2 = tunerChannel("Thai PBS", 470000000);
    Channel radio = tunerChannel("", 522000000);
    radio.deliverySystem = 3;
    radio.videoPid = 0;
    ASSERT_TRUE(saveChannelList(path, {t2, radio}));
    EXPECT_EQ(readFile(path),
              "vantiro-1\n"
              "Thai PBS\t470000000\t16\t1234\t256\t512\t650\t512\n"
              "\t522000000\t3\t1234\t256\t0\t650\t512\n");
    std::string error = "untouched";
    auto loaded = loadChannelList(path, &error);
    EXPECT_EQ(error, "untouched");
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].name, "Thai PBS");
    EXPECT_EQ(loaded[0].deliverySystem, 16);
    EXPECT_EQ(loaded[0].audioPid, 650);
    EXPECT_EQ(loaded[1].name, "");
    EXPECT_EQ(loaded[1].deliverySystem, 3);
    EXPECT_EQ(loaded[1].videoPid, 0);
    EXPECT_TRUE(loaded[1].url.empty());
    EXPECT_FALSE(loaded[1].isNew);
}

TEST(ChannelListFile, EmptyListIsJustTheHeader) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    ASSERT_TRUE(saveChannelList(path, {}));
    EXPECT_EQ(readFile(path), "vantiro-1\n");
    std::string error = "untouched";
    EXPECT_TRUE(loadChannelList(path, &error).empty());
    EXPECT_EQ(error, "untouched");
}

TEST(ChannelListFile, ControlCharactersInNamesBecomeSpaces) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    ASSERT_TRUE(saveChannelList(path, {tunerChannel("a\tb\nc\rd", 474000000)}));
    auto loaded = loadChannelList(path);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name, "a b c d");
}

TEST(ChannelListFile, OnlineChannelsAreWrittenButNotLoaded) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    Channel online;
    online.name = "Web TV";
    online.url = "http://127.0.0.1/tv.m3u8";
    online.deliverySystem = 0;
    ASSERT_TRUE(saveChannelList(path, {online, tunerChannel("Air", 474000000)}));
    EXPECT_EQ(readFile(path), "vantiro-1\nWeb TV\t0\t0\t0\t0\t0\t0\t0\n"
                              "Air\t474000000\t16\t1234\t256\t512\t650\t512\n");
    auto loaded = loadChannelList(path);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name, "Air");
}

TEST(ChannelListFile, MissingFileReportsThePath) {
    TempDir dir;
    std::string error;
    EXPECT_TRUE(loadChannelList(dir.file("none.tsv"), &error).empty());
    EXPECT_EQ(error, "no channel list at " + dir.file("none.tsv"));
    EXPECT_TRUE(loadChannelList(dir.file("none.tsv")).empty());  // no error string given
}

TEST(ChannelListFile, ParsesLinesLikeTheCLibrary) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    writeFile(path,
              "A\t474000000\t16\t1\t2\t3\t4\t5\n"           // no header: a data line
              "vantiro-1\n"                                  // header only counts first
              "seven\t474000000\t16\t1\t2\t3\t4\n"          // seven fields
              "eight-empty\t474000000\t16\t1\t2\t3\t4\t\n"  // empty last field
              "nine\t474000000\t16\t1\t2\t3\t4\t5\textra\n"
              "\n"
              "zero\t0\t16\t1\t2\t3\t4\t5\n"
              "nofreq\t\t16\t1\t2\t3\t4\t5\n"
              "text\tabc\t16\t1\t2\t3\t4\t5\n"
              "wide\t474000000\t16\t70000\t70000\t-1\t 42x\t65536\n"
              "big\t4294967297\t-3\t1\t2\t3\t4\t5\n");
    auto loaded = loadChannelList(path);
    ASSERT_EQ(loaded.size(), 4u);
    EXPECT_EQ(loaded[0].name, "A");
    EXPECT_EQ(loaded[1].name, "nine");
    EXPECT_EQ(loaded[1].pcrPid, 5);
    EXPECT_EQ(loaded[2].serviceId, 4464);
    EXPECT_EQ(loaded[2].pmtPid, 4464);
    EXPECT_EQ(loaded[2].videoPid, 65535);
    EXPECT_EQ(loaded[2].audioPid, 42);
    EXPECT_EQ(loaded[2].pcrPid, 0);
    EXPECT_EQ(loaded[3].frequency, 1u);
    EXPECT_EQ(loaded[3].deliverySystem, -3);
}

TEST(ChannelListFile, HeaderWithAnotherVersionIsSkipped) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    writeFile(path, "vantiro-7 whatever\nA\t474000000\t16\t1\t2\t3\t4\t5\n");
    EXPECT_EQ(loadChannelList(path).size(), 1u);
    writeFile(path, "vantir\nA\t474000000\t16\t1\t2\t3\t4\t5\n");
    EXPECT_EQ(loadChannelList(path).size(), 1u);  // too short to be a header: just malformed
}

TEST(ChannelListFile, CrLfFilesLoadTheSameRecords) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    writeFile(path, "vantiro-1\r\nThai PBS\t470000000\t16\t1234\t256\t512\t650\t512\r\n");
    auto loaded = loadChannelList(path);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name, "Thai PBS");
    EXPECT_EQ(loaded[0].pcrPid, 512);
}

TEST(ChannelListFile, SaveUnderAFileFailsAndLeavesNoTemporary) {
    TempDir dir;
    std::string blocker = dir.file("blocker");
    writeFile(blocker, "not a directory");
    std::string error;
    EXPECT_FALSE(saveChannelList(blocker + "/channels.tsv", {tunerChannel("A", 1)}, &error));
    EXPECT_EQ(error, "cannot write " + blocker + "/channels.tsv");
    EXPECT_EQ(readFile(blocker), "not a directory");
}

TEST(ChannelListFile, SaveOntoADirectoryFailsAndKeepsItsContents) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    std::filesystem::create_directory(path);
    writeFile(path + "/inside", "x");
    std::string error;
    EXPECT_FALSE(saveChannelList(path, {tunerChannel("A", 1)}, &error));
    EXPECT_EQ(error, "cannot write " + path);
    EXPECT_EQ(readFile(path + "/inside"), "x");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()), 1);
}

TEST(ChannelListFile, FullDiskKeepsThePreviousFileByteIdentical) {
    // A file size limit makes the write fail after the open succeeded, as a
    // full disk would.
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    ASSERT_TRUE(saveChannelList(path, {tunerChannel("Old", 474000000)}));
    std::string before = readFile(path);

    std::vector<Channel> many(2000, tunerChannel(std::string(200, 'n'), 474000000));
    pid_t child = fork();
    if (child == 0) {
        struct rlimit limit {1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);
        std::string error;
        bool ok = saveChannelList(path, many, &error);
        _exit(!ok && error == "cannot write " + path ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()), 1);
}

TEST(ChannelListFile, SaveKeepsTheModeOfAnExistingFile) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    writeFile(path, "vantiro-1\n");
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(saveChannelList(path, {tunerChannel("A", 474000000)}));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(ChannelListFile, SavingThroughASymbolicLinkUpdatesTheLinkedFile) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "dotfiles");
    std::filesystem::create_directories(dir.path() / "config");
    std::string linked = dir.file("dotfiles/channels.tsv");
    writeFile(linked, "vantiro-1\n");
    std::string path = dir.file("config/channels.tsv");
    std::filesystem::create_symlink("../dotfiles/channels.tsv", path);

    ASSERT_TRUE(saveChannelList(path, {tunerChannel("Linked", 474000000)}));
    EXPECT_TRUE(std::filesystem::is_symlink(path)) << "the link was replaced by a plain file";
    ASSERT_EQ(loadChannelList(linked).size(), 1u);
    EXPECT_EQ(loadChannelList(linked)[0].name, "Linked");
    // No temporary is left beside the link or beside the linked file.
    for (const char* folder : {"config", "dotfiles"})
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / folder),
                                std::filesystem::directory_iterator()), 1) << folder;
}

TEST(ChannelListFile, TemporariesOfACrashedSaveAreRemovedByTheNextSave) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    std::string stale = path + ".Ab3xQ9", recent = path + ".Zz0Zz0", other = path + ".backup";
    for (const std::string& file : {stale, recent, other}) writeFile(file, "partial");
    std::filesystem::last_write_time(stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));

    ASSERT_TRUE(saveChannelList(path, {tunerChannel("A", 474000000)}));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(recent)) << "a save running elsewhere may own it";
    EXPECT_TRUE(std::filesystem::exists(other)) << "not a temporary of the list";
}

// umask is per process: each case runs in a child.
mode_t modeOfANewListUnder(mode_t mask) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    pid_t child = fork();
    if (child == 0) {
        ::umask(mask);
        _exit(saveChannelList(path, {tunerChannel("A", 474000000)}) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    struct stat st {};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || stat(path.c_str(), &st) != 0) return 01000;
    return st.st_mode & 07777;
}

TEST(ChannelListFile, ANewFileFollowsTheUmask) {
    EXPECT_EQ(modeOfANewListUnder(022), 0644u);
    EXPECT_EQ(modeOfANewListUnder(077), 0600u);
    EXPECT_EQ(modeOfANewListUnder(002), 0664u);
}

TEST(ChannelListFile, ADirectoryInPlaceOfTheListIsReportedWithItsPath) {
    TempDir dir;
    std::string path = dir.file("channels.tsv");
    std::filesystem::create_directory(path);
    std::string error;
    EXPECT_TRUE(loadChannelList(path, &error).empty());
    EXPECT_EQ(error, "cannot read " + path + ": Is a directory");
}

}  // namespace
}  // namespace vantiro
