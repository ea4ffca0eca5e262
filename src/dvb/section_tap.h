#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dvb/packet_consumer.h"
#include "dvb/section_assembler.h"
#include "dvb/ts_packet.h"

namespace vantiro {

// Collects the PSI/SI sections of some PIDs from the multiplex as it is relayed
// (the EIT on 0x12 for the programme guide, the NIT, the TDT) and hands each
// whole section to a callback. The callback runs on the source's thread: it must
// be quick and must not block (copy the section into a store or a queue), and it
// must not add or remove hub consumers.
class SectionTap : public PacketConsumer {
public:
    using Handler = std::function<void(std::uint16_t pid, SectionBytes section)>;

    // With `checkCrc` only long-form sections whose CRC32 checks out are handed
    // over (the TDT, a short-form section, needs it off).
    SectionTap(const std::vector<std::uint16_t>& pids, Handler handler, bool checkCrc = true);

    void onPackets(std::span<const std::uint8_t> packets) override;
    void onDiscontinuity() override;
    void onEnd() override;
    // Called once when the source ends (may be empty).
    void setEndHandler(std::function<void()> handler) { endHandler_ = std::move(handler); }

private:
    struct PidAssembler {
        std::uint16_t pid;
        SectionAssembler assembler;
    };

    Handler handler_;
    bool checkCrc_;
    std::array<std::int16_t, kTsPidCount> slot_;  // index into assemblers_, -1 = not tapped
    std::vector<PidAssembler> assemblers_;
    std::function<void()> endHandler_;
};

}  // namespace vantiro
