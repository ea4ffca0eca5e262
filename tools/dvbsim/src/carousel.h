// The repetition of tables as a broadcast multiplexer sends them. Section
// filters and the transport stream (DVR, TS tap) follow the same schedule, so
// a reader sees a table as often on one path as on the other.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>

#include "psi.h"

namespace vantiro::dvbsim {

using Clock = std::chrono::steady_clock;
using Packet = std::array<uint8_t, 188>;

// Offset of a PID's first table after lock. The SDT sits mid-interval, so a
// reader that starts right after the PAT waits about half an interval for it.
int64_t tablePhaseMs(uint16_t pid, int64_t intervalMs);

// Where one reader stands in the repetition of the tables on one PID. The n
// sections of a PID are spread evenly over its interval (slot j carries
// section j % n), as broadcast multiplexers do; a single section repeats.
class CarouselCursor {
 public:
  // Forget the position: the next advance starts at the first slot after `from`.
  void reset() { scheduled_ = false; }

  // Calls emit(slot) for each slot due by `now`, oldest first, while emit
  // returns true. Slots more than one interval old (the signal was away, the
  // reader stopped) are passed over, never delivered late in a burst.
  template <typename Emit>
  void advance(uint64_t generation, uint16_t pid, int64_t intervalMs, size_t sectionCount,
               Clock::time_point lockTime, Clock::time_point from, Clock::time_point now, Emit&& emit) {
    if (sectionCount == 0 || intervalMs <= 0) return;
    schedule(generation, pid, intervalMs, sectionCount, lockTime, from);
    auto slotLength = slotLengthOf(intervalMs, sectionCount);
    auto interval = std::chrono::milliseconds(intervalMs);
    while (now >= nextDue_) {
      auto due = nextDue_;
      uint64_t slot = repetition_++;
      nextDue_ += slotLength;
      if (now - due > interval) continue;
      if (!emit(slot)) break;
    }
  }

 private:
  static std::chrono::microseconds slotLengthOf(int64_t intervalMs, size_t count);
  void schedule(uint64_t generation, uint16_t pid, int64_t intervalMs, size_t count,
                Clock::time_point lockTime, Clock::time_point from);

  bool scheduled_ = false;
  uint64_t generation_ = 0;
  uint64_t repetition_ = 0;
  Clock::time_point nextDue_;
};

// Which section a slot carries, and whether that repetition is one whose CRC
// the bad-crc fault breaks (every other pass over the table).
inline size_t sectionOfSlot(uint64_t slot, size_t count) { return static_cast<size_t>(slot % count); }
inline bool oddPass(uint64_t slot, size_t count) { return (slot / count) & 1; }

// Cuts a section into transport packets on `pid` (pointer field 0 in the
// first, 0xFF stuffing after the end), continuity counter taken from and
// advanced in `cc`.
void packetizeSection(const Section& section, uint16_t pid, uint8_t& cc, std::deque<Packet>& out);

}  // namespace vantiro::dvbsim
