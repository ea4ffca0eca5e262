// libdvbv5 (dvbv5-zap, dvbv5-scan) finds its devices through libudev rather
// than by path. These few libudev entry points make the simulated adapters
// appear in a "dvb" enumeration, each with a USB parent like a real stick;
// every other object is handed on to the real libudev untouched.
#include <dlfcn.h>

#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "simulator.h"

extern "C" {
struct udev;
struct udev_enumerate;
struct udev_list_entry;
struct udev_device;
}

namespace vantiro::dvbsim {

namespace {

constexpr char kSysRoot[] = "/sys/devices/dvbsim";

struct FakeListEntry {
  std::string name;
  FakeListEntry* next = nullptr;
};

struct FakeDevice {
  std::string syspath, sysname, subsystem, devnode, devtype;
  std::map<std::string, std::string> properties, sysattrs;
  FakeDevice* parent = nullptr;
};

// The fake objects live as long as the process; their addresses identify them.
struct UdevView {
  std::mutex mutex;
  std::set<const void*> dvbEnumerations;
  std::set<const void*> fakes;
  std::deque<FakeListEntry> entries;
  std::deque<FakeDevice> devices;
  FakeListEntry* list = nullptr;
  bool built = false;

  void build() {
    if (built) return;
    built = true;
    static const char* kTypes[] = {"frontend", "demux", "dvr"};
    FakeListEntry* last = nullptr;
    for (const auto& adapter : Simulator::instance().presentAdapters()) {
      int n = adapter.number;
      FakeDevice& usb = devices.emplace_back();
      usb.sysname = "1-" + std::to_string(n + 1);
      usb.syspath = std::string(kSysRoot) + "/usb1/" + usb.sysname;
      usb.subsystem = "usb";
      usb.devtype = "usb_device";
      usb.sysattrs = {{"idVendor", "0572"}, {"idProduct", "c688"}, {"manufacturer", "Geniatech"},
                      {"product", "MyGica T230C"}, {"serial", "dvbsim" + std::to_string(n)}};
      fakes.insert(&usb);
      for (const char* type : kTypes) {
        FakeDevice& d = devices.emplace_back();
        d.sysname = "dvb" + std::to_string(n) + "." + type + "0";
        d.syspath = usb.syspath + "/dvb/" + d.sysname;
        d.subsystem = "dvb";
        d.devnode = "/dev/dvb/adapter" + std::to_string(n) + "/" + type + "0";
        d.properties = {{"DVB_ADAPTER_NUM", std::to_string(n)}, {"DVB_DEVICE_TYPE", type},
                        {"DVB_DEVICE_NUM", "0"}, {"DEVNAME", d.devnode}, {"SUBSYSTEM", "dvb"}};
        d.parent = &usb;
        fakes.insert(&d);
        FakeListEntry& e = entries.emplace_back();
        e.name = d.syspath;
        fakes.insert(&e);
        if (last) last->next = &e;
        else list = &e;
        last = &e;
      }
    }
  }

  bool isFake(const void* p) {
    std::lock_guard lock(mutex);
    return fakes.count(p) != 0;
  }
};

UdevView& view() {
  static UdevView* v = new UdevView();  // outlives static destruction, like the objects it hands out
  return *v;
}

template <typename F>
F nextUdev(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

const FakeDevice* asFake(udev_device* d) {
  return d && view().isFake(d) ? reinterpret_cast<const FakeDevice*>(d) : nullptr;
}

udev_device* asUdev(const FakeDevice* d) { return reinterpret_cast<udev_device*>(const_cast<FakeDevice*>(d)); }

const char* stringOrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

}  // namespace vantiro::dvbsim

using vantiro::dvbsim::asFake;
using vantiro::dvbsim::asUdev;
using vantiro::dvbsim::FakeDevice;
using vantiro::dvbsim::FakeListEntry;
using vantiro::dvbsim::nextUdev;
using vantiro::dvbsim::stringOrNull;
using vantiro::dvbsim::view;

#define DVBSIM_EXPORT extern "C" __attribute__((visibility("default")))

DVBSIM_EXPORT int udev_enumerate_add_match_subsystem(udev_enumerate* e, const char* subsystem) {
  if (e && subsystem && std::strcmp(subsystem, "dvb") == 0) {
    std::lock_guard lock(view().mutex);
    view().dvbEnumerations.insert(e);
  }
  static auto next = nextUdev<int (*)(udev_enumerate*, const char*)>("udev_enumerate_add_match_subsystem");
  return next ? next(e, subsystem) : 0;
}

DVBSIM_EXPORT udev_list_entry* udev_enumerate_get_list_entry(udev_enumerate* e) {
  auto& v = view();
  {
    std::lock_guard lock(v.mutex);
    if (v.dvbEnumerations.count(e)) {
      // The simulated adapters stand in for whatever the machine has.
      v.build();
      return reinterpret_cast<udev_list_entry*>(v.list);
    }
  }
  static auto next = nextUdev<udev_list_entry* (*)(udev_enumerate*)>("udev_enumerate_get_list_entry");
  return next ? next(e) : nullptr;
}

DVBSIM_EXPORT udev_enumerate* udev_enumerate_unref(udev_enumerate* e) {
  {
    std::lock_guard lock(view().mutex);
    view().dvbEnumerations.erase(e);
  }
  static auto next = nextUdev<udev_enumerate* (*)(udev_enumerate*)>("udev_enumerate_unref");
  return next ? next(e) : nullptr;
}

DVBSIM_EXPORT udev_list_entry* udev_list_entry_get_next(udev_list_entry* entry) {
  if (entry && view().isFake(entry))
    return reinterpret_cast<udev_list_entry*>(reinterpret_cast<FakeListEntry*>(entry)->next);
  static auto next = nextUdev<udev_list_entry* (*)(udev_list_entry*)>("udev_list_entry_get_next");
  return next ? next(entry) : nullptr;
}

DVBSIM_EXPORT const char* udev_list_entry_get_name(udev_list_entry* entry) {
  if (entry && view().isFake(entry)) return reinterpret_cast<FakeListEntry*>(entry)->name.c_str();
  static auto next = nextUdev<const char* (*)(udev_list_entry*)>("udev_list_entry_get_name");
  return next ? next(entry) : nullptr;
}

DVBSIM_EXPORT const char* udev_list_entry_get_value(udev_list_entry* entry) {
  if (entry && view().isFake(entry)) return nullptr;
  static auto next = nextUdev<const char* (*)(udev_list_entry*)>("udev_list_entry_get_value");
  return next ? next(entry) : nullptr;
}

DVBSIM_EXPORT udev_device* udev_device_new_from_syspath(udev* u, const char* syspath) {
  if (syspath && std::strncmp(syspath, vantiro::dvbsim::kSysRoot, sizeof vantiro::dvbsim::kSysRoot - 1) == 0) {
    std::lock_guard lock(view().mutex);
    for (const auto& d : view().devices)
      if (d.syspath == syspath) return asUdev(&d);
    return nullptr;
  }
  static auto next = nextUdev<udev_device* (*)(udev*, const char*)>("udev_device_new_from_syspath");
  return next ? next(u, syspath) : nullptr;
}

DVBSIM_EXPORT udev_device* udev_device_ref(udev_device* d) {
  if (asFake(d)) return d;
  static auto next = nextUdev<udev_device* (*)(udev_device*)>("udev_device_ref");
  return next ? next(d) : nullptr;
}

DVBSIM_EXPORT udev_device* udev_device_unref(udev_device* d) {
  if (asFake(d)) return nullptr;
  static auto next = nextUdev<udev_device* (*)(udev_device*)>("udev_device_unref");
  return next ? next(d) : nullptr;
}

#define DVBSIM_FAKE_GETTER(function, field)                                         \
  DVBSIM_EXPORT const char* function(udev_device* d) {                             \
    if (const FakeDevice* f = asFake(d)) return stringOrNull(f->field);            \
    static auto next = nextUdev<const char* (*)(udev_device*)>(#function);          \
    return next ? next(d) : nullptr;                                                \
  }

DVBSIM_FAKE_GETTER(udev_device_get_syspath, syspath)
DVBSIM_FAKE_GETTER(udev_device_get_sysname, sysname)
DVBSIM_FAKE_GETTER(udev_device_get_subsystem, subsystem)
DVBSIM_FAKE_GETTER(udev_device_get_devnode, devnode)
DVBSIM_FAKE_GETTER(udev_device_get_devtype, devtype)

DVBSIM_EXPORT const char* udev_device_get_action(udev_device* d) {
  if (asFake(d)) return nullptr;
  static auto next = nextUdev<const char* (*)(udev_device*)>("udev_device_get_action");
  return next ? next(d) : nullptr;
}

DVBSIM_EXPORT const char* udev_device_get_property_value(udev_device* d, const char* key) {
  if (const FakeDevice* f = asFake(d)) {
    auto it = key ? f->properties.find(key) : f->properties.end();
    return it == f->properties.end() ? nullptr : it->second.c_str();
  }
  static auto next = nextUdev<const char* (*)(udev_device*, const char*)>("udev_device_get_property_value");
  return next ? next(d, key) : nullptr;
}

DVBSIM_EXPORT const char* udev_device_get_sysattr_value(udev_device* d, const char* name) {
  if (const FakeDevice* f = asFake(d)) {
    auto it = name ? f->sysattrs.find(name) : f->sysattrs.end();
    return it == f->sysattrs.end() ? nullptr : it->second.c_str();
  }
  static auto next = nextUdev<const char* (*)(udev_device*, const char*)>("udev_device_get_sysattr_value");
  return next ? next(d, name) : nullptr;
}

DVBSIM_EXPORT udev_device* udev_device_get_parent(udev_device* d) {
  if (const FakeDevice* f = asFake(d)) return asUdev(f->parent);
  static auto next = nextUdev<udev_device* (*)(udev_device*)>("udev_device_get_parent");
  return next ? next(d) : nullptr;
}

DVBSIM_EXPORT udev_device* udev_device_get_parent_with_subsystem_devtype(udev_device* d, const char* subsystem,
                                                                        const char* devtype) {
  if (const FakeDevice* f = asFake(d)) {
    for (const FakeDevice* p = f->parent; p; p = p->parent)
      if ((!subsystem || p->subsystem == subsystem) && (!devtype || p->devtype == devtype)) return asUdev(p);
    return nullptr;
  }
  static auto next =
      nextUdev<udev_device* (*)(udev_device*, const char*, const char*)>("udev_device_get_parent_with_subsystem_devtype");
  return next ? next(d, subsystem, devtype) : nullptr;
}
