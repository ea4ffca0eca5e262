// The simulated adapters: device state behind the intercepted descriptors and
// the thread that plays the band into them. All state is guarded by one mutex;
// the descriptors handed to the program are real sockets and pipes, so poll,
// select and read behave natively.
#pragma once

#include <atomic>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "band.h"
#include "carousel.h"
#include "live_mux.h"
#include "psi.h"
#include "ts_source.h"

namespace vantiro::dvbsim {

enum class DeviceKind : uint8_t { none, frontend, demux, dvr };

struct DevicePath {
  int adapter = 0;
  DeviceKind kind = DeviceKind::none;
  int index = 0;
};

// "/dev/dvb/adapterN/frontend0" and friends; nullopt for every other path.
std::optional<DevicePath> parseDevicePath(const char* path);

// Functions of the C library the simulator itself calls (resolved past the
// interposed ones).
struct LibcCalls {
  int (*open)(const char*, int, ...) = nullptr;
  int (*close)(int) = nullptr;
  ssize_t (*read)(int, void*, size_t) = nullptr;
  int (*ioctl)(int, unsigned long, ...) = nullptr;
};
const LibcCalls& libc();

class Simulator {
 public:
  // One tune as the demodulator received it (for the tune log).
  struct TuneRecord {
    uint32_t frequency = 0;
    uint32_t deliverySystem = 0;
    std::map<uint32_t, uint32_t> properties;
    std::string problem;  // why the driver refuses it; empty when it tunes
  };

  static Simulator& instance();
  // The simulator if any device was opened so far (no allocation otherwise).
  static Simulator* existing() { return current_.load(std::memory_order_acquire); }

  // Returns the program's descriptor, or -1 with errno set.
  int open(const DevicePath& path, int flags);
  // True when fd is a simulated device; then *result holds the ioctl's return.
  bool ioctl(int fd, unsigned long request, void* arg, int* result);
  bool close(int fd);
  // Reads from a DVR or demux descriptor report a pending EOVERFLOW/ETIMEDOUT
  // first, like the kernel does; returns true when it answered the read.
  bool takePendingError(int fd, ssize_t* result);

  bool isSimulated(int fd) const {
    return fd >= 0 && fd < kFastFds && kinds_[fd].load(std::memory_order_acquire) != 0;
  }

  // Adapters that exist (for the udev view of libdvbv5 users).
  std::vector<AdapterConfig> presentAdapters();

 private:
  static constexpr int kFastFds = 65536;
  struct Adapter;
  struct Handle;
  struct TsFeed;

  Simulator() = default;
  bool ensureBand(std::string* error);
  Adapter* adapterState(int number);
  std::shared_ptr<LiveMux> liveMux(const MuxConfig& config);

  int frontendIoctl(Handle& h, unsigned long request, void* arg);
  int demuxIoctl(Handle& h, unsigned long request, void* arg);
  int setProperties(Handle& h, void* arg);
  int getProperties(Handle& h, void* arg);
  void tune(Adapter& a);
  uint32_t frontendStatus(const Adapter& a, Clock::time_point now) const;
  bool lockedAt(const Adapter& a, Clock::time_point now) const;
  bool fadingAt(const Adapter& a, Clock::time_point now) const;
  // When the lock that holds at `now` began: the tune's lock, or its return
  // after a lost lock or a fade.
  Clock::time_point lockGainedAt(const Adapter& a, Clock::time_point now) const;
  int replaceDemuxSocket(Handle& h, int type);
  void flushDescriptor(int fd, bool isSocket);

  void ensureThread();
  void prepareFork();
  void afterForkInParent();
  void afterForkInChild();
  void run();
  void tick(Clock::time_point now);
  void pumpSections(Handle& h, Adapter& a, Clock::time_point now);
  void pumpTs(TsFeed& feed, Adapter& a, Clock::time_point now, const std::bitset<8192>& pids,
              bool allPids, size_t capacity);
  void queueDueTables(TsFeed& feed, const Adapter& a, Clock::time_point now, const std::bitset<8192>& pids,
                      bool allPids);
  void deliver(TsFeed& feed, size_t capacity);
  void injectOverflows(Adapter& a, Clock::time_point now);
  void flushQueuedSections(Handle& h);
  void setPendingError(int fd, int error);

  static inline std::atomic<Simulator*> current_{nullptr};

  std::mutex mutex_;
  std::condition_variable wake_;
  bool bandLoaded_ = false;
  std::optional<Band> band_;
  std::string bandError_;
  std::map<int, std::unique_ptr<Adapter>> adapters_;
  std::map<std::string, std::shared_ptr<LiveMux>> muxes_;
  // First lock of each multiplex with a fade: the air's clock for that fade.
  std::map<const MuxConfig*, Clock::time_point> fadeAnchors_;
  std::map<int, std::unique_ptr<Handle>> handles_;
  bool threadStarted_ = false;
  std::atomic<uint8_t> kinds_[kFastFds] = {};
  std::atomic<int> pendingErrors_[kFastFds] = {};
};

}  // namespace vantiro::dvbsim
