#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vantiro::test {

using Bytes = std::vector<std::uint8_t>;

// Builds long-form PSI sections byte by byte for tests: header with the given table id,
// table id extension and section numbers, the body, and a correct CRC32.
Bytes makeSection(std::uint8_t tableId, std::uint16_t extension, const Bytes& body,
                  std::uint8_t sectionNumber = 0, std::uint8_t lastSectionNumber = 0);

struct PatProgram {
    std::uint16_t programNumber;
    std::uint16_t pmtPid;
};
Bytes makePat(const std::vector<PatProgram>& programs, std::uint16_t transportStreamId = 1);

struct PmtStream {
    std::uint8_t streamType;
    std::uint16_t pid;
    Bytes descriptors = {};
};
Bytes makePmt(std::uint16_t programNumber, std::uint16_t pcrPid, const std::vector<PmtStream>& streams,
              const Bytes& programInfo = {});

// A service descriptor (tag 0x48) with raw provider and name fields (selector included).
Bytes serviceDescriptor(const Bytes& provider, const Bytes& name, std::uint8_t serviceType = 0x01);

struct SdtEntry {
    std::uint16_t serviceId;
    Bytes descriptors;
};
Bytes makeSdt(const std::vector<SdtEntry>& services, std::uint8_t sectionNumber = 0,
              std::uint8_t lastSectionNumber = 0, std::uint16_t transportStreamId = 1);

Bytes bytesOf(const std::string& text);

}  // namespace vantiro::test
