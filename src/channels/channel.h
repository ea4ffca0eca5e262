#pragma once
#include <cstdint>
#include <string>

namespace vantiro {

// One playable channel: a tuner service, or an online stream when `url` is set.
struct Channel {
    std::string name;
    std::uint32_t frequency = 0;     // multiplex centre frequency in Hz; 0 for online channels
    std::int32_t deliverySystem = 16;  // Linux DVB numbering: 16 = DVB-T2, 3 = DVB-T
    std::uint16_t serviceId = 0;
    std::uint16_t pmtPid = 0;
    std::uint16_t videoPid = 0;      // 0: radio service
    std::uint16_t audioPid = 0;
    std::uint16_t pcrPid = 0;
    std::string url;                 // non-empty: online channel
    bool isNew = false;              // display only, never stored

    bool isOnline() const { return !url.empty(); }
};

}  // namespace vantiro
