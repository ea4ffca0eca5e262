#include "support/http_file_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vantiro::test {

HttpFileServer::HttpFileServer(std::string body, std::string contentType)
    : body_(std::move(body)), contentType_(std::move(contentType)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 8) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("test http server: cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&HttpFileServer::serve, this);
}

HttpFileServer::~HttpFileServer() {
    running_ = false;
    thread_.join();
    ::close(listenFd_);
}

std::string HttpFileServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpFileServer::serve() {
    while (running_) {
        pollfd waiting{listenFd_, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0) continue;
        int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        answer(client);
        ::close(client);
    }
}

void HttpFileServer::answer(int client) {
    // Read the request head; its content does not matter.
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd readable{client, POLLIN, 0};
        if (::poll(&readable, 1, 2000) <= 0) return;
        ssize_t got = ::read(client, buffer, sizeof buffer);
        if (got <= 0) return;
        request.append(buffer, static_cast<size_t>(got));
    }
    std::string head = "HTTP/1.0 200 OK\r\nContent-Type: " + contentType_ +
                       "\r\nContent-Length: " + std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n";
    std::string reply = request.rfind("HEAD", 0) == 0 ? head : head + body_;
    size_t sent = 0;
    while (sent < reply.size() && running_) {
        ssize_t put = ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) break;
        sent += static_cast<size_t>(put);
    }
    ++served_;
}

}  // namespace vantiro::test
