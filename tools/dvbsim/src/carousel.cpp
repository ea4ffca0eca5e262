#include "carousel.h"

#include <algorithm>

namespace vantiro::dvbsim {

int64_t tablePhaseMs(uint16_t pid, int64_t intervalMs) {
  if (pid == 0x0011) return intervalMs / 2;
  return (pid * 7 + 3) % intervalMs;
}

std::chrono::microseconds CarouselCursor::slotLengthOf(int64_t intervalMs, size_t count) {
  return std::chrono::microseconds(std::max<int64_t>(1, intervalMs * 1000 / static_cast<int64_t>(count)));
}

void CarouselCursor::schedule(uint64_t generation, uint16_t pid, int64_t intervalMs, size_t count,
                              Clock::time_point lockTime, Clock::time_point from) {
  if (scheduled_ && generation_ == generation) return;
  // The first slot a new reader sees is the next one after it started.
  auto slotLength = slotLengthOf(intervalMs, count);
  auto first = lockTime + std::chrono::milliseconds(tablePhaseMs(pid, intervalMs));
  from = std::max(from, lockTime);
  uint64_t k = 0;
  if (from > first) k = static_cast<uint64_t>((from - first + slotLength - std::chrono::nanoseconds(1)) / slotLength);
  repetition_ = k;
  nextDue_ = first + slotLength * static_cast<int64_t>(k);
  scheduled_ = true;
  generation_ = generation;
}

void packetizeSection(const Section& section, uint16_t pid, uint8_t& cc, std::deque<Packet>& out) {
  size_t at = 0;
  bool first = true;
  while (first || at < section.size()) {
    Packet p;
    p.fill(0xFF);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((first ? 0x40 : 0x00) | (pid >> 8));
    p[2] = static_cast<uint8_t>(pid);
    p[3] = static_cast<uint8_t>(0x10 | (cc & 0x0F));
    cc = static_cast<uint8_t>((cc + 1) & 0x0F);
    size_t payload = 4;
    if (first) p[payload++] = 0;  // pointer field: the section starts right away
    size_t n = std::min(section.size() - at, p.size() - payload);
    std::copy_n(section.begin() + static_cast<long>(at), n, p.begin() + static_cast<long>(payload));
    at += n;
    first = false;
    out.push_back(p);
  }
}

}  // namespace vantiro::dvbsim
