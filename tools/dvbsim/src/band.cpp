#include "band.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace vantiro::dvbsim {

namespace {

// Splits a line into words; double quotes group blanks into one word
// (name="Silicon Labs Si2168").
std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

std::optional<int64_t> parseInteger(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 0);
  if (*end != '\0') return std::nullopt;
  return v;
}

// "52428" (relative 0..65535), "-45000dB" (0.001 dB units), "none".
std::optional<Statistic> parseStatistic(const std::string& text, StatScale plain) {
  if (text == "none") return Statistic{StatScale::none, 0};
  std::string number = text;
  StatScale scale = plain;
  if (number.size() > 2 && number.compare(number.size() - 2, 2, "dB") == 0) {
    number.resize(number.size() - 2);
    scale = StatScale::decibel;
  } else if (number.size() > 1 && number.back() == '%') {
    number.pop_back();
    auto v = parseInteger(number);
    if (!v) return std::nullopt;
    return Statistic{StatScale::relative, *v * 65535 / 100};
  }
  auto v = parseInteger(number);
  if (!v) return std::nullopt;
  return Statistic{scale, *v};
}

// "pmt-change:PROGRAM@MS" or "pmt-change:PROGRAM@MS+OFFSET".
bool parsePmtChange(const std::string& arg, Faults& faults) {
  auto at = arg.find('@');
  if (at == std::string::npos) return false;
  auto plus = arg.find('+', at);
  auto program = parseInteger(arg.substr(0, at));
  auto ms = parseInteger(arg.substr(at + 1, plus == std::string::npos ? std::string::npos : plus - at - 1));
  std::optional<int64_t> offset = int64_t{0x400};
  if (plus != std::string::npos) offset = parseInteger(arg.substr(plus + 1));
  if (!program || !ms || !offset || *program <= 0 || *program > 0xFFFF || *ms < 0 || *offset <= 0 ||
      *offset >= 0x1FFF)
    return false;
  faults.pmtChanges.push_back(
      {static_cast<uint16_t>(*program), static_cast<int>(*ms), static_cast<uint16_t>(*offset)});
  return true;
}

// "lock-lost:N" (for good) or "lock-lost:N:M" (back after M ms).
bool parseLockLost(const std::string& arg, Faults& faults) {
  auto colon = arg.find(':');
  auto after = parseInteger(arg.substr(0, colon));
  if (!after || *after < 0) return false;
  faults.lockLostAfterMs = static_cast<int>(*after);
  if (colon == std::string::npos) return true;
  auto duration = parseInteger(arg.substr(colon + 1));
  if (!duration || *duration <= 0) return false;
  faults.lockLostForMs = static_cast<int>(*duration);
  return true;
}

// "fade:N:M": the air loses the multiplex N ms after its first lock, for M ms.
bool parseFade(const std::string& arg, Faults& faults) {
  auto colon = arg.find(':');
  if (colon == std::string::npos) return false;
  auto after = parseInteger(arg.substr(0, colon));
  auto duration = parseInteger(arg.substr(colon + 1));
  if (!after || *after < 0 || !duration || *duration <= 0) return false;
  faults.fadeAfterMs = static_cast<int>(*after);
  faults.fadeForMs = static_cast<int>(*duration);
  return true;
}

bool applyFault(const std::string& fault, Faults& faults) {
  auto colon = fault.find(':');
  if (colon != std::string::npos && fault.substr(0, colon) == "fade")
    return parseFade(fault.substr(colon + 1), faults);
  if (colon != std::string::npos && fault.substr(0, colon) == "pmt-change")
    return parsePmtChange(fault.substr(colon + 1), faults);
  if (colon != std::string::npos && fault.substr(0, colon) == "lock-lost")
    return parseLockLost(fault.substr(colon + 1), faults);
  std::string name = fault.substr(0, colon);
  std::optional<int64_t> arg;
  if (colon != std::string::npos) {
    arg = parseInteger(fault.substr(colon + 1));
    if (!arg) return false;
  }
  if (name == "no-pat") faults.noPat = true;
  else if (name == "no-sdt") faults.noSdt = true;
  else if (name == "sdt-split") faults.sdtSplit = true;
  else if (name == "no-pmt") {
    if (arg) faults.missingPmtPrograms.push_back(static_cast<uint16_t>(*arg));
    else faults.allPmtsMissing = true;
  } else if (name == "lock-lost" && arg) faults.lockLostAfterMs = static_cast<int>(*arg);
  else if (name == "dvr-overflow") faults.dvrOverflowAfterMs = static_cast<int>(arg.value_or(1000));
  else if (name == "dvr-overflow-every" && arg && *arg > 0) faults.dvrOverflowEveryMs = static_cast<int>(*arg);
  else if (name == "dvr-gone" && arg) faults.dvrGoneAfterMs = static_cast<int>(*arg);
  else if (name == "bad-crc" && arg) faults.badCrcPids.push_back(static_cast<uint16_t>(*arg));
  else return false;
  return true;
}

bool applyMuxKey(const std::string& key, const std::string& value, const std::string& baseDir,
                 MuxConfig& mux) {
  if (key == "ts") {
    mux.tsPath = (!value.empty() && value[0] == '/') ? value : baseDir + "/" + value;
    return true;
  }
  if (key == "strength") {
    auto s = parseStatistic(value, StatScale::relative);
    if (s) mux.strength = *s;
    return s.has_value();
  }
  if (key == "cnr") {
    auto s = parseStatistic(value, StatScale::decibel);
    if (s) mux.cnr = *s;
    return s.has_value();
  }
  if (key == "faults" || key == "fault") {
    std::stringstream list(value);
    std::string fault;
    while (std::getline(list, fault, ','))
      if (!fault.empty() && !applyFault(fault, mux.faults)) return false;
    return true;
  }
  auto v = parseInteger(value);
  if (!v) return false;
  if (key == "freq" || key == "frequency") mux.frequencyHz = static_cast<uint32_t>(*v);
  else if (key == "delsys") mux.deliverySystem = static_cast<int>(*v);
  else if (key == "bandwidth") mux.bandwidthHz = static_cast<uint32_t>(*v);
  else if (key == "bitrate") mux.bitrate = static_cast<uint64_t>(*v);
  else if (key == "lock_ms") mux.lockDelayMs = static_cast<int>(*v);
  else if (key == "pat_ms") mux.patIntervalMs = static_cast<int>(*v);
  else if (key == "pmt_ms") mux.pmtIntervalMs = static_cast<int>(*v);
  else if (key == "sdt_ms") mux.sdtIntervalMs = static_cast<int>(*v);
  else if (key == "nit_ms") mux.nitIntervalMs = static_cast<int>(*v);
  else if (key == "nit_delivery") mux.nitDelivery = *v != 0;
  else if (key == "eit") mux.guide = *v != 0;
  else if (key == "eit_ms" && *v > 0) mux.eitIntervalMs = static_cast<int>(*v);
  else if (key == "tdt_ms" && *v > 0) mux.tdtIntervalMs = static_cast<int>(*v);
  else if (key == "eit_short_s" && *v > 0) mux.eitShortSeconds = static_cast<int>(*v);
  else if (key == "eit_change_s" && *v >= 0) mux.eitChangeSeconds = static_cast<int>(*v);
  else return false;
  return true;
}

bool parseAdapterLine(const std::vector<std::string>& words, const std::string& baseDir, Band& band,
                      std::string& why) {
  if (words.size() < 2) { why = "adapter needs a number"; return false; }
  auto n = parseInteger(words[1]);
  if (!n || *n < 0 || *n > 255) { why = "bad adapter number"; return false; }
  AdapterConfig a;
  a.number = static_cast<int>(*n);
  for (size_t i = 2; i < words.size(); ++i) {
    auto eq = words[i].find('=');
    std::string key = words[i].substr(0, eq);
    std::string value = eq == std::string::npos ? "" : words[i].substr(eq + 1);
    if (key == "name") a.frontendName = value;
    else if (key == "open" && value == "ok") a.open = OpenOutcome::ok;
    else if (key == "open" && value == "ebusy") a.open = OpenOutcome::busy;
    else if (key == "open" && value == "enoent") a.open = OpenOutcome::missing;
    else if (key == "dvr_opens" && parseInteger(value) && *parseInteger(value) >= 0)
      a.dvrOpens = static_cast<int>(*parseInteger(value));
    else if (key == "busy_while" && !value.empty())
      a.busyWhilePath = value[0] == '/' ? value : baseDir + "/" + value;
    else { why = "unknown adapter setting " + words[i]; return false; }
  }
  band.adapters.push_back(a);
  return true;
}

}  // namespace

const AdapterConfig* Band::adapter(int number) const {
  for (const auto& a : adapters)
    if (a.number == number) return &a;
  return nullptr;
}

const MuxConfig* Band::muxAt(uint32_t frequencyHz, int deliverySystem, uint32_t bandwidthHz) const {
  for (const auto& m : muxes) {
    int64_t off = static_cast<int64_t>(m.frequencyHz) - frequencyHz;
    if (off < 0) off = -off;
    if (off <= toleranceHz && m.deliverySystem == deliverySystem && m.bandwidthHz == bandwidthHz) return &m;
  }
  return nullptr;
}

std::optional<Band> parseBand(const std::string& text, const std::string& baseDir,
                              std::string* error) {
  Band band;
  MuxConfig defaults;
  std::stringstream in(text);
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& why) -> std::optional<Band> {
    if (error) *error = "band line " + std::to_string(lineNo) + ": " + why;
    return std::nullopt;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    auto hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    auto words = splitWords(line);
    if (words.empty()) continue;
    const std::string& kind = words[0];
    if (kind == "adapter") {
      std::string why;
      if (!parseAdapterLine(words, baseDir, band, why)) return fail(why);
    } else if (kind == "tolerance") {
      auto v = words.size() == 2 ? parseInteger(words[1]) : std::nullopt;
      if (!v || *v < 0) return fail("tolerance needs a frequency in Hz");
      band.toleranceHz = static_cast<uint32_t>(*v);
    } else if (kind == "mux" || kind == "defaults") {
      MuxConfig mux = defaults;
      for (size_t i = 1; i < words.size(); ++i) {
        auto eq = words[i].find('=');
        if (eq == std::string::npos) return fail("expected key=value, got " + words[i]);
        if (!applyMuxKey(words[i].substr(0, eq), words[i].substr(eq + 1), baseDir, mux))
          return fail("bad setting " + words[i]);
      }
      if (kind == "defaults") {
        defaults = mux;
        continue;
      }
      if (mux.frequencyHz == 0) return fail("mux needs freq=");
      if (mux.tsPath.empty()) return fail("mux needs ts=");
      if (mux.deliverySystem != 16 && mux.deliverySystem != 3)
        return fail("delsys must be 16 (DVB-T2) or 3 (DVB-T)");
      band.muxes.push_back(mux);
    } else {
      return fail("unknown line kind " + kind);
    }
  }
  return band;
}

std::optional<Band> loadBandFile(const std::string& path, std::string* error) {
  std::ifstream file(path);
  if (!file) {
    if (error) *error = "cannot read band file " + path;
    return std::nullopt;
  }
  std::stringstream text;
  text << file.rdbuf();
  auto slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  if (dir.empty()) dir = "/";
  return parseBand(text.str(), dir, error);
}

}  // namespace vantiro::dvbsim
