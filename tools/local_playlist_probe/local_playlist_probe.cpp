// local_playlist_probe: prints the local playlist that serve mode and the
// windowed fallback would take (VANTIRO_IPTV, then the built-in names in the
// working directory and around this program's directory), its entry count and
// whether one of its stream hosts answers:
//     path=PATH
//     channels=N
//     reachable=0|1
// With --no-probe the hosts are not contacted (reachable=0).
#include <cstdio>
#include <cstring>

#include "online/m3u_playlist.h"
#include "online/online_channels.h"
#include "online/playlist_sources.h"

int main(int argc, char** argv) {
    bool probe = !(argc > 1 && std::strcmp(argv[1], "--no-probe") == 0);
    vantiro::LocalPlaylist local;
    if (probe) {
        local = vantiro::loadLocalPlaylist();
    } else {
        local.path = vantiro::findLocalPlaylist();
        if (!local.path.empty()) local.channels = vantiro::loadM3uFile(local.path);
    }
    std::printf("path=%s\nchannels=%zu\nreachable=%d\n", local.path.c_str(), local.channels.size(),
                local.reachable ? 1 : 0);
    return 0;
}
