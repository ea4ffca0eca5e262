#include "online/online_channels.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "support/http_test_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::HttpTestServer;
using test::ScopedEnv;
using test::ScopedWorkingDir;
using test::TempDir;
using test::writeFile;
using Strings = std::vector<std::string>;

// A loopback port that accepts connections, for playlists that must probe as reachable.
class AcceptingPort {
public:
    AcceptingPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        ::listen(fd_, 16);
        port_ = ntohs(address.sin_port);
    }
    ~AcceptingPort() { ::close(fd_); }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    int fd_;
    int port_ = 0;
};

Strings names(const std::vector<Channel>& channels) {
    Strings result;
    for (const Channel& channel : channels) result.push_back(channel.name);
    return result;
}

std::string entry(const std::string& name, const std::string& url) {
    return "#EXTINF:-1," + name + "\n" + url + "\n";
}

// Every case runs in an empty working directory with the playlist variables
// cleared, against a loopback server that plays the online service.
class LoadOnlineChannels : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        files_ = std::make_unique<TempDir>();
        server_ = std::make_unique<HttpTestServer>(HttpTestServer::Options{files_->path().string(), false});
    }
    static void TearDownTestSuite() {
        server_.reset();
        files_.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(server_->started()) << server_->startError();
        for (const char* name : {"tv.m3u8", "radio.m3u8"})
            std::filesystem::remove(files_->file(name));
        service_.host = "service.test";
        service_.tvPlaylistUrl = served("tv.m3u8");
        service_.radioPlaylistUrl = served("radio.m3u8");
    }

    std::string served(const std::string& name) const { return server_->httpUrl("/files/" + name); }
    void serve(const std::string& name, const std::string& text) const { writeFile(files_->file(name), text); }

    OnlineChannels load(std::string* stderrText = nullptr) {
        ::testing::internal::CaptureStderr();
        OnlineChannels result = loadOnlineChannels(service_);
        std::string printed = ::testing::internal::GetCapturedStderr();
        if (stderrText) *stderrText = printed;
        return result;
    }

    static std::unique_ptr<TempDir> files_;
    static std::unique_ptr<HttpTestServer> server_;
    OnlineService service_;
    TempDir cwdDir_;
    ScopedWorkingDir cwd_{cwdDir_.path().string()};
    ScopedEnv tvVariable_{"VANTIRO_PLAYLIST_URL", nullptr};
    ScopedEnv radioVariable_{"VANTIRO_RADIO_URL", nullptr};
    ScopedEnv iptvVariable_{"VANTIRO_IPTV", nullptr};
};
std::unique_ptr<TempDir> LoadOnlineChannels::files_;
std::unique_ptr<HttpTestServer> LoadOnlineChannels::server_;

TEST_F(LoadOnlineChannels, TvThenRadioFromTheServiceWithItsHostAsLabel) {
    serve("tv.m3u8", entry("News", "http://s/news") + entry("Both", "http://s/both"));
    serve("radio.m3u8", entry("Jazz", "http://s/jazz") + entry("Both radio", "http://s/both") +
                            entry("Jazz again", "http://s/jazz"));
    std::string printed;
    OnlineChannels result = load(&printed);
    EXPECT_EQ(names(result.channels), (Strings{"News", "Both", "Jazz"}));
    EXPECT_EQ(result.radioUrls, (Strings{"http://s/jazz", "http://s/both", "http://s/jazz"}));
    EXPECT_EQ(result.tvPlaylistUrl, service_.tvPlaylistUrl);
    EXPECT_TRUE(result.available);
    EXPECT_EQ(result.sourceLabel, "service.test");
    EXPECT_EQ(printed, "");
}

TEST_F(LoadOnlineChannels, VariablesOverrideAndEmptyCountsAsUnset) {
    serve("tv.m3u8", entry("Default TV", "http://s/tv"));
    serve("other.m3u8", entry("Other TV", "http://s/other"));
    serve("radio.m3u8", entry("Default radio", "http://s/radio"));
    {
        ScopedEnv tv("VANTIRO_PLAYLIST_URL", ""), radio("VANTIRO_RADIO_URL", "");
        OnlineChannels result = load();
        EXPECT_EQ(names(result.channels), (Strings{"Default TV", "Default radio"}));
        EXPECT_EQ(result.tvPlaylistUrl, service_.tvPlaylistUrl);
    }
    ScopedEnv tv("VANTIRO_PLAYLIST_URL", served("other.m3u8").c_str());
    ScopedEnv radio("VANTIRO_RADIO_URL", served("other.m3u8").c_str());
    OnlineChannels result = load();
    EXPECT_EQ(names(result.channels), Strings{"Other TV"});
    EXPECT_EQ(result.tvPlaylistUrl, served("other.m3u8"));
    EXPECT_TRUE(result.radioUrls.empty());  // radio equal to TV is not fetched
}

TEST_F(LoadOnlineChannels, EmptyRadioUrlIsNotFetched) {
    serve("tv.m3u8", entry("TV", "http://s/tv"));
    service_.radioPlaylistUrl = "";
    std::string printed;
    OnlineChannels result = load(&printed);
    EXPECT_EQ(names(result.channels), Strings{"TV"});
    EXPECT_TRUE(result.radioUrls.empty());
    EXPECT_EQ(printed, "");
}

TEST_F(LoadOnlineChannels, FailedTvDownloadStillTakesRadioWithoutLocalFallback) {
    AcceptingPort streams;
    serve("radio.m3u8", entry("Jazz", "http://s/jazz"));
    writeFile(cwdDir_.file("online-channels.m3u8"), entry("Local", streams.url("/local")));
    std::string printed;
    OnlineChannels result = load(&printed);
    EXPECT_EQ(names(result.channels), Strings{"Jazz"});
    EXPECT_EQ(result.radioUrls, Strings{"http://s/jazz"});
    EXPECT_TRUE(result.available);
    EXPECT_EQ(result.sourceLabel, "service.test");
    EXPECT_EQ(printed, "tv playlist: HTTP 404\n");
}

TEST_F(LoadOnlineChannels, BothDownloadsFailingFallBackToReachableLocalPlaylist) {
    AcceptingPort streams;
    writeFile(cwdDir_.file("mine.m3u"), entry("Local A", streams.url("/a")) + entry("Local B", streams.url("/b")));
    ScopedEnv iptv("VANTIRO_IPTV", "mine.m3u");
    std::string printed;
    OnlineChannels result = load(&printed);
    EXPECT_EQ(names(result.channels), (Strings{"Local A", "Local B"}));
    EXPECT_TRUE(result.radioUrls.empty());
    EXPECT_TRUE(result.available);
    EXPECT_EQ(result.sourceLabel, "local playlist");
    EXPECT_EQ(printed, "tv playlist: HTTP 404\nradio playlist: HTTP 404\n");
}

TEST_F(LoadOnlineChannels, EmptyDownloadsAlsoFallBackAndMissingVariableFileFallsThrough) {
    AcceptingPort streams;
    serve("tv.m3u8", "#EXTM3U\n");
    serve("radio.m3u8", "");
    writeFile(cwdDir_.file("vorudiv.m3u8"), entry("Builtin", streams.url("/x")));
    ScopedEnv iptv("VANTIRO_IPTV", "absent.m3u");
    std::string printed;
    OnlineChannels result = load(&printed);
    EXPECT_EQ(names(result.channels), Strings{"Builtin"});
    EXPECT_EQ(result.sourceLabel, "local playlist");
    EXPECT_EQ(printed, "");
}

TEST_F(LoadOnlineChannels, UnreachableOrUnusableLocalPlaylistIsDroppedSilently) {
    writeFile(cwdDir_.file("rtmp.m3u"), entry("Rtmp", "rtmp://127.0.0.1/live") + entry("Udp", "udp://@239.1.1.1:1234"));
    writeFile(cwdDir_.file("empty.m3u"), "#EXTM3U\n");
    for (const char* path : {"rtmp.m3u", "empty.m3u"}) {
        ScopedEnv iptv("VANTIRO_IPTV", path);
        std::string printed;
        OnlineChannels result = load(&printed);
        EXPECT_TRUE(result.channels.empty()) << path;
        EXPECT_FALSE(result.available) << path;
        EXPECT_EQ(result.sourceLabel, "online") << path;
        EXPECT_EQ(printed, "tv playlist: HTTP 404\nradio playlist: HTTP 404\n");
    }
}

TEST(LoadLocalPlaylist, ReportsPathChannelsAndReachability) {
    TempDir dir;
    ScopedWorkingDir cwd(dir.path().string());
    AcceptingPort streams;
    writeFile(dir.file("good.m3u"), entry("A", streams.url("/a")));
    writeFile(dir.file("bad.m3u"), entry("B", "http://bad..name/b"));
    {
        ScopedEnv iptv("VANTIRO_IPTV", "good.m3u");
        LocalPlaylist local = loadLocalPlaylist();
        EXPECT_EQ(local.path, "good.m3u");
        EXPECT_EQ(names(local.channels), Strings{"A"});
        EXPECT_TRUE(local.reachable);
    }
    {
        ScopedEnv iptv("VANTIRO_IPTV", "bad.m3u");
        LocalPlaylist local = loadLocalPlaylist();
        EXPECT_EQ(local.path, "bad.m3u");
        EXPECT_EQ(local.channels.size(), 1u);
        EXPECT_FALSE(local.reachable);
    }
}

TEST(DownloadPlaylist, ParsesOrReportsTheDownloadError) {
    TempDir files;
    writeFile(files.file("list.m3u8"), entry("A", "http://s/a"));
    HttpTestServer server({files.path().string(), false});
    ASSERT_TRUE(server.started()) << server.startError();
    std::string error = "stale";
    EXPECT_EQ(names(downloadPlaylist(server.httpUrl("/files/list.m3u8"), &error)), Strings{"A"});
    EXPECT_EQ(error, "");
    EXPECT_TRUE(downloadPlaylist(server.httpUrl("/files/none.m3u8"), &error).empty());
    EXPECT_EQ(error, "HTTP 404");
}

}  // namespace
}  // namespace vantiro
