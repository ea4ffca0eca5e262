#pragma once
#include <sys/types.h>

#include <map>
#include <string>

namespace vantiro::test {

// The loopback peer of tests/support/http_test_server.py, run as a child
// process for the lifetime of the object. Routes: /playlist.m3u8, /empty,
// /redirect, /missing, /nocontent, /headers and /files/NAME (from fileRoot).
class HttpTestServer {
public:
    struct Options {
        std::string fileRoot;  // served under /files/
        bool tls = false;      // also an HTTPS port with a self-signed certificate
    };

    explicit HttpTestServer(const Options& options);
    HttpTestServer() : HttpTestServer(Options{}) {}
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool started() const { return !ports_.empty(); }
    const std::string& startError() const { return startError_; }

    // "http", "https", "stall" (accepts, never answers), "noaccept" (connects time out).
    int port(const std::string& name) const;
    std::string httpUrl(const std::string& path) const;
    std::string httpsUrl(const std::string& path) const;

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;  // closing it tells the server to quit
    std::map<std::string, int> ports_;
    std::string startError_;
};

}  // namespace vantiro::test
