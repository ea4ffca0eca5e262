#include "dvb/pid_demand.h"

#include <unistd.h>

#include <cstdint>

namespace vantiro {

void PidDemand::changed() {
    changed_.store(true);
    std::lock_guard<std::mutex> guard(mutex_);
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);  // non-blocking eventfd
}

void PidDemand::setWakeFd(int fd) {
    std::lock_guard<std::mutex> guard(mutex_);
    wakeFd_ = fd;
}

}  // namespace vantiro
