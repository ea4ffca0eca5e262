#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "dvb/packet_consumer.h"
#include "dvb/packet_queue.h"
#include "dvb/ts_packet.h"

namespace vantiro {

// Passes the packets of a fixed PID set (and always the PAT) unchanged into a
// queue: the plain PID relay, and with `allPids` the whole multiplex.
class PidFilter : public PacketConsumer {
public:
    // PIDs are taken modulo 8192.
    PidFilter(const std::vector<std::uint16_t>& pids, std::shared_ptr<PacketQueue> output);
    // Every packet of the multiplex.
    static std::shared_ptr<PidFilter> allPids(std::shared_ptr<PacketQueue> output);

    void onPackets(std::span<const std::uint8_t> packets) override;
    void onEnd() override { output_->finish(); }

private:
    std::shared_ptr<PacketQueue> output_;
    std::array<bool, kTsPidCount> pass_{};
    bool all_ = false;
    std::vector<std::uint8_t> scratch_;
};

}  // namespace vantiro
