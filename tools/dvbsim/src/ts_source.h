// One multiplex's transport stream, read from its file: the packets, the PSI/SI
// tables found in it (the demux repeats them to section filters), and the
// rewriting that lets the file loop seamlessly as a live broadcast.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "psi.h"

namespace vantiro::dvbsim {

constexpr size_t kPacketSize = 188;
constexpr uint16_t kNullPid = 0x1FFF;

class TsSource {
 public:
  static std::shared_ptr<const TsSource> load(const std::string& path, std::string* error);

  uint64_t packetCount() const { return packets_.size() / kPacketSize; }
  // Bits per second as the file's PCRs pace it (0 when it carries no PCR).
  uint64_t measuredBitrate() const { return measuredBitrate_; }
  // Sections of each PSI/SI PID in first-seen order, each (table id, extension,
  // section number) once.
  const std::map<uint16_t, std::vector<Section>>& tables() const { return tables_; }
  // PIDs that carry a PMT, by program number.
  const std::map<uint16_t, uint16_t>& pmtPids() const { return pmtPids_; }

  // Packet `index` of the endless broadcast: file packet index % count, with
  // continuity counters, PCR, PTS and DTS advanced by whole loops so that the
  // repetition looks like one continuous stream.
  void broadcastPacket(uint64_t index, uint8_t* out) const;

 private:
  void extractTables();
  void measureClock();

  std::vector<uint8_t> packets_;
  std::map<uint16_t, std::vector<Section>> tables_;
  std::map<uint16_t, uint16_t> pmtPids_;
  std::vector<uint8_t> payloadPacketsPerPid_;  // per PID, modulo 16
  uint64_t measuredBitrate_ = 0;
  uint64_t loopDuration27MHz_ = 0;
};

inline uint16_t packetPid(const uint8_t* p) { return static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]); }

}  // namespace vantiro::dvbsim
