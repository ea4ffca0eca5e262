#include "dvb/pat_writer.h"

#include "dvb/crc32_mpeg.h"

namespace vantiro {
namespace {

// Bytes after section_length: transport stream id (2), version (1), section
// numbers (2), one program entry (4), CRC (4).
constexpr std::uint8_t kSectionLength = 13;
constexpr std::size_t kSectionStart = 5;  // after the header and the pointer field

}  // namespace

std::array<std::uint8_t, kTsPacketSize> singleProgramPatPacket(const SingleProgramPat& pat,
                                                               std::uint8_t continuityCounter) {
    std::array<std::uint8_t, kTsPacketSize> packet;
    packet.fill(0xFF);
    packet[0] = kTsSyncByte;
    packet[1] = 0x40;  // payload unit start, PID 0
    packet[2] = 0x00;
    packet[3] = static_cast<std::uint8_t>(0x10 | (continuityCounter & 0x0F));  // payload only
    packet[4] = 0x00;                                                           // pointer field

    std::uint8_t* s = packet.data() + kSectionStart;
    s[0] = 0x00;  // table id
    s[1] = 0xB0;  // section syntax, reserved bits, length high bits 0
    s[2] = kSectionLength;
    s[3] = static_cast<std::uint8_t>(pat.transportStreamId >> 8);
    s[4] = static_cast<std::uint8_t>(pat.transportStreamId);
    s[5] = static_cast<std::uint8_t>(0xC1 | ((pat.version & 0x1F) << 1));  // current
    s[6] = 0x00;  // section number
    s[7] = 0x00;  // last section number
    s[8] = static_cast<std::uint8_t>(pat.programNumber >> 8);
    s[9] = static_cast<std::uint8_t>(pat.programNumber);
    s[10] = static_cast<std::uint8_t>(0xE0 | ((pat.pmtPid >> 8) & 0x1F));
    s[11] = static_cast<std::uint8_t>(pat.pmtPid);
    std::uint32_t crc = crc32Mpeg(s, 12);
    s[12] = static_cast<std::uint8_t>(crc >> 24);
    s[13] = static_cast<std::uint8_t>(crc >> 16);
    s[14] = static_cast<std::uint8_t>(crc >> 8);
    s[15] = static_cast<std::uint8_t>(crc);
    return packet;
}

}  // namespace vantiro
