#include "tuning.h"

#include <linux/dvb/frontend.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace vantiro::dvbsim {

namespace {

struct Parameter {
  uint32_t command;
  const char* name;
  uint32_t cleared;  // what DTV_CLEAR leaves in the kernel's property cache
  std::vector<std::pair<uint32_t, const char*>> names;
};

const std::vector<Parameter>& parameters() {
  static const std::vector<Parameter> list = {
      {DTV_FREQUENCY, "FREQUENCY", 0, {}},
      {DTV_BANDWIDTH_HZ, "BANDWIDTH_HZ", 0, {}},
      {DTV_MODULATION, "MODULATION", QAM_AUTO,
       {{QPSK, "QPSK"}, {QAM_16, "QAM_16"}, {QAM_32, "QAM_32"}, {QAM_64, "QAM_64"}, {QAM_128, "QAM_128"},
        {QAM_256, "QAM_256"}, {QAM_AUTO, "QAM_AUTO"}}},
      {DTV_CODE_RATE_HP, "CODE_RATE_HP", FEC_AUTO, {}},
      {DTV_CODE_RATE_LP, "CODE_RATE_LP", FEC_AUTO, {}},
      {DTV_GUARD_INTERVAL, "GUARD_INTERVAL", GUARD_INTERVAL_AUTO,
       {{GUARD_INTERVAL_1_32, "1/32"}, {GUARD_INTERVAL_1_16, "1/16"}, {GUARD_INTERVAL_1_8, "1/8"},
        {GUARD_INTERVAL_1_4, "1/4"}, {GUARD_INTERVAL_AUTO, "AUTO"}, {GUARD_INTERVAL_1_128, "1/128"},
        {GUARD_INTERVAL_19_128, "19/128"}, {GUARD_INTERVAL_19_256, "19/256"}}},
      {DTV_TRANSMISSION_MODE, "TRANSMISSION_MODE", TRANSMISSION_MODE_AUTO,
       {{TRANSMISSION_MODE_2K, "2K"}, {TRANSMISSION_MODE_8K, "8K"}, {TRANSMISSION_MODE_AUTO, "AUTO"},
        {TRANSMISSION_MODE_4K, "4K"}, {TRANSMISSION_MODE_1K, "1K"}, {TRANSMISSION_MODE_16K, "16K"},
        {TRANSMISSION_MODE_32K, "32K"}}},
      {DTV_HIERARCHY, "HIERARCHY", HIERARCHY_AUTO,
       {{HIERARCHY_NONE, "NONE"}, {HIERARCHY_1, "1"}, {HIERARCHY_2, "2"}, {HIERARCHY_4, "4"},
        {HIERARCHY_AUTO, "AUTO"}}},
      {DTV_INVERSION, "INVERSION", INVERSION_AUTO,
       {{INVERSION_OFF, "OFF"}, {INVERSION_ON, "ON"}, {INVERSION_AUTO, "AUTO"}}},
      {DTV_STREAM_ID, "STREAM_ID", NO_STREAM_ID_FILTER, {}},
  };
  return list;
}

const std::vector<std::pair<uint32_t, const char*>>& fecNames() {
  static const std::vector<std::pair<uint32_t, const char*>> names = {
      {FEC_NONE, "NONE"}, {FEC_1_2, "1/2"}, {FEC_2_3, "2/3"}, {FEC_3_4, "3/4"}, {FEC_4_5, "4/5"},
      {FEC_5_6, "5/6"},   {FEC_6_7, "6/7"}, {FEC_7_8, "7/8"}, {FEC_8_9, "8/9"}, {FEC_AUTO, "AUTO"},
      {FEC_3_5, "3/5"},   {FEC_9_10, "9/10"}, {FEC_2_5, "2/5"}};
  return names;
}

uint32_t valueOf(const TuningProperties& properties, const Parameter& p) {
  auto it = properties.find(p.command);
  return it != properties.end() ? it->second : p.cleared;
}

bool oneOf(uint32_t value, std::initializer_list<uint32_t> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

std::string nameOf(uint32_t value, const std::vector<std::pair<uint32_t, const char*>>& names) {
  for (const auto& [v, name] : names)
    if (v == value) return name;
  return std::to_string(value);
}

const Parameter& parameter(uint32_t command) {
  for (const auto& p : parameters())
    if (p.command == command) return p;
  return parameters().front();
}

}  // namespace

std::string tuningProblem(uint32_t deliverySystem, const TuningProperties& properties) {
  if (deliverySystem != SYS_DVBT && deliverySystem != SYS_DVBT2) return "";  // DVB-C: no multiplex to lock anyway
  bool t2 = deliverySystem == SYS_DVBT2;
  const char* system = t2 ? "DVB-T2" : "DVB-T";
  auto value = [&](uint32_t command) { return valueOf(properties, parameter(command)); };
  auto refuse = [&](const char* what, const std::string& shown) {
    return std::string(what) + " " + shown + " is not one of " + system + "'s";
  };

  // The Si2168 refuses a tune without a bandwidth; the standards know these.
  uint32_t bandwidth = value(DTV_BANDWIDTH_HZ);
  bool bandwidthOk = t2 ? oneOf(bandwidth, {1712000, 5000000, 6000000, 7000000, 8000000, 10000000})
                        : oneOf(bandwidth, {5000000, 6000000, 7000000, 8000000});
  if (!bandwidthOk) return refuse("bandwidth", std::to_string(bandwidth) + " Hz");

  uint32_t modulation = value(DTV_MODULATION);
  bool modulationOk = t2 ? oneOf(modulation, {QPSK, QAM_16, QAM_64, QAM_256, QAM_AUTO})
                         : oneOf(modulation, {QPSK, QAM_16, QAM_64, QAM_AUTO});
  if (!modulationOk) return refuse("modulation", nameOf(modulation, parameter(DTV_MODULATION).names));

  for (uint32_t command : {DTV_CODE_RATE_HP, DTV_CODE_RATE_LP}) {
    uint32_t rate = value(command);
    bool ok = t2 ? oneOf(rate, {FEC_NONE, FEC_1_2, FEC_3_5, FEC_2_3, FEC_3_4, FEC_4_5, FEC_5_6, FEC_AUTO})
                 : oneOf(rate, {FEC_NONE, FEC_1_2, FEC_2_3, FEC_3_4, FEC_5_6, FEC_7_8, FEC_AUTO});
    if (!ok) return refuse(command == DTV_CODE_RATE_HP ? "code rate HP" : "code rate LP", nameOf(rate, fecNames()));
  }

  uint32_t guard = value(DTV_GUARD_INTERVAL);
  bool guardOk = oneOf(guard, {GUARD_INTERVAL_1_32, GUARD_INTERVAL_1_16, GUARD_INTERVAL_1_8, GUARD_INTERVAL_1_4,
                               GUARD_INTERVAL_AUTO}) ||
                 (t2 && oneOf(guard, {GUARD_INTERVAL_1_128, GUARD_INTERVAL_19_128, GUARD_INTERVAL_19_256}));
  if (!guardOk) return refuse("guard interval", nameOf(guard, parameter(DTV_GUARD_INTERVAL).names));

  uint32_t mode = value(DTV_TRANSMISSION_MODE);
  bool modeOk = oneOf(mode, {TRANSMISSION_MODE_2K, TRANSMISSION_MODE_8K, TRANSMISSION_MODE_AUTO}) ||
                (t2 && oneOf(mode, {TRANSMISSION_MODE_1K, TRANSMISSION_MODE_4K, TRANSMISSION_MODE_16K,
                                    TRANSMISSION_MODE_32K}));
  if (!modeOk) return refuse("transmission mode", nameOf(mode, parameter(DTV_TRANSMISSION_MODE).names));

  uint32_t hierarchy = value(DTV_HIERARCHY);
  bool hierarchyOk = t2 ? oneOf(hierarchy, {HIERARCHY_NONE, HIERARCHY_AUTO})
                        : oneOf(hierarchy, {HIERARCHY_NONE, HIERARCHY_1, HIERARCHY_2, HIERARCHY_4, HIERARCHY_AUTO});
  if (!hierarchyOk) return refuse("hierarchy", nameOf(hierarchy, parameter(DTV_HIERARCHY).names));

  uint32_t inversion = value(DTV_INVERSION);
  if (!oneOf(inversion, {INVERSION_OFF, INVERSION_ON, INVERSION_AUTO}))
    return refuse("inversion", std::to_string(inversion));
  return "";
}

std::string describeTuning(uint32_t deliverySystem, const TuningProperties& properties) {
  std::string line = "DELIVERY_SYSTEM=" + std::string(deliverySystem == SYS_DVBT2 ? "DVBT2"
                                                      : deliverySystem == SYS_DVBT ? "DVBT"
                                                      : deliverySystem == SYS_DVBC_ANNEX_A ? "DVBC/ANNEX_A"
                                                                                           : std::to_string(deliverySystem));
  for (const auto& p : parameters()) {
    uint32_t v = valueOf(properties, p);
    std::string shown;
    if (p.command == DTV_CODE_RATE_HP || p.command == DTV_CODE_RATE_LP) shown = nameOf(v, fecNames());
    else if (!p.names.empty()) shown = nameOf(v, p.names);
    else shown = std::to_string(v);
    line += " " + std::string(p.name) + "=" + shown;
  }
  return line;
}

}  // namespace vantiro::dvbsim
