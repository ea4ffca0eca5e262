#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dvb/psi_section.h"
#include "guide/dvb_time.h"

namespace vantiro {

inline constexpr std::uint16_t kEitPid = 0x0012;
inline constexpr std::uint8_t kEitPresentFollowingActual = 0x4E;
inline constexpr std::uint8_t kEitPresentFollowingOther = 0x4F;
inline constexpr std::uint8_t kEitScheduleActualFirst = 0x50;
inline constexpr std::uint8_t kEitScheduleActualLast = 0x5F;
inline constexpr std::uint8_t kEitScheduleOtherLast = 0x6F;

// A parental rating: the minimum age (rating + 3, for ratings 1 to 15) in a country.
struct ParentalRating {
    std::string country;  // ISO 3166 alpha-3 as broadcast, e.g. "THA"
    int minimumAge = 0;
};

// One event of an EIT, descriptors already decoded. Texts are UTF-8.
struct EitEvent {
    std::uint16_t eventId = 0;
    std::optional<UnixSeconds> start;       // empty: undefined or unreadable start
    std::optional<std::int32_t> duration;   // seconds; empty: undefined or unreadable
    std::uint8_t runningStatus = 0;         // 0 undefined, 1 not running ... 4 running
    std::string language;                   // ISO 639-2 of the short event, e.g. "tha"
    std::string title;                      // short event descriptor: event name
    std::string shortText;                  // short event descriptor: text
    std::string extendedText;               // extended event descriptors: items, then text
    std::vector<std::uint8_t> contentNibbles;  // content descriptor: level 1 << 4 | level 2
    std::optional<ParentalRating> rating;   // first parental rating with a minimum age

    // A start and a duration are known.
    bool timed() const { return start.has_value() && duration.has_value(); }
    UnixSeconds end() const { return start.value_or(0) + duration.value_or(0); }
};

// One EIT section: the sub-table it belongs to (table id, service, version), where it
// sits (section and segment numbers, last table id) and its events.
struct EitSection {
    std::uint8_t tableId = 0;
    std::uint16_t serviceId = 0;
    std::uint8_t version = 0;
    bool currentNext = true;
    std::uint8_t sectionNumber = 0;
    std::uint8_t lastSectionNumber = 0;
    std::uint16_t transportStreamId = 0;
    std::uint16_t originalNetworkId = 0;
    std::uint8_t segmentLastSectionNumber = 0;
    std::uint8_t lastTableId = 0;
    std::vector<EitEvent> events;

    bool presentFollowing() const { return tableId == kEitPresentFollowingActual || tableId == kEitPresentFollowingOther; }
    // The table describes the multiplex it arrives on (0x4E, 0x50-0x5F).
    bool actual() const {
        return tableId == kEitPresentFollowingActual ||
               (tableId >= kEitScheduleActualFirst && tableId <= kEitScheduleActualLast);
    }
};

// Reads an EIT section (table ids 0x4E to 0x6F). Empty when the bytes are not an EIT
// section or too short for its header; an event or descriptor cut short by the
// section's end is dropped, the events before it are kept. The CRC is not checked
// here (the demux filter or the relay's section tap does that).
std::optional<EitSection> parseEitSection(SectionBytes section);

}  // namespace vantiro
