#include "guide/eit.h"

#include <algorithm>

#include "guide/event_descriptors.h"

namespace vantiro {
namespace {

constexpr std::size_t kHeaderBytes = 14;
constexpr std::size_t kEventHeaderBytes = 12;
constexpr std::uint8_t kFirstEitTableId = kEitPresentFollowingActual;
constexpr std::uint8_t kLastEitTableId = kEitScheduleOtherLast;
constexpr std::uint8_t kSectionSyntaxBit = 0x80;

EitEvent readEvent(const std::uint8_t* p, std::size_t descriptorsLength) {
    EitEvent event;
    event.eventId = readBe16(p);
    event.start = decodeMjdUtc(p + 2);
    event.duration = decodeBcdDuration(p + 7);
    event.runningStatus = p[10] >> 5;
    decodeEventDescriptors(p + kEventHeaderBytes, descriptorsLength, event);
    return event;
}

}  // namespace

std::optional<EitSection> parseEitSection(SectionBytes section) {
    if (section.size() < kHeaderBytes) return std::nullopt;
    const std::uint8_t* p = section.data();
    if (p[0] < kFirstEitTableId || p[0] > kLastEitTableId || !(p[1] & kSectionSyntaxBit)) return std::nullopt;
    std::size_t size = sectionSize(section);
    if (size < kHeaderBytes + kCrcBytes) return std::nullopt;

    EitSection eit;
    eit.tableId = p[0];
    eit.serviceId = readBe16(p + 3);
    eit.version = (p[5] >> 1) & 0x1F;
    eit.currentNext = p[5] & 0x01;
    eit.sectionNumber = p[6];
    eit.lastSectionNumber = p[7];
    eit.transportStreamId = readBe16(p + 8);
    eit.originalNetworkId = readBe16(p + 10);
    eit.segmentLastSectionNumber = p[12];
    eit.lastTableId = p[13];

    const std::size_t end = size - kCrcBytes;
    std::size_t pos = kHeaderBytes;
    while (pos + kEventHeaderBytes <= end) {
        std::size_t descriptorsLength = readLength12(p + pos + 10);
        if (pos + kEventHeaderBytes + descriptorsLength > end) break;  // cut short: dropped
        eit.events.push_back(readEvent(p + pos, descriptorsLength));
        pos += kEventHeaderBytes + descriptorsLength;
    }
    return eit;
}

}  // namespace vantiro
