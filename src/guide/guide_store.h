#pragma once
#include <atomic>
#include <compare>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "guide/eit.h"

namespace vantiro {

// A service of a multiplex: the multiplex's centre frequency (Hz) and the service id.
struct ServiceKey {
    std::uint32_t frequency = 0;
    std::uint16_t serviceId = 0;
    auto operator<=>(const ServiceKey&) const = default;
};

// The events of one service, as kept on disk and handed to writers.
struct ServiceEvents {
    ServiceKey key;
    std::vector<EitEvent> events;  // by start time, no two overlapping
};

struct NowNext {
    std::optional<EitEvent> now;
    std::optional<EitEvent> next;
};

// Bounds that keep a broken or hostile broadcast from growing the store without end.
inline constexpr std::size_t kMaxGuideServices = 1024;
inline constexpr std::size_t kMaxEventsPerService = 2000;

// The programme guide of every service seen, fed by EIT sections and by the disk cache.
//
// Per service it keeps each EIT sub-table (table id) with its version and its
// sections: a section of a new version replaces the whole sub-table, a repeat of a
// known section changes nothing. The events of a service are the union of its
// sub-tables, present/following first, then the schedule tables, then cached events,
// an event being left out when its id or its time is already taken by one before it.
//
// Thread-safe: one collector thread adds, any thread reads. `revision` changes with
// every change of content, so that a reader can tell cheaply when to look again.
class GuideStore {
public:
    GuideStore() = default;
    GuideStore(const GuideStore&) = delete;
    GuideStore& operator=(const GuideStore&) = delete;

    // Adds a section received on the multiplex at `frequency`. Tables of other
    // multiplexes and not yet valid (next) versions are ignored. True when the
    // store changed.
    bool addSection(std::uint32_t frequency, const EitSection& section);

    // Replaces the cached events of a service (what an earlier run saw).
    void setCachedEvents(const ServiceKey& key, std::vector<EitEvent> events);

    // Drops events that ended at or before `time` (and sub-tables left empty).
    void dropEndedBefore(UnixSeconds time);

    std::vector<EitEvent> events(const ServiceKey& key) const;
    NowNext nowNext(const ServiceKey& key, UnixSeconds time) const;
    // Every service with events, optionally only those of one multiplex.
    std::vector<ServiceEvents> snapshot(std::optional<std::uint32_t> frequency = std::nullopt) const;

    // Every service of the multiplex that sent tables has all sections of its
    // present/following table, and of each schedule table up to the last table id
    // the sections of every segment sent, the last segment included, after the
    // table's carousel went round once (broadcasters leave out past and empty
    // segments). False while nothing arrived.
    bool complete(std::uint32_t frequency) const;
    // Some service of the multiplex sent a schedule table (0x50-0x5F).
    bool hasSchedule(std::uint32_t frequency) const;

    bool empty() const;
    std::uint64_t revision() const { return revision_.load(); }

private:
    struct SubTable {
        std::uint8_t version = 0;
        std::uint8_t lastSection = 0;
        std::uint8_t lastTableId = 0;
        std::map<std::uint8_t, std::uint8_t> segmentLastSection;  // segment -> last section number
        bool cycled = false;  // a held section came again: the carousel went round once
        std::map<std::uint8_t, std::vector<EitEvent>> sections;
    };
    struct ServiceGuide {
        std::map<std::uint8_t, SubTable> tables;
        std::vector<EitEvent> cached;
    };

    static std::vector<EitEvent> merged(const ServiceGuide& guide);
    static bool tableComplete(std::uint8_t tableId, const SubTable& table);
    static bool serviceComplete(const ServiceGuide& guide);
    void changed() { revision_.fetch_add(1); }

    mutable std::mutex mutex_;
    std::map<ServiceKey, ServiceGuide> services_;
    std::atomic<std::uint64_t> revision_{0};
};

}  // namespace vantiro
