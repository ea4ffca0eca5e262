#include "psi.h"

#include <algorithm>
#include <array>

namespace vantiro::dvbsim {

namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i << 24;
    for (int b = 0; b < 8; ++b) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
    table[i] = c;
  }
  return table;
}

constexpr auto kCrcTable = makeCrcTable();
constexpr size_t kSdtHeaderSize = 11;      // plus original_network_id and a reserved byte

size_t declaredSize(const Section& s) { return ((s[1] & 0x0F) << 8 | s[2]) + 3u; }

}  // namespace

uint32_t mpegCrc32(std::span<const uint8_t> bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ b) & 0xFF];
  return crc;
}

bool sectionCrcOk(std::span<const uint8_t> section) {
  // Over the whole section including its CRC the MPEG CRC comes out as zero.
  return section.size() >= 4 && mpegCrc32(section) == 0;
}

void fixSectionCrc(Section& section) {
  if (section.size() < 4) return;
  uint32_t crc = mpegCrc32(std::span(section).first(section.size() - 4));
  size_t n = section.size();
  section[n - 4] = static_cast<uint8_t>(crc >> 24);
  section[n - 3] = static_cast<uint8_t>(crc >> 16);
  section[n - 2] = static_cast<uint8_t>(crc >> 8);
  section[n - 1] = static_cast<uint8_t>(crc);
}

bool SectionFilter::matches(std::span<const uint8_t> section) const {
  bool wantsDifference = false, differs = false;
  for (int i = 0; i < 16; ++i) {
    size_t at = i == 0 ? 0 : static_cast<size_t>(i) + 2;
    uint8_t byte = at < section.size() ? section[at] : 0;
    uint8_t x = static_cast<uint8_t>(byte ^ filter[i]);
    uint8_t positive = static_cast<uint8_t>(mask[i] & ~mode[i]);
    uint8_t negative = static_cast<uint8_t>(mask[i] & mode[i]);
    if (x & positive) return false;
    if (negative) wantsDifference = true;
    if (x & negative) differs = true;
  }
  return !wantsDifference || differs;
}

std::vector<Section> splitSdt(const Section& sdt) {
  if (sdt.size() < kSdtHeaderSize + 4 || declaredSize(sdt) != sdt.size()) return {sdt};
  // Find the service entries' boundaries.
  std::vector<size_t> starts;
  size_t end = sdt.size() - 4, at = kSdtHeaderSize;
  while (at + 5 <= end) {
    starts.push_back(at);
    at += 5 + ((sdt[at + 3] & 0x0F) << 8 | sdt[at + 4]);
  }
  if (starts.size() < 2 || at != end) return {sdt};
  size_t cut = starts[starts.size() / 2];
  auto build = [&](size_t from, size_t to, uint8_t number) {
    Section s(kSdtHeaderSize + (to - from) + 4);
    std::copy_n(sdt.begin(), kSdtHeaderSize, s.begin());
    std::copy(sdt.begin() + static_cast<long>(from), sdt.begin() + static_cast<long>(to),
              s.begin() + static_cast<long>(kSdtHeaderSize));
    size_t length = s.size() - 3;
    s[1] = static_cast<uint8_t>((s[1] & 0xF0) | (length >> 8));
    s[2] = static_cast<uint8_t>(length);
    s[6] = number;
    s[7] = 1;
    fixSectionCrc(s);
    return s;
  };
  return {build(kSdtHeaderSize, cut, 0), build(cut, end, 1)};
}

void markEitInSdt(Section& sdt) {
  if (sdt.size() < kSdtHeaderSize + 4 || declaredSize(sdt) != sdt.size()) return;
  size_t end = sdt.size() - 4;
  for (size_t at = kSdtHeaderSize; at + 5 <= end; at += 5 + ((sdt[at + 3] & 0x0F) << 8 | sdt[at + 4]))
    sdt[at + 2] |= 0x03;
  fixSectionCrc(sdt);
}

std::vector<uint8_t> deliveryDescriptor(int deliverySystem, uint32_t frequencyHz) {
  uint32_t f = frequencyHz / 10;  // units of 10 Hz
  uint8_t freq[4] = {static_cast<uint8_t>(f >> 24), static_cast<uint8_t>(f >> 16), static_cast<uint8_t>(f >> 8),
                     static_cast<uint8_t>(f)};
  if (deliverySystem == 16) {
    // ext, plp_id, T2_system_id, SISO + 8 MHz, guard 19/256 + 32k, cell 1 at f, no subcells.
    return {0x7F, 13, 0x04, 0x00, 0x00, 0x01, 0x03, 0xD4, 0x00, 0x01, freq[0], freq[1], freq[2], freq[3], 0x00};
  }
  // 8 MHz, priority HP; 64-QAM, non-hierarchical, 2/3; guard 1/4, 8k; reserved.
  return {0x5A, 11, freq[0], freq[1], freq[2], freq[3], 0x1F, 0x81, 0x1A, 0xFF, 0xFF, 0xFF, 0xFF};
}

bool addToNitEntry(Section& nit, uint16_t tsid, const std::vector<uint8_t>& descriptor) {
  if (nit.size() < 16 || (nit[0] != 0x40 && nit[0] != 0x41) || declaredSize(nit) != nit.size()) return false;
  size_t end = nit.size() - 4;
  size_t at = 10 + ((nit[8] & 0x0F) << 8 | nit[9]);  // past the network descriptors
  if (at + 2 > end) return false;
  size_t loopLengthAt = at;
  at += 2;
  while (at + 6 <= end) {
    uint16_t entryTsid = static_cast<uint16_t>(nit[at] << 8 | nit[at + 1]);
    size_t descriptorsLength = (nit[at + 4] & 0x0F) << 8 | nit[at + 5];
    size_t first = at + 6, last = first + descriptorsLength;
    if (last > end) return false;
    if (entryTsid != tsid) {
      at = last;
      continue;
    }
    for (size_t d = first; d + 2 <= last; d += 2 + nit[d + 1])
      if (nit[d] == descriptor[0]) return true;
    nit.insert(nit.begin() + static_cast<long>(last), descriptor.begin(), descriptor.end());
    auto grow = [&](size_t where, size_t by, uint8_t keepMask) {
      size_t v = ((nit[where] & 0x0F) << 8 | nit[where + 1]) + by;
      nit[where] = static_cast<uint8_t>((nit[where] & keepMask) | (v >> 8));
      nit[where + 1] = static_cast<uint8_t>(v);
    };
    grow(at + 4, descriptor.size(), 0xF0);
    grow(loopLengthAt, descriptor.size(), 0xF0);
    grow(1, descriptor.size(), 0xF0);
    fixSectionCrc(nit);
    return true;
  }
  return false;
}

Section movedPmt(const Section& pmt, uint16_t offset, std::vector<uint16_t>* moved) {
  Section s = pmt;
  if (s.size() < 16 || s[0] != 0x02 || declaredSize(s) != s.size()) return s;
  auto move = [&](size_t at) {
    uint16_t pid = static_cast<uint16_t>((s[at] & 0x1F) << 8 | s[at + 1]);
    if (pid == 0x1FFF) return;  // "no PCR" stays so
    if (moved) moved->push_back(pid);
    uint16_t to = static_cast<uint16_t>((pid + offset) & 0x1FFF);
    s[at] = static_cast<uint8_t>((s[at] & 0xE0) | (to >> 8));
    s[at + 1] = static_cast<uint8_t>(to);
  };
  s[5] = static_cast<uint8_t>((s[5] & 0xC1) | ((((s[5] >> 1) + 1) & 0x1F) << 1));
  move(8);  // PCR PID
  size_t end = s.size() - 4;
  size_t at = 12 + ((s[10] & 0x0F) << 8 | s[11]);
  while (at + 5 <= end) {
    move(at + 1);
    at += 5 + ((s[at + 3] & 0x0F) << 8 | s[at + 4]);
  }
  fixSectionCrc(s);
  return s;
}

}  // namespace vantiro::dvbsim
