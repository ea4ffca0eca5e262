#include "server/tv_server.h"

#include <pthread.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/http_client.h"
#include "support/server_harness.h"
#include "support/ts_packets.h"

namespace vantiro {
namespace {

using test::bodyOf;
using test::getRequest;
using test::httpExchange;
using test::onlineChannel;
using test::ServerHarness;
using test::ServerSetup;
using test::textAnswer;
using test::tunerChannel;

const char* const kHelp =
    "Vantiro\n\nGET  /channels.txt   channel list\nPOST /play?index=N   switch channel\n"
    "GET  /stream.ts      live MPEG-TS\nGET  /status.txt     current channel\n";

// Two tuner channels (the second a radio service) and one online channel, with
// no tuner present: the initial switch fails, online channels still switch.
class LiveServerWithoutTuner : public ::testing::Test {
protected:
    test::LoopbackListener streamHost;
    std::string url = "http://127.0.0.1:" + std::to_string(streamHost.port()) + "/live.m3u8";
    ServerHarness harness{ServerSetup{
        {tunerChannel("News 1", 474, 512), tunerChannel("Radio 2", 506, 0)},
        {onlineChannel("Web TV", url)}, "", false}};

    std::string fetch(const std::string& target, const std::string& method = "GET") {
        return harness.fetch(target, method);
    }
};

TEST_F(LiveServerWithoutTuner, StartsWithoutACurrentChannel) {
    ASSERT_TRUE(harness.started());
    EXPECT_EQ(fetch("/status.txt"), "current=-1\nname=\nchannels=3\nmode=tuner\n");
    EXPECT_EQ(fetch("/stream.ts"), "no channel\n");
}

TEST_F(LiveServerWithoutTuner, AnswersWithTheExactTextHeader) {
    EXPECT_EQ(httpExchange(harness.port(), getRequest("/nothing")), textAnswer("not found\n"));
}

TEST_F(LiveServerWithoutTuner, HelpTextOnTheRootAndIndexPage) {
    ASSERT_EQ(std::string(kHelp).size(), 150u);
    EXPECT_EQ(fetch("/"), kHelp);
    EXPECT_EQ(fetch("/index.html", "DELETE"), kHelp);
}

TEST_F(LiveServerWithoutTuner, UnknownTargetsAreNotFound) {
    for (const char* target : {"/status.txt?x=1", "/index.html?a", "/channels.tx", "/foo",
                               "/Status.txt", "*", "/stream.t"}) {
        EXPECT_EQ(fetch(target), "not found\n") << target;
    }
}

TEST_F(LiveServerWithoutTuner, ChannelLinesHideOnlineChannelsUnlessAsked) {
    std::string tuner = "0\tNews 1\t474\t0\tdvb\t\n1\tRadio 2\t506\t1\tdvb\t\n";
    EXPECT_EQ(fetch("/channels.txt"), tuner);
    EXPECT_EQ(fetch("/channels.txt?iptv=1"), tuner + "2\tWeb TV\t0\t0\tiptv\t" + url + "\n");
    EXPECT_EQ(fetch("/channels.txtiptv=1", "POST"), tuner + "2\tWeb TV\t0\t0\tiptv\t" + url + "\n");
}

TEST(ServerChannelLines, TabsAndLineBreaksInPlaylistTitlesBecomeBlanks) {
    test::LoopbackListener streamHost;
    std::string url = "http://127.0.0.1:" + std::to_string(streamHost.port()) + "/a.m3u8";
    ServerHarness harness{ServerSetup{{}, {onlineChannel("Tab\there\rCR end", url)}, "", false}};
    ASSERT_TRUE(harness.started());
    EXPECT_EQ(harness.fetch("/channels.txt?iptv=1"), "0\tTab here CR end\t0\t0\tiptv\t" + url + "\n");
}

TEST_F(LiveServerWithoutTuner, SwitchingToATunerChannelNeedsTheTuner) {
    EXPECT_EQ(fetch("/play?index=0", "POST"), "error: tuner is not open\n");
    EXPECT_EQ(fetch("/status.txt"), "current=-1\nname=\nchannels=3\nmode=tuner\n");
}

TEST_F(LiveServerWithoutTuner, SwitchingToAnOnlineChannelWithGetOrPost) {
    EXPECT_EQ(fetch("/play?index=2"), "ok\n");
    EXPECT_EQ(fetch("/status.txt"), "current=2\nname=Web TV\nchannels=3\nmode=tuner\n");
    EXPECT_EQ(fetch("/stream.ts"), "this is an IPTV channel: play its URL directly\n");
    EXPECT_EQ(fetch("/stream.ts?x=1", "HEAD"), "this is an IPTV channel: play its URL directly\n");
    EXPECT_EQ(fetch("/play?index=2", "POST"), "ok\n");
    // A failed switch leaves no current channel.
    EXPECT_EQ(fetch("/play?index=1", "POST"), "error: tuner is not open\n");
    EXPECT_EQ(fetch("/status.txt"), "current=-1\nname=\nchannels=3\nmode=tuner\n");
}

TEST_F(LiveServerWithoutTuner, SwitchRequestsWithBadIndexes) {
    EXPECT_EQ(fetch("/play?index=2", "PUT"), "error: use POST\n");
    EXPECT_EQ(fetch("/play?index=2", "post"), "error: use POST\n");
    for (const char* target :
         {"/play", "/play?index=abc", "/play?index=-1", "/play?index=100001", "/play?index=3",
          "/play?foo=1&index=2&index=x", "/play?index=%zz", "/play?index=%g0", "/playlist",
          "/play?index=%"}) {
        EXPECT_EQ(fetch(target, "POST"), "error: bad channel index\n") << target;
    }
    EXPECT_EQ(fetch("/play?index=%32", "POST"), "ok\n");  // %32 is "2"
    EXPECT_EQ(fetch("/playlist?index=2"), "ok\n");        // any target beginning with /play
}

TEST_F(LiveServerWithoutTuner, SwitchChannelChecksItsIndex) {
    std::string error;
    EXPECT_FALSE(harness.server().switchChannel(3, &error));
    EXPECT_EQ(error, "bad channel");
    EXPECT_FALSE(harness.server().switchChannel(-1));
}

TEST_F(LiveServerWithoutTuner, RequestsWithoutTwoBlanksGetNoAnswer) {
    EXPECT_EQ(httpExchange(harness.port(), "GET /status.txt\r\n\r\n"), "");
    EXPECT_EQ(httpExchange(harness.port(), "\r\n\r\n"), "");
    EXPECT_EQ(httpExchange(harness.port(), "GET /status.txt\r\nHost: a b\r\n\r\n"), "");
}

TEST_F(LiveServerWithoutTuner, OnlyTheRequestLineCounts) {
    EXPECT_EQ(bodyOf(httpExchange(harness.port(), "GET /status.txt SIP/9\n\n\r\n\r\n")),
              "current=-1\nname=\nchannels=3\nmode=tuner\n");
    // A body is never read; the header end decides.
    EXPECT_EQ(bodyOf(httpExchange(harness.port(), "POST /play?index=2 HTTP/1.1\r\n"
                                                  "Content-Length: 5\r\n\r\nhello")),
              "ok\n");
}

TEST_F(LiveServerWithoutTuner, OverlongHeadersAreHandledFromWhatArrived) {
    std::string request = "GET /status.txt HTTP/1.1\r\nX-Padding: " + std::string(20000, 'a');
    EXPECT_EQ(bodyOf(httpExchange(harness.port(), request)),
              "current=-1\nname=\nchannels=3\nmode=tuner\n");
}

TEST_F(LiveServerWithoutTuner, AClientThatLeavesEarlyGetsNothing) {
    int fd = test::connectToLoopback(harness.port());
    ASSERT_GE(fd, 0);
    ::send(fd, "GET /sta", 8, MSG_NOSIGNAL);
    ::close(fd);
    EXPECT_EQ(fetch("/status.txt"), "current=-1\nname=\nchannels=3\nmode=tuner\n");
}

TEST(ServerStartUp, EmptyListAndNoTunerDoesNotStart) {
    ServerHarness harness{ServerSetup{}};
    EXPECT_FALSE(harness.started());
}

TEST(ServerStartUp, UnreachableOnlineChannelsAreHidden) {
    int closedPort;
    { test::LoopbackListener gone; closedPort = gone.port(); }
    ServerHarness harness{ServerSetup{
        {tunerChannel("News 1", 474, 512)},
        {onlineChannel("Gone", "http://127.0.0.1:" + std::to_string(closedPort) + "/x")}, "", false}};
    ASSERT_TRUE(harness.started());
    EXPECT_EQ(harness.fetch("/channels.txt?iptv=1"), "0\tNews 1\t474\t0\tdvb\t\n");
}

// ---- demo mode ------------------------------------------------------------

std::string demoClip(int packets) {
    std::string clip;
    for (int i = 0; i < packets; ++i) clip += test::tsPacket(static_cast<std::uint16_t>(i), i);
    return clip;
}

TEST(DemoServer, EmptyListGetsTheDemoChannel) {
    ServerHarness harness{ServerSetup{{}, {}, demoClip(4), true}};
    ASSERT_TRUE(harness.started());
    EXPECT_EQ(harness.fetch("/status.txt"), "current=0\nname=Demo clip\nchannels=1\nmode=demo\n");
    EXPECT_EQ(harness.fetch("/channels.txt"), "0\tDemo clip\t0\t1\tdvb\t\n");
}

TEST(DemoServer, KeepsTheChannelListAndSwitchesWithoutTuning) {
    ServerHarness harness{
        ServerSetup{{tunerChannel("News 1", 474, 512), tunerChannel("News 2", 482, 600)}, {},
                    demoClip(4), true}};
    ASSERT_TRUE(harness.started());
    EXPECT_EQ(harness.fetch("/status.txt"), "current=0\nname=News 1\nchannels=2\nmode=demo\n");
    EXPECT_EQ(harness.fetch("/play?index=1"), "ok\n");
    EXPECT_EQ(harness.fetch("/status.txt"), "current=1\nname=News 2\nchannels=2\nmode=demo\n");
}

TEST(DemoServer, LoopsTheClipFromItsBeginning) {
    std::string clip = demoClip(30);
    ServerHarness harness{ServerSetup{{}, {}, clip, true}};
    int fd = test::connectToLoopback(harness.port());
    std::string request = getRequest("/stream.ts");
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string header =
        "HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nConnection: close\r\n"
        "Cache-Control: no-store\r\nAccept-Ranges: none\r\n\r\n";
    ASSERT_EQ(header.size(), 110u);
    std::string received = test::readExactly(fd, header.size() + 3 * clip.size() + 500);
    ::close(fd);
    EXPECT_EQ(received, header + clip + clip + clip + clip.substr(0, 500));
}

TEST(DemoServer, AnEmptyClipEndsTheStreamInsteadOfSpinning) {
    ServerHarness harness{ServerSetup{{}, {}, "", true}};
    ASSERT_TRUE(harness.started());
    std::string response = httpExchange(harness.port(), getRequest("/stream.ts"));
    EXPECT_EQ(bodyOf(response), "");
    EXPECT_EQ(response.substr(0, 15), "HTTP/1.1 200 OK");
}

TEST(DemoServer, MissingClipDoesNotStart) {
    test::TempDir dir;
    TvServer server(0, dir.file("none.tsv"), dir.file("missing.ts"));
    EXPECT_FALSE(server.startUp());
}

// ---- connection threads ---------------------------------------------------

TEST(ServerConnections, AConnectionThatGetsNoThreadIsDroppedAlone) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ServerHarness harness{ServerSetup{{}, {}, demoClip(1), true}};
        // Thread stacks this large cannot be mapped: every new thread fails.
        pthread_attr_t huge;
        pthread_attr_init(&huge);
        pthread_attr_setstacksize(&huge, std::size_t{1} << 46);
        pthread_setattr_default_np(&huge);
        bool dropped = httpExchange(harness.port(), getRequest("/status.txt"), 2000).empty();
        pthread_attr_t normal;
        pthread_attr_init(&normal);
        pthread_attr_setstacksize(&normal, std::size_t{8} << 20);
        pthread_setattr_default_np(&normal);
        bool served = harness.fetch("/status.txt") ==
                      "current=0\nname=Demo clip\nchannels=1\nmode=demo\n";
        ::_exit(dropped && served ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace vantiro
