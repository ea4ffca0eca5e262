// The simulated air: which adapters exist and which multiplexes they can receive,
// read from the band file named by DVBSIM_BAND (format in ../README.md).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantiro::dvbsim {

enum class OpenOutcome { ok, busy, missing };

struct AdapterConfig {
  int number = 0;
  std::string frontendName = "Silicon Labs Si2168";
  OpenOutcome open = OpenOutcome::ok;
  // Opens of dvr0 for reading that succeed; later ones fail with EBUSY, as when
  // another program took the device in between. -1: no limit.
  int dvrOpens = -1;
  // While this file exists opening the frontend fails with EBUSY: another
  // program holds the tuner until the file is removed. Empty: never.
  std::string busyWhilePath;
};

// How a statistic of the frontend is reported (the kernel's fe_stat scales).
enum class StatScale { none, decibel, relative };

struct Statistic {
  StatScale scale = StatScale::none;
  int64_t value = 0;
};

// A PMT that changes while the multiplex is on air: at `atMs` after lock the
// program's PMT gets the next version number and its PCR and elementary PIDs
// move by `pidOffset`; the media packets move with them.
struct PmtChange {
  uint16_t program = 0;
  int atMs = 0;
  uint16_t pidOffset = 0x400;
};

struct Faults {
  bool noPat = false;
  bool noSdt = false;
  bool allPmtsMissing = false;
  std::vector<uint16_t> missingPmtPrograms;  // program numbers whose PMT never comes
  bool sdtSplit = false;                     // SDT sent as two sections
  std::optional<int> lockLostAfterMs;        // lock drops this long after it was gained
  std::optional<int> lockLostForMs;          // ... and comes back after this long (else never)
  // A fade of the air itself: this long after the multiplex first locked in this
  // process the signal is gone for `fadeForMs`, whatever the tuner does meanwhile
  // (tuning again does not bring it back sooner).
  std::optional<int> fadeAfterMs;
  int fadeForMs = 0;
  std::optional<int> dvrOverflowAfterMs;     // one EOVERFLOW this long after the DVR starts
  std::optional<int> dvrOverflowEveryMs;     // an EOVERFLOW every this long while the DVR runs
  std::optional<int> dvrGoneAfterMs;         // a DVR read fails with ENODEV this long after it starts
  std::vector<PmtChange> pmtChanges;
  std::vector<uint16_t> badCrcPids;          // every other repetition carries a broken CRC
};

struct MuxConfig {
  uint32_t frequencyHz = 0;
  int deliverySystem = 16;
  uint32_t bandwidthHz = 8000000;  // a tune with another bandwidth does not lock
  std::string tsPath;
  uint64_t bitrate = 0;  // bits per second; 0 = measured from the file's PCRs
  int lockDelayMs = 300;
  Statistic strength{StatScale::relative, 52428};
  Statistic cnr{StatScale::decibel, 28000};
  int patIntervalMs = 100;
  int pmtIntervalMs = 100;
  int sdtIntervalMs = 2000;
  int nitIntervalMs = 2000;
  bool nitDelivery = true;  // add the delivery system descriptor (0x5A / 0x7F-0x04) to the NIT
  bool guide = false;       // the simulator sends EIT (PID 0x12) and TDT/TOT (PID 0x14)
  int eitIntervalMs = 2000;
  int tdtIntervalMs = 5000;
  int eitShortSeconds = 120;   // the event on air when the multiplex goes on air ends this long after
  int eitChangeSeconds = 0;    // every EIT table gets a new version this long after going on air (0: never)
  Faults faults;
};

struct Band {
  std::vector<AdapterConfig> adapters;
  std::vector<MuxConfig> muxes;
  uint32_t toleranceHz = 250000;  // how far off the centre a tune still locks

  const AdapterConfig* adapter(int number) const;
  // The multiplex a frontend tuned to (frequency, delivery system, bandwidth) receives.
  const MuxConfig* muxAt(uint32_t frequencyHz, int deliverySystem, uint32_t bandwidthHz) const;
};

// Parses band file text; relative TS paths are taken from baseDir.
std::optional<Band> parseBand(const std::string& text, const std::string& baseDir,
                              std::string* error);
std::optional<Band> loadBandFile(const std::string& path, std::string* error);

}  // namespace vantiro::dvbsim
