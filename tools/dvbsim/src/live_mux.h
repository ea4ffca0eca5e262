// A multiplex on air: its stream file with the band's faults applied, the
// tables the simulator repeats itself (in the version they have at a given
// time since lock), and the packets of the endless broadcast.
#pragma once

#include <bitset>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "band.h"
#include "guide.h"
#include "psi.h"
#include "ts_source.h"

namespace vantiro::dvbsim {

// The sections of one PID, shared: readers ask for them on every tick, and a
// copy each time would cost more than the rest of the broadcast.
using SectionList = std::shared_ptr<const std::vector<Section>>;

class LiveMux {
 public:
  // Loads the stream file; nullptr with *error when it cannot be read.
  static std::shared_ptr<LiveMux> open(const MuxConfig& config, std::string* error);

  const MuxConfig& config() const { return *config_; }
  uint64_t bitrate() const { return bitrate_; }
  int intervalMs(uint16_t pid) const;

  // PIDs whose tables the simulator sends (to section filters and, in place
  // of the file's own table packets, in the transport stream).
  const std::vector<uint16_t>& tablePids() const { return tablePidList_; }
  bool isTablePid(uint16_t pid) const { return tablePids_[pid]; }

  // The sections on `pid` as broadcast `sinceLock` after lock (never null).
  SectionList sectionsAt(uint16_t pid, std::chrono::milliseconds sinceLock) const;

  // Broadcast packet `index` counted from lock: the file looped seamlessly,
  // PIDs moved by the PMT changes that happened by then.
  void packet(uint64_t index, uint8_t* out) const;

 private:
  struct MovedProgram {
    PmtChange change;
    uint16_t pmtPid = 0;
    Section newPmt;
    std::vector<uint16_t> oldPids;
  };

  LiveMux() = default;
  void applyFaults();
  void addDeliveryDescriptor();
  void preparePmtChanges();
  void startGuide();
  std::chrono::milliseconds timeOfPacket(uint64_t index) const;

  const MuxConfig* config_ = nullptr;
  std::shared_ptr<const TsSource> source_;
  uint64_t bitrate_ = 0;
  std::map<uint16_t, std::vector<Section>> tables_;
  std::bitset<8192> tablePids_;
  std::vector<uint16_t> tablePidList_;
  std::vector<MovedProgram> moved_;
  std::unique_ptr<Guide> guide_;
  // The guide's sections change at most once a second (their times are in
  // seconds); every reader asks on every tick, so they are made once a second.
  struct GuideCache {
    int64_t second = -1;
    SectionList eit, time;
  };
  mutable std::mutex guideMutex_;
  mutable GuideCache guideCache_;
  // The tables as shared lists, by PID and by the PMT changes applied to them
  // (bit i: moved_[i]); made when first asked for.
  mutable std::mutex tablesMutex_;
  mutable std::map<std::pair<uint16_t, uint64_t>, SectionList> sharedTables_;
  const GuideCache& guideAt(WallClock::time_point now) const;
};

}  // namespace vantiro::dvbsim
