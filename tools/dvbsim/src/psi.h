// Section-level helpers: the MPEG CRC, the kernel's section filter, and the
// rewrites the band's faults need.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vantiro::dvbsim {

using Section = std::vector<uint8_t>;

uint32_t mpegCrc32(std::span<const uint8_t> bytes);
bool sectionCrcOk(std::span<const uint8_t> section);
// Rewrites the last four bytes with the CRC of everything before them.
void fixSectionCrc(Section& section);

// A DMX_SET_FILTER filter as the kernel's demux applies it: filter byte 0 is
// the table id, filter bytes 1..15 face section bytes 3..17 (the two
// section-length bytes are skipped); mode bits set mean "must differ".
struct SectionFilter {
  uint8_t filter[16] = {};
  uint8_t mask[16] = {};
  uint8_t mode[16] = {};
  bool matches(std::span<const uint8_t> section) const;
};

// Splits an SDT section into two sections (services divided between them),
// numbered 0 and 1 with last_section_number 1. Returns the input unchanged
// when it holds fewer than two services.
std::vector<Section> splitSdt(const Section& sdt);

// The delivery system descriptor a terrestrial network puts in its NIT for a
// multiplex at `frequencyHz`: 0x5A for DVB-T (8 MHz, 64-QAM, code rate 2/3,
// guard 1/4, 8k) or 0x7F with extension 0x04 for DVB-T2 (8 MHz, SISO, PLP 0,
// guard 19/256, 32k, one cell).
std::vector<uint8_t> deliveryDescriptor(int deliverySystem, uint32_t frequencyHz);

// Adds `descriptor` to the transport stream loop entry of `tsid` in a NIT
// section (table 0x40/0x41) unless that entry already carries a descriptor
// with the same tag; lengths and CRC are rewritten. False when the section
// is not a NIT or has no entry for tsid.
bool addToNitEntry(Section& nit, uint16_t tsid, const std::vector<uint8_t>& descriptor);

// A PMT with the next version number and its PCR PID and every elementary
// PID moved by `offset`; `moved` receives the old PIDs.
Section movedPmt(const Section& pmt, uint16_t offset, std::vector<uint16_t>* moved);

// Sets EIT_schedule_flag and EIT_present_following_flag of every service of
// an SDT section (the CRC is rewritten).
void markEitInSdt(Section& sdt);

inline uint16_t tableIdExtension(const Section& s) {
  return s.size() >= 5 ? static_cast<uint16_t>(s[3] << 8 | s[4]) : 0;
}

}  // namespace vantiro::dvbsim
