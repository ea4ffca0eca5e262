// libFuzzer target: the channel list loader must survive any file content.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "channels/channel_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/vantiro-fuzz-channels-" + std::to_string(getpid()) + ".tsv";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    std::string error;
    auto channels = vantiro::loadChannelList(path, &error);
    for (const auto& ch : channels)
        if (ch.frequency == 0 || !ch.url.empty()) __builtin_trap();
    return 0;
}
