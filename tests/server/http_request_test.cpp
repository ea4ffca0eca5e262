#include "server/http_request.h"

#include <gtest/gtest.h>

namespace vantiro {
namespace {

TEST(RequestLine, MethodAndTargetAreTheFirstTwoWords) {
    auto line = parseRequestLine("POST /play?index=1 HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->method, "POST");
    EXPECT_EQ(line->target, "/play?index=1");
}

TEST(RequestLine, WithoutCrLfTheWholeTextIsTheLine) {
    auto line = parseRequestLine("GET /status.txt HTTP/1.1 trailing words");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->target, "/status.txt");
}

TEST(RequestLine, NeedsTwoBlanksOnTheFirstLine) {
    EXPECT_FALSE(parseRequestLine("GET /status.txt\r\nHost: a b c\r\n\r\n"));
    EXPECT_FALSE(parseRequestLine("GET"));
    EXPECT_FALSE(parseRequestLine(""));
    auto empty = parseRequestLine("  ");
    ASSERT_TRUE(empty);  // two blanks: empty method and empty target
    EXPECT_EQ(empty->method, "");
    EXPECT_EQ(empty->target, "");
}

TEST(RequestHead, EndsAtTheBlankLine) {
    EXPECT_FALSE(requestHeadComplete("GET / HTTP/1.1\r\nHost: x\r\n"));
    EXPECT_TRUE(requestHeadComplete("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_FALSE(requestHeadComplete("GET / HTTP/1.1\n\n"));
}

TEST(UrlDecode, DecodesEscapesAndPlus) {
    EXPECT_EQ(urlDecode("a%20b+c"), "a b c");
    EXPECT_EQ(urlDecode("%41%4a%4A"), "AJJ");
    EXPECT_EQ(urlDecode("%1z"), std::string("\x01", 1) + "");  // strtol stops at the z
    EXPECT_EQ(urlDecode("%00"), std::string(1, '\0'));
}

TEST(UrlDecode, KeepsAShortEscapeAtTheEnd) {
    EXPECT_EQ(urlDecode("5%"), "5%");
    EXPECT_EQ(urlDecode("5%4"), "5%4");
    EXPECT_EQ(urlDecode("%"), "%");
}

TEST(UrlDecode, AnEscapeWithoutHexDigitsCannotBeDecoded) {
    EXPECT_FALSE(urlDecode("%zz"));
    EXPECT_FALSE(urlDecode("1%g1"));
    EXPECT_FALSE(urlDecode("%%%"));
}

TEST(ChannelIndex, ReadsTheIndexPiece) {
    EXPECT_EQ(channelIndexFromTarget("/play?index=1"), 1);
    EXPECT_EQ(channelIndexFromTarget("/play?foo=1&index=12&bar"), 12);
    EXPECT_EQ(channelIndexFromTarget("/play?index=%33"), 3);
    EXPECT_EQ(channelIndexFromTarget("/play?index=+7"), 7);  // '+' is a blank, strtol skips it
    EXPECT_EQ(channelIndexFromTarget("/play?index=4abc"), 4);
    EXPECT_EQ(channelIndexFromTarget("/play?index=100000"), 100000);
    EXPECT_EQ(channelIndexFromTarget("/play?index=0"), 0);
}

TEST(ChannelIndex, RejectsWhatIsNoIndex) {
    EXPECT_EQ(channelIndexFromTarget("/play"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?indexx=1"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?index=abc"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?index=-1"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?index=100001"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?index=99999999999999999999999"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?index="), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?index=%zz"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?index=%zz1"), -1);
}

TEST(ChannelIndex, TheLastIndexPieceWins) {
    EXPECT_EQ(channelIndexFromTarget("/play?foo=1&index=2&index=x"), -1);
    EXPECT_EQ(channelIndexFromTarget("/play?index=x&index=2"), 2);
    EXPECT_EQ(channelIndexFromTarget("/play?index=1&index=%4"), -1);  // "%4" stays, no digit
}

TEST(WatchIndex, ReadsTheChannelOfAWatchTarget) {
    EXPECT_EQ(watchIndexFromTarget("/watch/0.ts"), 0);
    EXPECT_EQ(watchIndexFromTarget("/watch/12.ts"), 12);
    EXPECT_EQ(watchIndexFromTarget("/watch/3.ts?foo=1"), 3);
    EXPECT_EQ(watchIndexFromTarget("/watch/100000.ts"), 100000);
}

TEST(WatchIndex, RejectsWhatIsNoChannel) {
    for (const char* target : {"/watch/", "/watch/.ts", "/watch/1", "/watch/1.tsx", "/watch/-1.ts", "/watch/+1.ts",
                               "/watch/ 1.ts", "/watch/1a.ts", "/watch/100001.ts", "/watch/9999999999.ts",
                               "/watch/%31.ts", "/watch/1.ts/x", "/stream.ts", "/watch1.ts"})
        EXPECT_EQ(watchIndexFromTarget(target), -1) << target;
    EXPECT_TRUE(isWatchTarget("/watch/x"));
    EXPECT_FALSE(isWatchTarget("/watchx"));
}

TEST(HeaderValue, FindsAHeaderWhateverItsCase) {
    const char* head = "GET / HTTP/1.1\r\nUser-Agent: x\r\nhOsT:   tv.local:8090 \r\nAccept: */*\r\n\r\nHost: body\r\n";
    EXPECT_EQ(headerValue(head, "Host"), "tv.local:8090");
    EXPECT_EQ(headerValue(head, "accept"), "*/*");
    EXPECT_EQ(headerValue(head, "Hos"), "");
    EXPECT_EQ(headerValue("GET / HTTP/1.0\r\n\r\n", "Host"), "");
    EXPECT_EQ(headerValue("GET / HTTP/1.1\r\nHost:\r\n\r\n", "Host"), "");
}

}  // namespace
}  // namespace vantiro
