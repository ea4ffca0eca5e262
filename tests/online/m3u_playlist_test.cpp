#include "online/m3u_playlist.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::TempDir;
using test::writeFile;

std::vector<std::string> names(const std::vector<Channel>& channels) {
    std::vector<std::string> result;
    for (const Channel& channel : channels) result.push_back(channel.name);
    return result;
}

TEST(TrimWhitespace, TrimsOnlySpaceTabLineFeedAndCarriageReturn) {
    EXPECT_EQ(trimWhitespace(" \t\r\n a b \r\n\t "), "a b");
    EXPECT_EQ(trimWhitespace(" \t\r\n"), "");
    EXPECT_EQ(trimWhitespace(""), "");
    EXPECT_EQ(trimWhitespace("\va\f"), "\va\f");
    EXPECT_EQ(trimWhitespace(std::string("\0a\0", 3)), std::string("\0a\0", 3));
    EXPECT_EQ(trimWhitespace("\xc2\xa0x\xc2\xa0"), "\xc2\xa0x\xc2\xa0");
}

TEST(ParseM3u, TakesTitleAfterTheCommaAndTheFollowingUrl) {
    auto channels = parseM3u("#EXTM3U\n#EXTINF:-1 tvg-logo=\"http://x/logo.png\",News 24\nhttp://s/news.m3u8\n");
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].name, "News 24");
    EXPECT_EQ(channels[0].url, "http://s/news.m3u8");
    EXPECT_EQ(channels[0].frequency, 0u);
    EXPECT_EQ(channels[0].deliverySystem, 0);
    EXPECT_EQ(channels[0].serviceId, 0);
    EXPECT_EQ(channels[0].pmtPid + channels[0].videoPid + channels[0].audioPid + channels[0].pcrPid, 0);
    EXPECT_FALSE(channels[0].isNew);
}

TEST(ParseM3u, CrLfLineEndsGiveTheSameRecords) {
    auto channels = parseM3u("#EXTM3U\r\n#EXTINF:-1 tvg-logo=\"l.png\",News 24\r\nhttp://s/news.m3u8\r\n");
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].name, "News 24");
    EXPECT_EQ(channels[0].url, "http://s/news.m3u8");
}

TEST(ParseM3u, OnlyTheFirstCommaOfTheLineSplits) {
    EXPECT_EQ(names(parseM3u("#EXTINF:-1,A, B\nhttp://a\n")), std::vector<std::string>{"A, B"});
    // A comma inside a quoted attribute is still the first comma of the line.
    EXPECT_EQ(names(parseM3u("#EXTINF:-1 group-title=\"News, Sport\",Real Title\nhttp://a\n")),
              std::vector<std::string>{"Sport\",Real Title"});
}

TEST(ParseM3u, EntryWithoutUsableTitleSkipsItsUrl) {
    EXPECT_TRUE(parseM3u("#EXTINF:-1 no comma\nhttp://a\n").empty());
    EXPECT_TRUE(parseM3u("#EXTINF:-1,  \t \nhttp://a\n").empty());
    EXPECT_TRUE(parseM3u("http://a\nhttp://b\n").empty());
}

TEST(ParseM3u, PairsTitleWithTheNextUrlLineOnly) {
    auto channels = parseM3u(
        "#EXTINF:-1,One\n#EXTVLCOPT:http-user-agent=x\n\n   \n#EXTGRP:News\nhttp://one\nhttp://stray\n"
        "#EXTINF:-1,Lost\n#EXTINF:-1,Two\nrelative/path with spaces.ts\n#EXTINF:-1,Dangling\n");
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0].name, "One");
    EXPECT_EQ(channels[0].url, "http://one");
    EXPECT_EQ(channels[1].name, "Two");
    EXPECT_EQ(channels[1].url, "relative/path with spaces.ts");
}

TEST(ParseM3u, MarkerIsCaseSensitiveAndByteOrderMarkIsAnOrdinaryByte) {
    EXPECT_TRUE(parseM3u("#extinf:-1,Lower\nhttp://a\n").empty());
    auto channels = parseM3u("\xEF\xBB\xBF#EXTINF:-1,First\nhttp://first\n#EXTINF:-1,Second\nhttp://second\n");
    EXPECT_EQ(names(channels), std::vector<std::string>{"Second"});
}

TEST(ParseM3u, KeepsDuplicatesAndTitleBytes) {
    auto channels = parseM3u("#EXTINF:-1,\xe0\xb8\x8a\xff\nhttp://a\n#EXTINF:-1,\xe0\xb8\x8a\xff\nhttp://a");
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[1].name, "\xe0\xb8\x8a\xff");
    EXPECT_EQ(channels[1].url, "http://a");  // last line without a line feed still counts
}

TEST(ParseM3u, SurvivesHostileInput) {
    EXPECT_TRUE(parseM3u("").empty());
    EXPECT_TRUE(parseM3u("#EXTM3U\n# only\n#comments").empty());
    EXPECT_TRUE(parseM3u("\n\n\r\n \t\n").empty());
    EXPECT_TRUE(parseM3u("#EXTINF:").empty());

    constexpr char kWithNul[] = "#EXTINF:-1,A\0B\nhttp://x\0y\n";
    std::string withNul(kWithNul, sizeof kWithNul - 1);
    auto channels = parseM3u(withNul);
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].name, std::string("A\0B", 3));
    EXPECT_EQ(channels[0].url, std::string("http://x\0y", 10));

    std::string junk;
    for (int i = 0; i < 1 << 20; ++i) junk.push_back(static_cast<char>((i * 2654435761u) >> 13));
    // Whatever junk gives stays within it: at most one channel per line,
    // every name and URL a piece of one line.
    std::size_t lines = static_cast<std::size_t>(std::count(junk.begin(), junk.end(), '\n')) + 1;
    std::size_t bytes = 0;
    channels = parseM3u(junk);
    EXPECT_LE(channels.size(), lines);
    for (const Channel& channel : channels) {
        EXPECT_EQ(channel.url.find('\n'), std::string::npos);
        EXPECT_EQ(channel.name.find('\n'), std::string::npos);
        EXPECT_FALSE(channel.url.empty());
        bytes += channel.name.size() + channel.url.size();
    }
    EXPECT_LE(bytes, junk.size());

    std::string longTitle(4 << 20, 'T');
    std::string longUrl(4 << 20, 'u');
    channels = parseM3u("#EXTINF:-1," + longTitle + "\n" + longUrl);
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].name.size(), longTitle.size());
    EXPECT_EQ(channels[0].url.size(), longUrl.size());
}

TEST(LoadM3uFile, ParsesTheFileAndClearsTheError) {
    TempDir dir;
    writeFile(dir.file("list.m3u8"), "#EXTM3U\r\n#EXTINF:-1,A\r\nhttp://a\r\n");
    std::string error = "stale";
    auto channels = loadM3uFile(dir.file("list.m3u8"), &error);
    EXPECT_EQ(names(channels), std::vector<std::string>{"A"});
    EXPECT_EQ(error, "");
    EXPECT_EQ(loadM3uFile(dir.file("list.m3u8")).size(), 1u);
}

TEST(LoadM3uFile, EmptyFileIsNotAnError) {
    TempDir dir;
    writeFile(dir.file("empty.m3u8"), "");
    std::string error = "stale";
    EXPECT_TRUE(loadM3uFile(dir.file("empty.m3u8"), &error).empty());
    EXPECT_EQ(error, "");
}

TEST(LoadM3uFile, MissingFileOrDirectoryCannotBeOpened) {
    TempDir dir;
    std::string error;
    EXPECT_TRUE(loadM3uFile(dir.file("absent.m3u8"), &error).empty());
    EXPECT_EQ(error, "cannot open " + dir.file("absent.m3u8"));
    EXPECT_TRUE(loadM3uFile(dir.path().string(), &error).empty());
    EXPECT_EQ(error, "cannot open " + dir.path().string());
    EXPECT_TRUE(loadM3uFile(dir.file("absent.m3u8")).empty());
}

}  // namespace
}  // namespace vantiro
