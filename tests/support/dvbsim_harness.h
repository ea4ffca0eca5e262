#pragma once
// Running C++ tests against the simulated DVB adapter (tools/dvbsim).
//
// The simulator is a preloaded library, so it must be in place when a process
// starts. A test that needs it begins with
//
//     TEST(TunerOnSim, LocksAfterTheDelay) {
//         VANTIRO_UNDER_DVBSIM(vantiro::test::standardBandPath());
//         ... the body runs in a child process that has the simulator ...
//     }
//
// The parent re-runs just this test in a child with LD_PRELOAD (sanitizer
// runtime first in sanitizer builds) and DVBSIM_BAND set, and reports the
// child's failures as its own; it skips when DVBSIM_LIB is not set.
#include <string>

namespace vantiro::test {

// Band file of the standard band (tools/dvbsim/make-band, cached in the build
// directory); empty when it cannot be made.
std::string standardBandPath();

// Directory holding the standard band's multiplex files (mux-474.ts, mux-522.ts).
std::string standardBandDir();

// True in the child (go on with the test body); false in the parent, which has
// run the child and recorded its outcome.
bool runUnderDvbsim(const std::string& bandPath);

}  // namespace vantiro::test

#define VANTIRO_UNDER_DVBSIM(bandPath)                       \
    do {                                                     \
        if (!::vantiro::test::runUnderDvbsim(bandPath)) return; \
    } while (0)
