#pragma once
// The standard band's services (make-band) as a scan saves them, for the tests
// and tools that play them without scanning first: Alpha TV, Beta TV and Radio
// Gamma on 474 MHz (DVB-T2), Delta TV on 522 MHz (DVB-T).
#include <cstdint>
#include <string>
#include <vector>

#include "channels/channel.h"

namespace vantiro::dvbsim {

inline Channel standardBandService(const std::string& name, std::uint32_t frequency, std::int32_t system,
                                   std::uint16_t pmt, std::uint16_t video, std::uint16_t audio) {
    Channel channel;
    channel.name = name;
    channel.frequency = frequency;
    channel.deliverySystem = system;
    channel.pmtPid = pmt;
    channel.videoPid = video;
    channel.audioPid = audio;
    channel.pcrPid = video ? video : audio;
    return channel;
}

inline std::vector<Channel> standardBandChannels() {
    return {standardBandService("Alpha TV", 474000000, 16, 0x1000, 0x100, 0x101),
            standardBandService("Beta TV", 474000000, 16, 0x1001, 0x102, 0x103),
            standardBandService("Radio Gamma", 474000000, 16, 0x1002, 0, 0x104),
            standardBandService("Delta TV", 522000000, 3, 0x1000, 0x100, 0x101)};
}

}  // namespace vantiro::dvbsim
