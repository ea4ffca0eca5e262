#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/psi_builder.h"

namespace vantiro::test {

// The transport packets carrying `section` on `pid` (pointer field 0, stuffing
// after the end), continuity counters from `counter` on; `counter` is advanced.
std::string sectionPackets(std::uint16_t pid, const Bytes& section, std::uint8_t& counter);

// `section` with another version number, CRC recomputed.
Bytes withVersion(Bytes section, std::uint8_t version);

// A payload-only packet of `pid` with the given counter, its payload filled with `tag`.
std::string countedPacket(std::uint16_t pid, std::uint8_t counter, std::uint8_t tag = 0);

// The sections found on `pid` in a transport stream (pointer fields honoured,
// one or more sections per packet, sections across packets).
std::vector<Bytes> sectionsOn(const std::string& stream, std::uint16_t pid);

// What ffprobe finds in a transport stream file: "programs=N", then
// " type,0xPID" for every stream of a program, sorted.
std::string probeStreams(const std::string& path);

}  // namespace vantiro::test
