#pragma once
#include <atomic>
#include <string>
#include <thread>

namespace vantiro::test {

// A tiny HTTP/1.0 server on 127.0.0.1 (ephemeral port) that answers every GET
// with the same body, one connection at a time, on its own thread.
class HttpFileServer {
public:
    explicit HttpFileServer(std::string body, std::string contentType = "video/mp2t");
    ~HttpFileServer();
    HttpFileServer(const HttpFileServer&) = delete;
    HttpFileServer& operator=(const HttpFileServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path = "/stream.ts") const;
    int requestsServed() const { return served_.load(); }

private:
    void serve();
    void answer(int client);

    std::string body_;
    std::string contentType_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> running_{true};
    std::atomic<int> served_{0};
    std::thread thread_;
};

}  // namespace vantiro::test
