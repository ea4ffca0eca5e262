// What the demodulator makes of the tuning properties a program sent: the
// values the kernel's property cache holds after DTV_CLEAR for those it did
// not send, whether a DVB-T/T2 demodulator can tune them, and a line that
// names them all for the tune log.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vantiro::dvbsim {

// Properties as set since the last DTV_CLEAR (DTV_* command -> value).
using TuningProperties = std::map<uint32_t, uint32_t>;

// Empty when the parameters suit the delivery system; otherwise why the
// driver refuses them ("bandwidth 9000000 Hz is not one of DVB-T's").
std::string tuningProblem(uint32_t deliverySystem, const TuningProperties& properties);

// "FREQUENCY=474000000 BANDWIDTH_HZ=8000000 MODULATION=QAM_AUTO ..." for every
// tuning parameter, the ones not sent at their cleared values.
std::string describeTuning(uint32_t deliverySystem, const TuningProperties& properties);

}  // namespace vantiro::dvbsim
