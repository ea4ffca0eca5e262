#include "support/server_harness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "channels/channel_list.h"
#include "support/http_client.h"

namespace vantiro::test {

LoopbackListener::LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 16);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() { ::close(fd_); }

ServerHarness::ServerHarness(const ServerSetup& setup) {
    std::string listPath = dir_.file("channels.tsv");
    if (!setup.tunerChannels.empty()) saveChannelList(listPath, setup.tunerChannels);

    std::string playlist = dir_.file("online.m3u8");
    if (!setup.onlineChannels.empty()) {
        std::string text = "#EXTM3U\n";
        for (const Channel& ch : setup.onlineChannels)
            text += "#EXTINF:-1," + ch.name + "\n" + ch.url + "\n";
        writeFile(playlist, text);
    }
    ::setenv("VANTIRO_IPTV", playlist.c_str(), 1);  // missing file when there is no playlist

    std::string demoPath;
    if (!setup.demoClip.empty() || setup.writeDemoClip) {
        demoPath = dir_.file("clip.ts");
        writeFile(demoPath, setup.demoClip);
    }
    server_ = std::make_unique<TvServer>(0, listPath, demoPath);
    started_ = server_->startUp() && server_->openListener();
    if (started_) acceptor_ = std::thread([this] { server_->acceptConnections(); });
}

ServerHarness::~ServerHarness() {
    server_->stopServing();
    if (acceptor_.joinable()) acceptor_.join();
    ::unsetenv("VANTIRO_IPTV");
}

std::string ServerHarness::fetch(const std::string& target, const std::string& method) {
    return bodyOf(httpExchange(port(), getRequest(target, method)));
}

Channel tunerChannel(const std::string& name, unsigned megahertz, std::uint16_t videoPid) {
    Channel ch;
    ch.name = name;
    ch.frequency = megahertz * 1000000u;
    ch.serviceId = 1;
    ch.pmtPid = 256;
    ch.videoPid = videoPid;
    ch.audioPid = 257;
    ch.pcrPid = videoPid ? videoPid : 257;
    return ch;
}

Channel onlineChannel(const std::string& name, const std::string& url) {
    Channel ch;
    ch.name = name;
    ch.url = url;
    ch.deliverySystem = 0;
    return ch;
}

}  // namespace vantiro::test
