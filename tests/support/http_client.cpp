#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/ts_packets.h"

namespace vantiro::test {

int connectToLoopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string httpExchange(int port, const std::string& request, int idleMs) {
    int fd = connectToLoopback(port);
    if (fd < 0) return "(no connection)";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string response = readToEnd(fd, idleMs);
    ::close(fd);
    return response;
}

std::string getRequest(const std::string& target, const std::string& method) {
    return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\n\r\n";
}

std::string bodyOf(const std::string& response) {
    std::size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::string textAnswer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) +
           "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body;
}

}  // namespace vantiro::test
