#pragma once
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channels/channel.h"
#include "server/tv_server.h"
#include "support/temp_dir.h"

namespace vantiro::test {

// A TCP listener on 127.0.0.1 that accepts and holds connections: a reachable
// "stream host" for online channels.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = -1;
};

struct ServerSetup {
    std::vector<Channel> tunerChannels;   // written to the channel list file
    std::vector<Channel> onlineChannels;  // written to a local playlist (VANTIRO_IPTV)
    std::string demoClip;                 // bytes of a demo clip; empty: live mode
    bool writeDemoClip = false;           // write `demoClip` even when empty
};

// A TvServer started in this process on an ephemeral port, accepting on its
// own thread; stopped and joined on destruction.
class ServerHarness {
public:
    explicit ServerHarness(const ServerSetup& setup);
    ~ServerHarness();
    ServerHarness(const ServerHarness&) = delete;
    ServerHarness& operator=(const ServerHarness&) = delete;

    TvServer& server() { return *server_; }
    int port() const { return server_->boundPort(); }
    bool started() const { return started_; }
    // GET (or `method`) of `target`; the body of the answer.
    std::string fetch(const std::string& target, const std::string& method = "GET");

private:
    TempDir dir_;
    std::unique_ptr<TvServer> server_;
    std::thread acceptor_;
    bool started_ = false;
};

// Tuner channels as a scan would find them.
Channel tunerChannel(const std::string& name, unsigned megahertz, std::uint16_t videoPid);
Channel onlineChannel(const std::string& name, const std::string& url);

}  // namespace vantiro::test
