#include "support/psi_builder.h"

#include "dvb/crc32_mpeg.h"

namespace vantiro::test {
namespace {

void put16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

}  // namespace

Bytes makeSection(std::uint8_t tableId, std::uint16_t extension, const Bytes& body,
                  std::uint8_t sectionNumber, std::uint8_t lastSectionNumber) {
    Bytes s{tableId};
    std::size_t sectionLength = 5 + body.size() + 4;
    put16(s, static_cast<std::uint16_t>(0xB000 | (sectionLength & 0x0FFF)));
    put16(s, extension);
    s.push_back(0xC1);  // version 0, current
    s.push_back(sectionNumber);
    s.push_back(lastSectionNumber);
    append(s, body);
    std::uint32_t crc = crc32Mpeg(s.data(), s.size());
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<std::uint8_t>(crc >> shift));
    return s;
}

Bytes makePat(const std::vector<PatProgram>& programs, std::uint16_t transportStreamId) {
    Bytes body;
    for (const auto& p : programs) {
        put16(body, p.programNumber);
        put16(body, static_cast<std::uint16_t>(0xE000 | p.pmtPid));
    }
    return makeSection(0x00, transportStreamId, body);
}

Bytes makePmt(std::uint16_t programNumber, std::uint16_t pcrPid, const std::vector<PmtStream>& streams,
              const Bytes& programInfo) {
    Bytes body;
    put16(body, static_cast<std::uint16_t>(0xE000 | pcrPid));
    put16(body, static_cast<std::uint16_t>(0xF000 | programInfo.size()));
    append(body, programInfo);
    for (const auto& s : streams) {
        body.push_back(s.streamType);
        put16(body, static_cast<std::uint16_t>(0xE000 | s.pid));
        put16(body, static_cast<std::uint16_t>(0xF000 | s.descriptors.size()));
        append(body, s.descriptors);
    }
    return makeSection(0x02, programNumber, body);
}

Bytes serviceDescriptor(const Bytes& provider, const Bytes& name, std::uint8_t serviceType) {
    Bytes d{0x48, static_cast<std::uint8_t>(3 + provider.size() + name.size()), serviceType,
            static_cast<std::uint8_t>(provider.size())};
    append(d, provider);
    d.push_back(static_cast<std::uint8_t>(name.size()));
    append(d, name);
    return d;
}

Bytes makeSdt(const std::vector<SdtEntry>& services, std::uint8_t sectionNumber,
              std::uint8_t lastSectionNumber, std::uint16_t transportStreamId) {
    Bytes body;
    put16(body, 1);  // original network id
    body.push_back(0xFF);
    for (const auto& s : services) {
        put16(body, s.serviceId);
        body.push_back(0xFC);  // no EIT flags
        put16(body, static_cast<std::uint16_t>(0x8000 | s.descriptors.size()));  // running
        append(body, s.descriptors);
    }
    return makeSection(0x42, transportStreamId, body, sectionNumber, lastSectionNumber);
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace vantiro::test
