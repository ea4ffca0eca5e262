// Guide data as a broadcaster sends it, made from the real clock when it is
// sent: EIT present/following (table 0x4E) and schedule (0x50, one section
// per three-hour segment) for every service of a multiplex, and the TDT and
// TOT (0x70/0x73). Event layout, titles and the knobs are in ../README.md.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "psi.h"

namespace vantiro::dvbsim {

using WallClock = std::chrono::system_clock;

struct GuideSettings {
  int shortEventSeconds = 120;  // the event on air at the anchor ends this long after it
  int changeAfterSeconds = 0;   // a new version of every EIT table this long after the anchor (0: never)
};

class Guide {
 public:
  // `anchor`: when the multiplex went on air (the events are laid out around it).
  Guide(GuideSettings settings, uint16_t transportStreamId, uint16_t originalNetworkId,
        std::vector<uint16_t> serviceIds, WallClock::time_point anchor);

  // EIT sections on PID 0x12 as broadcast at `now`: per service the
  // present/following pair, then the schedule sections.
  std::vector<Section> eit(WallClock::time_point now) const;
  // TDT and TOT on PID 0x14 at `now`.
  std::vector<Section> time(WallClock::time_point now) const;

  struct Event {
    int index = 0;
    WallClock::time_point start;
    std::chrono::seconds duration{0};
  };
  Event event(int index) const;
  int presentIndex(WallClock::time_point now) const;

 private:
  bool changed(WallClock::time_point now) const;
  std::vector<uint8_t> eventEntry(size_t service, const Event& e, int runningStatus, bool revised) const;
  Section eitSection(uint8_t tableId, uint16_t serviceId, int version, uint8_t number, uint8_t last,
                     uint8_t segmentLast, const std::vector<uint8_t>& events) const;

  GuideSettings settings_;
  uint16_t tsid_ = 0;
  uint16_t onid_ = 0;
  std::vector<uint16_t> services_;
  WallClock::time_point anchor_;
};

}  // namespace vantiro::dvbsim
