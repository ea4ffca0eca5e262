#include "guide/section_assembler.h"

#include <algorithm>

#include "dvb/crc32_mpeg.h"

namespace vantiro {
namespace {

constexpr std::size_t kPacketSize = 188;
constexpr std::size_t kPacketHeaderBytes = 4;
constexpr std::uint8_t kSyncByte = 0x47;
constexpr std::uint8_t kStuffingByte = 0xFF;
constexpr std::size_t kSectionHeaderBytes = 3;

}  // namespace

void SectionAssembler::reset() {
    buffer_.clear();
    gathering_ = false;
}

void SectionAssembler::pushPackets(const std::uint8_t* data, std::size_t size) {
    for (std::size_t pos = 0; pos + kPacketSize <= size; pos += kPacketSize) pushPacket(data + pos);
}

void SectionAssembler::pushPacket(const std::uint8_t* p) {
    if (p[0] != kSyncByte || readPid(p + 1) != pid_) return;
    const bool errorFlag = p[1] & 0x80;
    const bool unitStart = p[1] & 0x40;
    const bool scrambled = p[3] & 0xC0;
    const int adaptation = (p[3] >> 4) & 0x03;
    const int counter = p[3] & 0x0F;
    if (errorFlag || scrambled) {
        reset();
        return;
    }
    if (!(adaptation & 0x01)) return;  // no payload: the counter does not advance
    if (lastCounter_ >= 0) {
        if (counter == lastCounter_) return;                // a repeated packet
        if (counter != ((lastCounter_ + 1) & 0x0F)) reset();  // lost packets
    }
    lastCounter_ = counter;

    std::size_t offset = kPacketHeaderBytes;
    if (adaptation == 0x03) offset += 1 + p[4];
    if (offset >= kPacketSize) return;

    if (!unitStart) {
        if (gathering_) consume(p + offset, kPacketSize - offset);
        return;
    }
    const std::size_t pointer = p[offset++];
    if (offset + pointer > kPacketSize) {
        reset();
        return;
    }
    if (gathering_) consume(p + offset, pointer);  // the tail of the section before
    reset();
    gathering_ = true;
    offset += pointer;
    consume(p + offset, kPacketSize - offset);
}

void SectionAssembler::consume(const std::uint8_t* p, std::size_t n) {
    while (n > 0 && gathering_) {
        if (buffer_.empty() && p[0] == kStuffingByte) {
            gathering_ = false;  // the rest of the packet is stuffing
            return;
        }
        std::size_t total = kSectionHeaderBytes;
        if (buffer_.size() >= kSectionHeaderBytes) total += readLength12(buffer_.data() + 1);
        std::size_t take = std::min(n, total - buffer_.size());
        buffer_.insert(buffer_.end(), p, p + take);
        p += take;
        n -= take;
        if (buffer_.size() == kSectionHeaderBytes) {
            std::size_t declared = kSectionHeaderBytes + readLength12(buffer_.data() + 1);
            if (declared > kMaxSectionBytes) {
                reset();
                return;
            }
        }
        finishIfComplete();
    }
}

void SectionAssembler::finishIfComplete() {
    if (buffer_.size() < kSectionHeaderBytes) return;
    std::size_t total = kSectionHeaderBytes + readLength12(buffer_.data() + 1);
    if (buffer_.size() < total) return;
    const bool longForm = buffer_[1] & 0x80;
    if (longForm && (total < kSectionHeaderBytes + kCrcBytes || crc32Mpeg(buffer_.data(), total) != 0)) {
        ++crcFailures_;
    } else {
        handler_(SectionBytes(buffer_.data(), total));
    }
    buffer_.clear();  // another section may follow in the same packet
}

}  // namespace vantiro
