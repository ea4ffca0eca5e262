#include "online/http_fetch.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::HttpTestServer;

constexpr const char* kServedPlaylist =
    "#EXTM3U\n#EXTINF:-1 tvg-logo=\"a.png\",News 24\nhttp://127.0.0.1:9/news\n"
    "#EXTINF:-1,Music\nhttp://127.0.0.1:9/music\n";

class HttpFetch : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<HttpTestServer>(HttpTestServer::Options{"", true}); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { ASSERT_TRUE(server_->started()) << server_->startError(); }

    static std::unique_ptr<HttpTestServer> server_;
};
std::unique_ptr<HttpTestServer> HttpFetch::server_;

// A loopback port that refuses: bound, never listening, held for the test.
class RefusingPort {
public:
    RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

TEST_F(HttpFetch, Status200GivesTheWholeBody) {
    std::string body, error = "stale";
    ASSERT_TRUE(fetchUrl(server_->httpUrl("/playlist.m3u8"), body, &error));
    EXPECT_EQ(body, kServedPlaylist);
    EXPECT_EQ(error, "");
}

TEST_F(HttpFetch, FollowsRedirectToTheFinalBody) {
    std::string body, error;
    ASSERT_TRUE(fetchUrl(server_->httpUrl("/redirect"), body, &error)) << error;
    EXPECT_EQ(body, kServedPlaylist);
}

TEST_F(HttpFetch, EmptyStatus200Succeeds) {
    std::string body = "stale", error = "stale";
    EXPECT_TRUE(fetchUrl(server_->httpUrl("/empty"), body, &error));
    EXPECT_EQ(body, "");
    EXPECT_EQ(error, "");
}

TEST_F(HttpFetch, OtherStatusCodesFailWithTheCode) {
    std::string body, error;
    EXPECT_FALSE(fetchUrl(server_->httpUrl("/missing"), body, &error));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_NE(body.find("not here"), std::string::npos);  // the error page arrived, but is no playlist

    EXPECT_FALSE(fetchUrl(server_->httpUrl("/nocontent"), body, &error));
    EXPECT_EQ(error, "HTTP 204");
    EXPECT_FALSE(fetchUrl(server_->httpUrl("/nocontent"), body));  // no error string wanted
}

TEST_F(HttpFetch, SendsItsUserAgentAndNoEncodingRequest) {
    std::string body;
    ASSERT_TRUE(fetchUrl(server_->httpUrl("/headers"), body));
    EXPECT_NE(body.find("User-Agent: Vantiro/1.0\n"), std::string::npos) << body;
    EXPECT_EQ(body.find("Accept-Encoding"), std::string::npos) << body;
}

TEST_F(HttpFetch, SelfSignedCertificateIsRejected) {
    std::string body, error;
    EXPECT_FALSE(fetchUrl(server_->httpsUrl("/playlist.m3u8"), body, &error));
    EXPECT_EQ(error, curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION));
    EXPECT_EQ(body, "");
}

TEST_F(HttpFetch, RefusedConnectionGivesLibcurlsTextAndEmptiesTheBody) {
    RefusingPort refusing;
    std::string body = "stale", error;
    EXPECT_FALSE(fetchUrl("http://127.0.0.1:" + std::to_string(refusing.port()) + "/x", body, &error));
    EXPECT_EQ(error, curl_easy_strerror(CURLE_COULDNT_CONNECT));
    EXPECT_EQ(body, "");
}

TEST(HttpFetchUrl, SchemeWithoutStatusCodeFailsWithCodeZero) {
    test::TempDir dir;
    test::writeFile(dir.file("list.m3u8"), "#EXTINF:-1,A\nhttp://a\n");
    std::string body, error;
    EXPECT_FALSE(fetchUrl("file://" + dir.file("list.m3u8"), body, &error));
    EXPECT_EQ(error, "HTTP 0");
}

TEST(HttpFetchUrl, MalformedUrlGivesLibcurlsText) {
    std::string body, error;
    EXPECT_FALSE(fetchUrl("", body, &error));
    EXPECT_EQ(error, curl_easy_strerror(CURLE_URL_MALFORMAT));
    EXPECT_FALSE(fetchUrl("nosuchscheme://127.0.0.1/", body, &error));
    EXPECT_EQ(error, curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL));
}

// The time limits take seconds; tests/online/http_fetch_slow_test.sh runs these.
class HttpFetchSlow : public HttpFetch {
protected:
    void SetUp() override {
        if (!std::getenv("VANTIRO_SLOW_TESTS")) GTEST_SKIP() << "set VANTIRO_SLOW_TESTS=1 (make test-slow)";
        HttpFetch::SetUp();
    }
    static double secondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

TEST_F(HttpFetchSlow, SilentServerTimesOutAfterEightSeconds) {
    std::string body, error;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetchUrl("http://127.0.0.1:" + std::to_string(server_->port("stall")) + "/", body, &error));
    double seconds = secondsSince(start);
    EXPECT_EQ(error, curl_easy_strerror(CURLE_OPERATION_TIMEDOUT));
    // Limits cannot fire early; the upper bound only catches a missing limit.
    EXPECT_GE(seconds, 7.9);
    EXPECT_LT(seconds, 30.0);
}

TEST_F(HttpFetchSlow, UnansweredConnectGivesUpAfterFourSeconds) {
    std::string body, error;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetchUrl("http://127.0.0.1:" + std::to_string(server_->port("noaccept")) + "/", body, &error));
    double seconds = secondsSince(start);
    EXPECT_EQ(error, curl_easy_strerror(CURLE_OPERATION_TIMEDOUT));
    EXPECT_GE(seconds, 3.9);
    EXPECT_LT(seconds, 7.5);  // the connect limit, not the whole-transfer limit, ended it
}

}  // namespace
}  // namespace vantiro
