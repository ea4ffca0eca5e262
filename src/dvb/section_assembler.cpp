#include "dvb/section_assembler.h"

#include "dvb/crc32_mpeg.h"
#include "dvb/ts_packet.h"

namespace vantiro {
namespace {

constexpr std::uint8_t kStuffing = 0xFF;
constexpr std::size_t kSectionHeaderBytes = 3;

}  // namespace

bool sectionCrcOk(SectionBytes section) {
    if (section.size() < kSectionHeaderBytes + kCrcBytes) return false;
    if ((section[1] & 0x80) == 0) return false;  // short form: no CRC
    return crc32Mpeg(section.data(), section.size()) == 0;
}

void SectionAssembler::reset() {
    buffer_.clear();
    collecting_ = false;
    lastCounter_ = -1;
}

void SectionAssembler::feed(const std::uint8_t* packet, const Handler& handler) {
    if (tsTransportError(packet)) return;
    std::size_t offset = tsPayloadOffset(packet);
    if (offset >= kTsPacketSize) return;

    int counter = tsContinuityCounter(packet);
    if (counter == lastCounter_) return;  // a repeated packet
    if (lastCounter_ >= 0 && counter != ((lastCounter_ + 1) & 0x0F)) {
        buffer_.clear();
        collecting_ = false;
    }
    lastCounter_ = counter;

    const std::uint8_t* payload = packet + offset;
    std::size_t size = kTsPacketSize - offset;
    if (!tsPayloadUnitStart(packet)) {
        if (collecting_) collect(payload, size, handler);
        return;
    }
    std::size_t pointer = payload[0];
    if (1 + pointer > size) {
        buffer_.clear();
        collecting_ = false;
        return;
    }
    if (collecting_) collect(payload + 1, pointer, handler);
    buffer_.clear();
    collecting_ = true;
    collect(payload + 1 + pointer, size - 1 - pointer, handler);
}

// Appends `size` bytes and hands over every section that is complete.
void SectionAssembler::collect(const std::uint8_t* data, std::size_t size, const Handler& handler) {
    buffer_.insert(buffer_.end(), data, data + size);
    std::size_t start = 0;
    while (collecting_) {
        std::size_t held = buffer_.size() - start;
        if (held == 0) {  // a section ended with the packet: the next one starts with a pointer
            collecting_ = false;
            break;
        }
        if (buffer_[start] == kStuffing) {  // the rest of the packet is stuffing
            collecting_ = false;
            break;
        }
        if (held < kSectionHeaderBytes) break;
        std::size_t length = kSectionHeaderBytes + readLength12(buffer_.data() + start + 1);
        if (length > kMaxSectionBytes) {
            collecting_ = false;
            break;
        }
        if (held < length) break;
        handler(SectionBytes(buffer_.data() + start, length));
        start += length;
    }
    if (!collecting_) {
        buffer_.clear();
    } else if (start > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start));
    }
}

}  // namespace vantiro
