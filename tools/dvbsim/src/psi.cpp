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

}  // namespace vantiro::dvbsim
