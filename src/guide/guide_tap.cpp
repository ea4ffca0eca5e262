#include "guide/guide_tap.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "dvb/section_tap.h"
#include "dvb/tuned_mux.h"
#include "guide/eit.h"

namespace vantiro {

namespace {

// VANTIRO_GUIDE=0 leaves the guide collector out (troubleshooting, and the
// benchmark that times zapping with and without it). Read once per process.
bool guideEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("VANTIRO_GUIDE");
        return value == nullptr || std::strcmp(value, "0") != 0;
    }();
    return enabled;
}

}  // namespace

bool GuideTap::joined() const { return membership_.consumer() != nullptr && ended_ && !ended_->load(); }

void GuideTap::follow(TunedMux& mux) {
    if (!guideEnabled() || !mux.sourceRunning()) return;
    if (joined() && frequency_ == mux.frequency()) return;
    leave();
    frequency_ = mux.frequency();
    collector_.setMultiplex(frequency_);
    GuideCollector& collector = collector_;
    auto tap = std::make_shared<SectionTap>(std::vector<std::uint16_t>{kEitPid},
                                            [&collector](std::uint16_t, SectionBytes section) {
                                                collector.pushSection(section);
                                            });
    auto ended = std::make_shared<std::atomic<bool>>(false);
    tap->setEndHandler([ended] { ended->store(true); });
    ended_ = ended;
    membership_ = mux.addConsumer(std::move(tap));
}

void GuideTap::leave() {
    membership_.reset();
    ended_.reset();
}

}  // namespace vantiro
