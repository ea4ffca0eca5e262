// libFuzzer target: the packet path of the relay. Arbitrary bytes, cut into
// reads of fuzzer-chosen sizes, go through the resynchronisation into whole
// packets, a service filter following a fuzzer-chosen program and a section
// tap. Every packet that leaves must be whole and start with 0x47, and every
// PAT the filter writes must carry exactly one program and a good CRC.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "dvb/crc32_mpeg.h"
#include "dvb/pat.h"
#include "dvb/section_tap.h"
#include "dvb/service_filter.h"
#include "dvb/ts_aligner.h"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void checkOutput(vantiro::PacketQueue& queue) {
    std::vector<std::uint8_t> block;
    while (queue.take(block, std::chrono::milliseconds(0)) == vantiro::PacketQueue::Status::Data) {
        check(block.size() % vantiro::kTsPacketSize == 0);
        for (std::size_t at = 0; at < block.size(); at += vantiro::kTsPacketSize) {
            const std::uint8_t* packet = block.data() + at;
            check(packet[0] == vantiro::kTsSyncByte);
            if (vantiro::tsPacketPid(packet) != 0) continue;
            // Only the filter's own PAT leaves on PID 0: pointer 0, one section.
            const std::uint8_t* section = packet + 5;
            std::size_t size = 3 + vantiro::readLength12(section + 1);
            check(size == 16);
            check(vantiro::crc32Mpeg(section, size) == 0);
            auto pat = vantiro::parsePat({section, size});
            check(pat && pat->programs.size() == 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    vantiro::ServiceSpec wanted;
    wanted.programNumber = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    wanted.pmtPid = static_cast<std::uint16_t>((data[2] & 0x1F) << 8 | data[3]);
    wanted.guessPids = {static_cast<std::uint16_t>(data[4] * 3), 0x1FFF};
    const std::size_t step = 1 + (data[5] & 0x7F) * 3;
    // With the top bit the rest is laid out as packets (a sync byte before every
    // 187 bytes), so that the fuzzer reaches the tables without finding the
    // framing first; without it the bytes go in raw, resynchronisation and all.
    const bool framed = (data[5] & 0x80) != 0;
    data += 6;
    size -= 6;
    std::vector<std::uint8_t> stream;
    if (framed) {
        for (std::size_t at = 0; at < size; at += vantiro::kTsPacketSize - 1) {
            stream.push_back(vantiro::kTsSyncByte);
            stream.insert(stream.end(), data + at, data + std::min(size, at + vantiro::kTsPacketSize - 1));
        }
        data = stream.data();
        size = stream.size();
    }

    auto queue = std::make_shared<vantiro::PacketQueue>(vantiro::PacketQueueLimits{1 << 16, 1 << 20});
    vantiro::ServiceFilter filter(wanted, queue);
    std::size_t sections = 0;
    vantiro::SectionTap tap({0x12, 0x00, wanted.pmtPid}, [&](std::uint16_t, vantiro::SectionBytes section) {
        check(section.size() >= 3 && section.size() <= vantiro::kMaxSectionBytes);
        ++sections;
    });
    vantiro::TsAligner aligner(8, [&](std::span<const std::uint8_t> packets) {
        check(packets.size() % vantiro::kTsPacketSize == 0);
        for (std::size_t at = 0; at < packets.size(); at += vantiro::kTsPacketSize) check(packets[at] == 0x47);
        filter.onPackets(packets);
        tap.onPackets(packets);
        checkOutput(*queue);
    });
    for (std::size_t at = 0; at < size; at += step) {
        std::size_t n = std::min(step, size - at);
        aligner.feed({data + at, n});
        if ((data[at] & 0x3F) == 0x3F) {  // now and then a gap, as after an overflow
            aligner.reset();
            filter.onDiscontinuity();
            tap.onDiscontinuity();
        }
    }
    filter.onEnd();
    checkOutput(*queue);
    (void)sections;
    return 0;
}
