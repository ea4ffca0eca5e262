#include "ts_source.h"

#include <fstream>
#include <set>
#include <tuple>

namespace vantiro::dvbsim {

namespace {

constexpr uint64_t kPcrWrap = (1ull << 33) * 300;
constexpr uint64_t kPtsWrap = 1ull << 33;

// Payload of a packet (after the adaptation field), or an empty span.
std::span<const uint8_t> payloadOf(const uint8_t* p) {
  int afc = (p[3] >> 4) & 3;
  if (!(afc & 1)) return {};
  size_t start = 4;
  if (afc & 2) start += 1 + p[4];
  if (start >= kPacketSize) return {};
  return {p + start, kPacketSize - start};
}

std::optional<uint64_t> pcrOf(const uint8_t* p) {
  int afc = (p[3] >> 4) & 3;
  if (!(afc & 2) || p[4] < 7 || !(p[5] & 0x10)) return std::nullopt;
  uint64_t base = (uint64_t{p[6]} << 25) | (uint64_t{p[7]} << 17) | (uint64_t{p[8]} << 9) |
                  (uint64_t{p[9]} << 1) | (p[10] >> 7);
  uint64_t ext = ((p[10] & 1u) << 8) | p[11];
  return base * 300 + ext;
}

void writePcr(uint8_t* p, uint64_t pcr) {
  uint64_t base = pcr / 300, ext = pcr % 300;
  p[6] = static_cast<uint8_t>(base >> 25);
  p[7] = static_cast<uint8_t>(base >> 17);
  p[8] = static_cast<uint8_t>(base >> 9);
  p[9] = static_cast<uint8_t>(base >> 1);
  p[10] = static_cast<uint8_t>(((base & 1) << 7) | 0x7E | (ext >> 8));
  p[11] = static_cast<uint8_t>(ext);
}

// Adds `delta` (90 kHz) to the 33-bit timestamp coded in the 5 bytes at t.
void advanceTimestamp(uint8_t* t, uint64_t delta) {
  uint64_t v = (uint64_t{t[0] & 0x0Eu} << 29) | (uint64_t{t[1]} << 22) |
               (uint64_t{t[2] & 0xFEu} << 14) | (uint64_t{t[3]} << 7) | (t[4] >> 1);
  v = (v + delta) % kPtsWrap;
  t[0] = static_cast<uint8_t>((t[0] & 0xF1) | ((v >> 29) & 0x0E));
  t[1] = static_cast<uint8_t>(v >> 22);
  t[2] = static_cast<uint8_t>((t[2] & 0x01) | ((v >> 14) & 0xFE));
  t[3] = static_cast<uint8_t>(v >> 7);
  t[4] = static_cast<uint8_t>((t[4] & 0x01) | ((v << 1) & 0xFE));
}

void advancePesTimestamps(uint8_t* p, uint64_t delta90k) {
  if (!(p[1] & 0x40)) return;  // no PES starts here
  int afc = (p[3] >> 4) & 3;
  if (!(afc & 1)) return;
  size_t start = 4 + ((afc & 2) ? 1u + p[4] : 0u);
  if (start + 19 > kPacketSize) return;
  uint8_t* pes = p + start;
  if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1) return;
  uint8_t sid = pes[3];
  if (sid == 0xBC || sid == 0xBE || sid == 0xBF || sid == 0xF0 || sid == 0xF1 || sid == 0xFF ||
      sid == 0xF2 || sid == 0xF8)
    return;
  int flags = pes[7] >> 6;
  if (flags & 2) advanceTimestamp(pes + 9, delta90k);
  if (flags == 3) advanceTimestamp(pes + 14, delta90k);
}

bool isTableOfInterest(uint16_t pid, uint8_t tableId, const std::map<uint16_t, uint16_t>& pmtPids) {
  if (pid == 0x0000) return tableId == 0x00;
  if (pid == 0x0010) return tableId == 0x40 || tableId == 0x41;
  if (pid == 0x0011) return tableId == 0x42 || tableId == 0x46 || tableId == 0x4A;
  for (const auto& [program, pmtPid] : pmtPids)
    if (pmtPid == pid) return tableId == 0x02;
  return false;
}

}  // namespace

std::shared_ptr<const TsSource> TsSource::load(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = "cannot read transport stream " + path;
    return nullptr;
  }
  auto source = std::make_shared<TsSource>();
  source->packets_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  // Align on the first sync byte and keep whole packets only.
  size_t first = 0;
  while (first < source->packets_.size() && source->packets_[first] != 0x47) ++first;
  source->packets_.erase(source->packets_.begin(), source->packets_.begin() + static_cast<long>(first));
  source->packets_.resize(source->packets_.size() / kPacketSize * kPacketSize);
  if (source->packets_.empty()) {
    if (error) *error = "no transport stream packets in " + path;
    return nullptr;
  }
  source->payloadPacketsPerPid_.assign(8192, 0);
  for (uint64_t i = 0; i < source->packetCount(); ++i) {
    const uint8_t* p = &source->packets_[i * kPacketSize];
    if ((p[3] >> 4) & 1) ++source->payloadPacketsPerPid_[packetPid(p)];
  }
  source->extractTables();
  source->measureClock();
  return source;
}

void TsSource::extractTables() {
  // Two passes: the PAT names the PMT PIDs, the second pass collects them all.
  for (int pass = 0; pass < 2; ++pass) {
    std::map<uint16_t, Section> partial;
    std::set<std::tuple<uint16_t, uint8_t, uint16_t, uint8_t>> seen;
    tables_.clear();
    auto takeSections = [&](uint16_t pid, Section& buffer) {
      while (buffer.size() >= 3) {
        if (buffer[0] == 0xFF) { buffer.clear(); return; }
        size_t size = ((buffer[1] & 0x0F) << 8 | buffer[2]) + 3u;
        if (buffer.size() < size) return;
        Section s(buffer.begin(), buffer.begin() + static_cast<long>(size));
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<long>(size));
        if (s.size() < 8 || !isTableOfInterest(pid, s[0], pmtPids_)) continue;
        if (seen.insert({pid, s[0], tableIdExtension(s), s[6]}).second) tables_[pid].push_back(s);
      }
    };
    for (uint64_t i = 0; i < packetCount(); ++i) {
      const uint8_t* p = &packets_[i * kPacketSize];
      uint16_t pid = packetPid(p);
      if (pid != 0 && pid != 0x10 && pid != 0x11) {
        bool isPmt = false;
        for (const auto& [program, pmtPid] : pmtPids_) isPmt = isPmt || pmtPid == pid;
        if (!isPmt) continue;
      }
      auto payload = payloadOf(p);
      if (payload.empty()) continue;
      Section& buffer = partial[pid];
      if (p[1] & 0x40) {
        size_t pointer = payload[0];
        if (1 + pointer > payload.size()) { buffer.clear(); continue; }
        buffer.insert(buffer.end(), payload.begin() + 1, payload.begin() + 1 + static_cast<long>(pointer));
        takeSections(pid, buffer);
        buffer.assign(payload.begin() + 1 + static_cast<long>(pointer), payload.end());
      } else if (!buffer.empty()) {
        buffer.insert(buffer.end(), payload.begin(), payload.end());
      }
      takeSections(pid, buffer);
    }
    if (pass == 0) {
      pmtPids_.clear();
      for (const auto& pat : tables_[0]) {
        size_t end = pat.size() - 4;
        for (size_t at = 8; at + 4 <= end; at += 4) {
          uint16_t program = static_cast<uint16_t>(pat[at] << 8 | pat[at + 1]);
          uint16_t pid = static_cast<uint16_t>((pat[at + 2] & 0x1F) << 8 | pat[at + 3]);
          if (program != 0) pmtPids_[program] = pid;
        }
      }
    }
  }
}

void TsSource::measureClock() {
  // PCR slope of the first PID that carries PCRs: 27 MHz ticks per packet.
  std::optional<uint16_t> pcrPid;
  uint64_t firstIndex = 0, firstPcr = 0, lastIndex = 0, lastPcr = 0;
  for (uint64_t i = 0; i < packetCount(); ++i) {
    const uint8_t* p = &packets_[i * kPacketSize];
    auto pcr = pcrOf(p);
    if (!pcr) continue;
    if (!pcrPid) {
      pcrPid = packetPid(p);
      firstIndex = i;
      firstPcr = *pcr;
    } else if (packetPid(p) == *pcrPid) {
      lastIndex = i;
      lastPcr = *pcr;
    }
  }
  if (!pcrPid || lastIndex <= firstIndex || lastPcr <= firstPcr) return;
  double ticksPerPacket = static_cast<double>(lastPcr - firstPcr) / static_cast<double>(lastIndex - firstIndex);
  measuredBitrate_ = static_cast<uint64_t>(kPacketSize * 8 * 27e6 / ticksPerPacket + 0.5);
  loopDuration27MHz_ = static_cast<uint64_t>(ticksPerPacket * static_cast<double>(packetCount()) + 0.5);
}

void TsSource::broadcastPacket(uint64_t index, uint8_t* out) const {
  uint64_t count = packetCount();
  uint64_t loop = index / count;
  const uint8_t* in = &packets_[(index % count) * kPacketSize];
  std::copy(in, in + kPacketSize, out);
  if (loop == 0) return;
  uint16_t pid = packetPid(out);
  if (pid == kNullPid) return;
  uint8_t ccAdvance = static_cast<uint8_t>((loop * payloadPacketsPerPid_[pid]) & 0x0F);
  out[3] = static_cast<uint8_t>((out[3] & 0xF0) | ((out[3] + ccAdvance) & 0x0F));
  if (loopDuration27MHz_ == 0) return;
  uint64_t delta27 = loop * loopDuration27MHz_;
  if (auto pcr = pcrOf(out)) writePcr(out, (*pcr + delta27) % kPcrWrap);
  advancePesTimestamps(out, (delta27 / 300) % kPtsWrap);
}

}  // namespace vantiro::dvbsim
