#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "guide/dvb_time.h"
#include "support/psi_builder.h"

namespace vantiro::test {

// Where an EIT section sits in its sub-table.
struct EitHeader {
    std::uint8_t tableId = 0x4E;
    std::uint16_t serviceId = 1;
    std::uint8_t version = 0;
    std::uint8_t sectionNumber = 0;
    std::uint8_t lastSectionNumber = 0;
    std::uint8_t segmentLastSectionNumber = 0;
    std::uint8_t lastTableId = 0x4E;
    std::uint16_t transportStreamId = 1;
    std::uint16_t originalNetworkId = 0x2174;
};

// One event loop entry with the start and duration encoded as DVB does.
Bytes eitEvent(std::uint16_t eventId, UnixSeconds start, std::int32_t durationSeconds, const Bytes& descriptors,
               std::uint8_t runningStatus = 4);
// The same with raw five start bytes and three duration bytes (for garbage).
Bytes eitEventRaw(std::uint16_t eventId, const Bytes& startBytes, const Bytes& durationBytes, const Bytes& descriptors);

// A whole EIT section, CRC included.
Bytes makeEit(const EitHeader& header, const std::vector<Bytes>& events);

// Descriptors; texts are raw DVB text (selector included).
Bytes shortEventDescriptor(const std::string& language, const Bytes& name, const Bytes& text);
Bytes extendedEventDescriptor(std::uint8_t number, std::uint8_t last, const std::string& language,
                              const std::vector<std::pair<Bytes, Bytes>>& items, const Bytes& text);
Bytes contentDescriptor(const Bytes& nibbles);  // one user byte 0 after each
Bytes parentalRatingDescriptor(const std::string& country, std::uint8_t rating);

// Unix time of a UTC calendar date.
UnixSeconds utcTime(int year, int month, int day, int hour, int minute, int second = 0);

}  // namespace vantiro::test
