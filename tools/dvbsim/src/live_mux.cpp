#include "live_mux.h"

#include <algorithm>

namespace vantiro::dvbsim {

std::shared_ptr<LiveMux> LiveMux::open(const MuxConfig& config, std::string* error) {
  auto source = TsSource::load(config.tsPath, error);
  if (!source) return nullptr;
  std::shared_ptr<LiveMux> mux(new LiveMux());
  mux->config_ = &config;
  mux->source_ = source;
  mux->tables_ = source->tables();
  mux->bitrate_ = config.bitrate ? config.bitrate : source->measuredBitrate();
  if (mux->bitrate_ == 0) mux->bitrate_ = 8000000;
  // Every PID the file carries tables on stays a table PID even when a fault
  // silences its tables: the file's own packets there never reach a reader.
  for (const auto& [pid, sections] : mux->tables_) mux->tablePids_.set(pid);
  for (const auto& [program, pid] : source->pmtPids()) mux->tablePids_.set(pid);
  if (config.nitDelivery) mux->addDeliveryDescriptor();
  if (config.guide) mux->startGuide();
  for (uint16_t pid = 0; pid < 0x1FFF; ++pid)
    if (mux->tablePids_[pid]) mux->tablePidList_.push_back(pid);
  mux->preparePmtChanges();
  mux->applyFaults();
  return mux;
}

int LiveMux::intervalMs(uint16_t pid) const {
  if (guide_ && pid == 0x0012) return config_->eitIntervalMs;
  if (guide_ && pid == 0x0014) return config_->tdtIntervalMs;
  int ms = pid == 0x0000 ? config_->patIntervalMs
         : pid == 0x0010 ? config_->nitIntervalMs
         : pid == 0x0011 ? config_->sdtIntervalMs
                         : config_->pmtIntervalMs;
  return ms > 0 ? ms : 1;
}

void LiveMux::addDeliveryDescriptor() {
  auto pat = tables_.find(0x0000);
  auto nit = tables_.find(0x0010);
  if (pat == tables_.end() || pat->second.empty() || nit == tables_.end()) return;
  uint16_t tsid = tableIdExtension(pat->second.front());
  auto descriptor = deliveryDescriptor(config_->deliverySystem, config_->frequencyHz);
  for (auto& section : nit->second)
    if (section[0] == 0x40) addToNitEntry(section, tsid, descriptor);
}

void LiveMux::startGuide() {
  // Every program of the PAT gets a guide; the ids come from the file's
  // tables (the original network id from the SDT, else the NIT's).
  uint16_t tsid = 0, onid = 0;
  std::vector<uint16_t> services;
  if (auto pat = tables_.find(0x0000); pat != tables_.end() && !pat->second.empty()) {
    tsid = tableIdExtension(pat->second.front());
    for (const auto& [program, pid] : source_->pmtPids()) services.push_back(program);
  }
  if (auto sdt = tables_.find(0x0011); sdt != tables_.end() && !sdt->second.empty() && sdt->second.front().size() > 10)
    onid = static_cast<uint16_t>(sdt->second.front()[8] << 8 | sdt->second.front()[9]);
  else if (auto nit = tables_.find(0x0010); nit != tables_.end() && !nit->second.empty())
    onid = tableIdExtension(nit->second.front());
  GuideSettings settings{config_->eitShortSeconds, config_->eitChangeSeconds};
  guide_ = std::make_unique<Guide>(settings, tsid, onid, std::move(services), WallClock::now());
  tablePids_.set(0x0012);
  tablePids_.set(0x0014);
  // The SDT tells receivers that EIT schedule and present/following exist.
  if (auto sdt = tables_.find(0x0011); sdt != tables_.end())
    for (auto& section : sdt->second)
      if (section[0] == 0x42) markEitInSdt(section);
}

void LiveMux::preparePmtChanges() {
  for (const auto& change : config_->faults.pmtChanges) {
    auto pmtPid = source_->pmtPids().find(change.program);
    if (pmtPid == source_->pmtPids().end()) continue;
    const auto& sections = tables_[pmtPid->second];
    auto pmt = std::find_if(sections.begin(), sections.end(), [&](const Section& s) {
      return s[0] == 0x02 && tableIdExtension(s) == change.program;
    });
    if (pmt == sections.end()) continue;
    MovedProgram moved;
    moved.change = change;
    moved.pmtPid = pmtPid->second;
    moved.newPmt = movedPmt(*pmt, change.pidOffset, &moved.oldPids);
    moved_.push_back(std::move(moved));
  }
}

void LiveMux::applyFaults() {
  const Faults& f = config_->faults;
  if (f.noPat) tables_.erase(0x0000);
  if (f.noSdt) tables_.erase(0x0011);
  for (const auto& [program, pid] : source_->pmtPids()) {
    bool missing = f.allPmtsMissing;
    for (uint16_t p : f.missingPmtPrograms) missing = missing || p == program;
    if (!missing) continue;
    auto& sections = tables_[pid];
    const uint16_t missingProgram = program;  // clang 14 cannot capture a structured binding
    std::erase_if(sections, [&](const Section& s) { return s[0] == 0x02 && tableIdExtension(s) == missingProgram; });
    if (sections.empty()) tables_.erase(pid);
  }
  if (f.sdtSplit && tables_.count(0x0011)) {
    std::vector<Section> split;
    for (const auto& s : tables_[0x0011]) {
      if (s[0] == 0x42) {
        for (auto& part : splitSdt(s)) split.push_back(std::move(part));
      } else {
        split.push_back(s);
      }
    }
    tables_[0x0011] = std::move(split);
  }
}

SectionList LiveMux::sectionsAt(uint16_t pid, std::chrono::milliseconds sinceLock) const {
  static const SectionList kNone = std::make_shared<const std::vector<Section>>();
  if (guide_ && (pid == 0x0012 || pid == 0x0014)) {
    std::lock_guard lock(guideMutex_);
    const GuideCache& cache = guideAt(WallClock::now());
    return pid == 0x0012 ? cache.eit : cache.time;
  }
  auto it = tables_.find(pid);
  if (it == tables_.end()) return kNone;
  uint64_t applied = 0;
  for (size_t i = 0; i < moved_.size() && i < 64; ++i)
    if (moved_[i].pmtPid == pid && sinceLock.count() >= moved_[i].change.atMs) applied |= uint64_t{1} << i;
  std::lock_guard lock(tablesMutex_);
  SectionList& shared = sharedTables_[{pid, applied}];
  if (!shared) {
    std::vector<Section> sections = it->second;
    for (size_t i = 0; i < moved_.size() && i < 64; ++i) {
      if (!(applied & (uint64_t{1} << i))) continue;
      for (auto& section : sections)
        if (section[0] == 0x02 && tableIdExtension(section) == moved_[i].change.program) section = moved_[i].newPmt;
    }
    shared = std::make_shared<const std::vector<Section>>(std::move(sections));
  }
  return shared;
}

const LiveMux::GuideCache& LiveMux::guideAt(WallClock::time_point now) const {
  int64_t second = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  if (second != guideCache_.second) {
    guideCache_.second = second;
    guideCache_.eit = std::make_shared<const std::vector<Section>>(guide_->eit(now));
    guideCache_.time = std::make_shared<const std::vector<Section>>(guide_->time(now));
  }
  return guideCache_;
}

std::chrono::milliseconds LiveMux::timeOfPacket(uint64_t index) const {
  auto bits = static_cast<unsigned __int128>(index) * kPacketSize * 8 * 1000;
  return std::chrono::milliseconds(static_cast<int64_t>(bits / bitrate_));
}

void LiveMux::packet(uint64_t index, uint8_t* out) const {
  source_->broadcastPacket(index, out);
  if (moved_.empty()) return;
  uint16_t pid = packetPid(out);
  for (const auto& m : moved_) {
    if (std::find(m.oldPids.begin(), m.oldPids.end(), pid) == m.oldPids.end()) continue;
    if (timeOfPacket(index).count() < m.change.atMs) continue;
    uint16_t to = static_cast<uint16_t>((pid + m.change.pidOffset) & 0x1FFF);
    out[1] = static_cast<uint8_t>((out[1] & 0xE0) | (to >> 8));
    out[2] = static_cast<uint8_t>(to);
    return;
  }
}

}  // namespace vantiro::dvbsim
