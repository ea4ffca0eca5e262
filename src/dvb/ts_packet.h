#pragma once
#include <cstddef>
#include <cstdint>

namespace vantiro {

// Size of one MPEG transport stream packet.
inline constexpr std::size_t kTsPacketSize = 188;
inline constexpr std::uint8_t kTsSyncByte = 0x47;
// PIDs are 13 bits wide.
inline constexpr std::size_t kTsPidCount = 8192;
inline constexpr std::uint16_t kTsPidMask = 0x1FFF;
inline constexpr std::uint16_t kTsNullPid = 0x1FFF;

inline std::uint16_t tsPacketPid(const std::uint8_t* packet) {
    return static_cast<std::uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
}
inline bool tsTransportError(const std::uint8_t* packet) { return (packet[1] & 0x80) != 0; }
inline bool tsPayloadUnitStart(const std::uint8_t* packet) { return (packet[1] & 0x40) != 0; }
inline bool tsHasPayload(const std::uint8_t* packet) { return (packet[3] & 0x10) != 0; }
inline std::uint8_t tsContinuityCounter(const std::uint8_t* packet) { return packet[3] & 0x0F; }

// Offset of the payload inside the packet; kTsPacketSize when the packet carries
// none or its adaptation field claims more room than there is.
inline std::size_t tsPayloadOffset(const std::uint8_t* packet) {
    if (!tsHasPayload(packet)) return kTsPacketSize;
    std::size_t offset = 4;
    if (packet[3] & 0x20) offset += 1 + static_cast<std::size_t>(packet[4]);
    return offset < kTsPacketSize ? offset : kTsPacketSize;
}

// The 33-bit base (90 kHz) of the PCR the packet's adaptation field carries;
// false when it carries none.
inline bool tsPcrBase(const std::uint8_t* packet, std::uint64_t& base) {
    if (!(packet[3] & 0x20) || packet[4] < 7 || !(packet[5] & 0x10)) return false;
    base = (static_cast<std::uint64_t>(packet[6]) << 25) | (static_cast<std::uint64_t>(packet[7]) << 17) |
           (static_cast<std::uint64_t>(packet[8]) << 9) | (static_cast<std::uint64_t>(packet[9]) << 1) |
           (packet[10] >> 7);
    return true;
}

}  // namespace vantiro
