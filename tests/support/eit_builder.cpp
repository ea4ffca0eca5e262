#include "support/eit_builder.h"

#include <ctime>

#include "dvb/crc32_mpeg.h"

namespace vantiro::test {
namespace {

void put16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes withHeader(std::uint8_t tag, const Bytes& payload) {
    Bytes out{tag, static_cast<std::uint8_t>(payload.size())};
    append(out, payload);
    return out;
}

Bytes code(const std::string& three) { return Bytes(three.begin(), three.end()); }

}  // namespace

Bytes eitEventRaw(std::uint16_t eventId, const Bytes& startBytes, const Bytes& durationBytes, const Bytes& descriptors) {
    Bytes out;
    put16(out, eventId);
    append(out, startBytes);
    append(out, durationBytes);
    put16(out, static_cast<std::uint16_t>(4 << 13 | (descriptors.size() & 0x0FFF)));
    append(out, descriptors);
    return out;
}

Bytes eitEvent(std::uint16_t eventId, UnixSeconds start, std::int32_t durationSeconds, const Bytes& descriptors,
               std::uint8_t runningStatus) {
    Bytes startBytes(5);
    Bytes durationBytes(3);
    encodeMjdUtc(start, startBytes.data());
    encodeBcdDuration(durationSeconds, durationBytes.data());
    Bytes out = eitEventRaw(eventId, startBytes, durationBytes, descriptors);
    out[10] = static_cast<std::uint8_t>((out[10] & 0x1F) | runningStatus << 5);
    return out;
}

Bytes makeEit(const EitHeader& h, const std::vector<Bytes>& events) {
    Bytes body;
    for (const Bytes& event : events) append(body, event);
    Bytes s{h.tableId};
    put16(s, static_cast<std::uint16_t>(0xF000 | ((11 + body.size() + 4) & 0x0FFF)));
    put16(s, h.serviceId);
    s.push_back(static_cast<std::uint8_t>(0xC1 | (h.version & 0x1F) << 1));
    s.push_back(h.sectionNumber);
    s.push_back(h.lastSectionNumber);
    put16(s, h.transportStreamId);
    put16(s, h.originalNetworkId);
    s.push_back(h.segmentLastSectionNumber);
    s.push_back(h.lastTableId);
    append(s, body);
    std::uint32_t crc = crc32Mpeg(s.data(), s.size());
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<std::uint8_t>(crc >> shift));
    return s;
}

Bytes shortEventDescriptor(const std::string& language, const Bytes& name, const Bytes& text) {
    Bytes payload = code(language);
    payload.push_back(static_cast<std::uint8_t>(name.size()));
    append(payload, name);
    payload.push_back(static_cast<std::uint8_t>(text.size()));
    append(payload, text);
    return withHeader(0x4D, payload);
}

Bytes extendedEventDescriptor(std::uint8_t number, std::uint8_t last, const std::string& language,
                              const std::vector<std::pair<Bytes, Bytes>>& items, const Bytes& text) {
    Bytes itemBytes;
    for (const auto& [description, item] : items) {
        itemBytes.push_back(static_cast<std::uint8_t>(description.size()));
        append(itemBytes, description);
        itemBytes.push_back(static_cast<std::uint8_t>(item.size()));
        append(itemBytes, item);
    }
    Bytes payload{static_cast<std::uint8_t>(number << 4 | (last & 0x0F))};
    append(payload, code(language));
    payload.push_back(static_cast<std::uint8_t>(itemBytes.size()));
    append(payload, itemBytes);
    payload.push_back(static_cast<std::uint8_t>(text.size()));
    append(payload, text);
    return withHeader(0x4E, payload);
}

Bytes contentDescriptor(const Bytes& nibbles) {
    Bytes payload;
    for (std::uint8_t n : nibbles) {
        payload.push_back(n);
        payload.push_back(0);
    }
    return withHeader(0x54, payload);
}

Bytes parentalRatingDescriptor(const std::string& country, std::uint8_t rating) {
    Bytes payload = code(country);
    payload.push_back(rating);
    return withHeader(0x55, payload);
}

UnixSeconds utcTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    return static_cast<UnixSeconds>(::timegm(&parts));
}

}  // namespace vantiro::test
