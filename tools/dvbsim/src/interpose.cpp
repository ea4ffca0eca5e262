// The symbols the preloaded library puts in front of the C library (and of
// libudev, through which libdvbv5 finds its devices). Paths and descriptors
// that are not simulated DVB devices go straight to the next definition.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "simulator.h"

namespace vantiro::dvbsim {

namespace {

template <typename F>
F nextSymbol(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

struct RealCalls {
  int (*open)(const char*, int, ...) = nextSymbol<int (*)(const char*, int, ...)>("open");
  int (*open64)(const char*, int, ...) = nextSymbol<int (*)(const char*, int, ...)>("open64");
  int (*openat)(int, const char*, int, ...) = nextSymbol<int (*)(int, const char*, int, ...)>("openat");
  int (*openat64)(int, const char*, int, ...) = nextSymbol<int (*)(int, const char*, int, ...)>("openat64");
  int (*open_2)(const char*, int) = nextSymbol<int (*)(const char*, int)>("__open_2");
  int (*open64_2)(const char*, int) = nextSymbol<int (*)(const char*, int)>("__open64_2");
  int (*openat_2)(int, const char*, int) = nextSymbol<int (*)(int, const char*, int)>("__openat_2");
  int (*openat64_2)(int, const char*, int) = nextSymbol<int (*)(int, const char*, int)>("__openat64_2");
  int (*close)(int) = nextSymbol<int (*)(int)>("close");
  int (*ioctl)(int, unsigned long, ...) = nextSymbol<int (*)(int, unsigned long, ...)>("ioctl");
  ssize_t (*read)(int, void*, size_t) = nextSymbol<ssize_t (*)(int, void*, size_t)>("read");
  ssize_t (*read_chk)(int, void*, size_t, size_t) = nextSymbol<ssize_t (*)(int, void*, size_t, size_t)>("__read_chk");
};

const RealCalls& real() {
  static const RealCalls calls;
  return calls;
}

bool needsMode(int flags) { return (flags & O_CREAT) || ((flags & O_TMPFILE) == O_TMPFILE); }

// Opens a simulated device when the path names one; nullopt otherwise.
std::optional<int> openSimulated(const char* path, int flags) {
  auto device = parseDevicePath(path);
  if (!device) return std::nullopt;
  return Simulator::instance().open(*device, flags);
}

}  // namespace

const LibcCalls& libc() {
  static const LibcCalls calls = [] {
    LibcCalls c;
    c.open = real().open;
    c.close = real().close;
    c.read = real().read;
    c.ioctl = real().ioctl;
    return c;
  }();
  return calls;
}

}  // namespace vantiro::dvbsim

using vantiro::dvbsim::openSimulated;
using vantiro::dvbsim::real;
using vantiro::dvbsim::Simulator;

#define DVBSIM_EXPORT extern "C" __attribute__((visibility("default")))

DVBSIM_EXPORT int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (vantiro::dvbsim::needsMode(flags)) {
    va_list ap;
    va_start(ap, flags);
    mode = va_arg(ap, mode_t);
    va_end(ap);
  }
  if (auto fd = openSimulated(path, flags)) return *fd;
  if (!real().open) return static_cast<int>(syscall(SYS_openat, AT_FDCWD, path, flags, mode));
  return real().open(path, flags, mode);
}

DVBSIM_EXPORT int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (vantiro::dvbsim::needsMode(flags)) {
    va_list ap;
    va_start(ap, flags);
    mode = va_arg(ap, mode_t);
    va_end(ap);
  }
  if (auto fd = openSimulated(path, flags)) return *fd;
  return real().open64(path, flags, mode);
}

DVBSIM_EXPORT int openat(int dirfd, const char* path, int flags, ...) {
  mode_t mode = 0;
  if (vantiro::dvbsim::needsMode(flags)) {
    va_list ap;
    va_start(ap, flags);
    mode = va_arg(ap, mode_t);
    va_end(ap);
  }
  if (auto fd = openSimulated(path, flags)) return *fd;
  return real().openat(dirfd, path, flags, mode);
}

DVBSIM_EXPORT int openat64(int dirfd, const char* path, int flags, ...) {
  mode_t mode = 0;
  if (vantiro::dvbsim::needsMode(flags)) {
    va_list ap;
    va_start(ap, flags);
    mode = va_arg(ap, mode_t);
    va_end(ap);
  }
  if (auto fd = openSimulated(path, flags)) return *fd;
  return real().openat64(dirfd, path, flags, mode);
}

DVBSIM_EXPORT int __open_2(const char* path, int flags) {
  if (auto fd = openSimulated(path, flags)) return *fd;
  return real().open_2(path, flags);
}

DVBSIM_EXPORT int __open64_2(const char* path, int flags) {
  if (auto fd = openSimulated(path, flags)) return *fd;
  return real().open64_2(path, flags);
}

DVBSIM_EXPORT int __openat_2(int dirfd, const char* path, int flags) {
  if (auto fd = openSimulated(path, flags)) return *fd;
  return real().openat_2(dirfd, path, flags);
}

DVBSIM_EXPORT int __openat64_2(int dirfd, const char* path, int flags) {
  if (auto fd = openSimulated(path, flags)) return *fd;
  return real().openat64_2(dirfd, path, flags);
}

DVBSIM_EXPORT int close(int fd) {
  if (auto* sim = Simulator::existing(); sim && sim->isSimulated(fd)) sim->close(fd);
  if (!real().close) return static_cast<int>(syscall(SYS_close, fd));
  return real().close(fd);
}

DVBSIM_EXPORT int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  int result = 0;
  if (auto* sim = Simulator::existing(); sim && sim->isSimulated(fd) && sim->ioctl(fd, request, arg, &result))
    return result;
  return real().ioctl(fd, request, arg);
}

DVBSIM_EXPORT ssize_t read(int fd, void* buffer, size_t count) {
  ssize_t result = 0;
  if (auto* sim = Simulator::existing(); sim && sim->isSimulated(fd) && sim->takePendingError(fd, &result))
    return result;
  if (!real().read) return syscall(SYS_read, fd, buffer, count);
  return real().read(fd, buffer, count);
}

DVBSIM_EXPORT ssize_t __read_chk(int fd, void* buffer, size_t count, size_t bufferSize) {
  ssize_t result = 0;
  if (auto* sim = Simulator::existing(); sim && sim->isSimulated(fd) && sim->takePendingError(fd, &result))
    return result;
  return real().read_chk(fd, buffer, count, bufferSize);
}
