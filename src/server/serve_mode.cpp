#include "server/serve_mode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "channels/channel_list.h"
#include "online/m3u_playlist.h"
#include "online/playlist_sources.h"
#include "online/reachability_probe.h"
#include "server/tv_server.h"

namespace vantiro {
namespace {

constexpr const char* kDemoChannelName = "Demo clip";

}  // namespace

int runServe(int port, const std::string& channelListPath, const std::string& demoPath) {
    TvServer server(port, channelListPath, demoPath);
    return server.run();
}

bool TvServer::startUp() {
    std::string loadError;
    channels_ = loadChannelList(channelListPath_, &loadError);
    if (channels_.empty()) std::fprintf(stderr, "warning: %s\n", loadError.c_str());
    if (demoMode_) return startDemoMode();

    addReachableOnlineChannels();

    std::string tunerError;
    {
        std::lock_guard<std::mutex> guard(lock_);
        lastTunerOpen_ = std::chrono::steady_clock::now();
    }
    if (tuner_.open(kServerAdapter, &tunerError)) {
        std::printf("frontend: %s, %zu channels\n", tuner_.frontendName().c_str(), channels_.size());
        std::fflush(stdout);
    } else if (channels_.empty()) {
        std::fprintf(stderr, "cannot open tuner: %s\n", tunerError.c_str());
        return false;
    } else {
        std::fprintf(stderr, "tuner unavailable (%s); serving online channels only\n",
                     tunerError.c_str());
    }

    startReceptionWatch();
    if (!channels_.empty()) {
        std::string switchError;
        if (!switchChannel(0, &switchError))
            std::fprintf(stderr, "initial channel failed: %s\n", switchError.c_str());
    }
    return true;
}

void TvServer::addReachableOnlineChannels() {
    std::string path = findLocalPlaylist();
    if (path.empty()) return;
    std::vector<Channel> online = loadM3uFile(path);
    if (online.empty()) return;
    if (!probeReachable(online, kProbeTimeoutMs)) {
        std::fprintf(stderr, "IPTV source unreachable; online channels hidden\n");
        return;
    }
    std::printf("IPTV: %zu online channels from %s\n", online.size(), path.c_str());
    std::fflush(stdout);
    channels_.insert(channels_.end(), online.begin(), online.end());
}

bool TvServer::startDemoMode() {
    demoClipFd_ = ::open(demoClipPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (demoClipFd_ < 0) {
        std::fprintf(stderr, "cannot open demo clip %s: %s\n", demoClipPath_.c_str(),
                     std::strerror(errno));
        return false;
    }
    if (channels_.empty()) {
        Channel demo;
        demo.name = kDemoChannelName;
        channels_.push_back(demo);
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        current_ = 0;
    }
    std::printf("demo mode: streaming %s\n", demoClipPath_.c_str());
    std::fflush(stdout);
    return true;
}

}  // namespace vantiro
