#include "guide/guide_store.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace vantiro {
namespace {

constexpr std::uint8_t kSectionsPerSegment = 8;

bool overlaps(const EitEvent& a, const EitEvent& b) { return a.start < b.end() && b.start < a.end(); }

// Time ranges already taken by the events merged so far: start -> end, never overlapping.
using TakenTimes = std::map<UnixSeconds, UnixSeconds>;

bool timeTaken(const TakenTimes& taken, const EitEvent& event) {
    auto after = taken.lower_bound(*event.start);
    if (after != taken.end() && after->first < event.end()) return true;
    if (after == taken.begin()) return false;
    return std::prev(after)->second > *event.start;
}

// Adds the events of `source` that are timed and whose id and time are still free.
void addFree(const std::vector<EitEvent>& source, std::set<std::uint16_t>& ids, TakenTimes& taken,
             std::vector<EitEvent>& out) {
    for (const EitEvent& event : source) {
        if (!event.timed() || ids.contains(event.eventId) || timeTaken(taken, event)) continue;
        ids.insert(event.eventId);
        if (event.end() > *event.start) taken[*event.start] = event.end();
        out.push_back(event);
    }
}

bool isSchedule(std::uint8_t tableId) {
    return tableId >= kEitScheduleActualFirst && tableId <= kEitScheduleActualLast;
}

std::size_t eventCount(const std::map<std::uint8_t, std::vector<EitEvent>>& sections) {
    std::size_t count = 0;
    for (const auto& [number, events] : sections) count += events.size();
    return count;
}

}  // namespace

bool GuideStore::addSection(std::uint32_t frequency, const EitSection& section) {
    if (!section.actual() || !section.currentNext) return false;
    std::lock_guard<std::mutex> guard(mutex_);
    const ServiceKey key{frequency, section.serviceId};
    auto found = services_.find(key);
    if (found == services_.end()) {
        if (services_.size() >= kMaxGuideServices) return false;
        found = services_.emplace(key, ServiceGuide{}).first;
    }
    ServiceGuide& guide = found->second;
    auto [tableIt, fresh] = guide.tables.try_emplace(section.tableId);
    SubTable& table = tableIt->second;
    if (!fresh && table.version == section.version && table.sections.contains(section.sectionNumber)) {
        table.cycled = true;  // a repeat of what we hold
        return false;
    }
    if (fresh || table.version != section.version) {
        table = SubTable{};
        table.version = section.version;
    }
    table.lastSection = section.lastSectionNumber;
    table.lastTableId = section.lastTableId;
    table.segmentLastSection[section.sectionNumber / kSectionsPerSegment] = section.segmentLastSectionNumber;

    std::size_t held = 0;
    for (const auto& [id, other] : guide.tables) held += eventCount(other.sections);
    std::vector<EitEvent> events;
    for (const EitEvent& event : section.events)
        if (event.timed() && held + events.size() < kMaxEventsPerService) events.push_back(event);
    // What an earlier run saw gives way for good to what is broadcast now.
    std::erase_if(guide.cached, [&](const EitEvent& old) {
        return std::any_of(events.begin(), events.end(), [&](const EitEvent& event) {
            return event.eventId == old.eventId || overlaps(event, old);
        });
    });
    table.sections[section.sectionNumber] = std::move(events);
    changed();
    return true;
}

void GuideStore::setCachedEvents(const ServiceKey& key, std::vector<EitEvent> events) {
    if (events.size() > kMaxEventsPerService) events.resize(kMaxEventsPerService);
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = services_.find(key);
    if (found == services_.end()) {
        if (events.empty() || services_.size() >= kMaxGuideServices) return;
        found = services_.emplace(key, ServiceGuide{}).first;
    }
    found->second.cached = std::move(events);
    changed();
}

void GuideStore::dropEndedBefore(UnixSeconds time) {
    auto ended = [time](const EitEvent& event) { return event.end() <= time; };
    std::lock_guard<std::mutex> guard(mutex_);
    bool dropped = false;
    for (auto it = services_.begin(); it != services_.end();) {
        ServiceGuide& guide = it->second;
        dropped |= std::erase_if(guide.cached, ended) > 0;
        for (auto& [id, table] : guide.tables)
            for (auto& [number, events] : table.sections) dropped |= std::erase_if(events, ended) > 0;
        bool hasEvents = !guide.cached.empty();
        for (const auto& [id, table] : guide.tables) hasEvents |= eventCount(table.sections) > 0;
        // A service whose tables are all empty keeps them: they still tell the versions held.
        if (!hasEvents && guide.tables.empty()) {
            it = services_.erase(it);
            dropped = true;
        } else {
            ++it;
        }
    }
    if (dropped) changed();
}

std::vector<EitEvent> GuideStore::merged(const ServiceGuide& guide) {
    std::vector<EitEvent> out;
    std::set<std::uint16_t> ids;
    TakenTimes taken;
    // Table ids in ascending order: present/following (0x4E) before the schedule.
    for (const auto& [id, table] : guide.tables)
        for (const auto& [number, events] : table.sections) addFree(events, ids, taken, out);
    addFree(guide.cached, ids, taken, out);
    std::sort(out.begin(), out.end(), [](const EitEvent& a, const EitEvent& b) { return a.start < b.start; });
    return out;
}

std::vector<EitEvent> GuideStore::events(const ServiceKey& key) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = services_.find(key);
    return found == services_.end() ? std::vector<EitEvent>{} : merged(found->second);
}

NowNext GuideStore::nowNext(const ServiceKey& key, UnixSeconds time) const {
    NowNext result;
    for (const EitEvent& event : events(key)) {
        if (!result.now && !result.next && *event.start <= time && time < event.end()) {
            result.now = event;
        } else if (*event.start >= (result.now ? result.now->end() : time) && !result.next) {
            result.next = event;
        }
    }
    return result;
}

std::vector<ServiceEvents> GuideStore::snapshot(std::optional<std::uint32_t> frequency) const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<ServiceEvents> out;
    for (const auto& [key, guide] : services_) {
        if (frequency && key.frequency != *frequency) continue;
        std::vector<EitEvent> events = merged(guide);
        if (!events.empty()) out.push_back({key, std::move(events)});
    }
    return out;
}

bool GuideStore::tableComplete(std::uint8_t tableId, const SubTable& table) {
    if (!isSchedule(tableId)) {
        for (int s = 0; s <= table.lastSection; ++s)
            if (!table.sections.contains(static_cast<std::uint8_t>(s))) return false;
        return true;
    }
    if (!table.cycled || !table.segmentLastSection.contains(table.lastSection / kSectionsPerSegment)) return false;
    for (const auto& [segment, last] : table.segmentLastSection) {
        const int first = segment * kSectionsPerSegment;
        const int end = std::clamp<int>(last, first, first + kSectionsPerSegment - 1);
        for (int s = first; s <= end; ++s)
            if (!table.sections.contains(static_cast<std::uint8_t>(s))) return false;
    }
    return true;
}

bool GuideStore::serviceComplete(const ServiceGuide& guide) {
    auto presentFollowing = guide.tables.find(kEitPresentFollowingActual);
    if (presentFollowing == guide.tables.end() || !tableComplete(presentFollowing->first, presentFollowing->second))
        return false;
    std::uint8_t lastTable = 0;
    for (const auto& [id, table] : guide.tables)
        if (isSchedule(id)) lastTable = std::max({lastTable, id, table.lastTableId});
    if (lastTable == 0) return true;  // no schedule broadcast
    lastTable = std::min(lastTable, kEitScheduleActualLast);
    for (int id = kEitScheduleActualFirst; id <= lastTable; ++id) {
        auto table = guide.tables.find(static_cast<std::uint8_t>(id));
        if (table == guide.tables.end() || !tableComplete(table->first, table->second)) return false;
    }
    return true;
}

bool GuideStore::complete(std::uint32_t frequency) const {
    std::lock_guard<std::mutex> guard(mutex_);
    bool any = false;
    for (const auto& [key, guide] : services_) {
        if (key.frequency != frequency || guide.tables.empty()) continue;
        if (!serviceComplete(guide)) return false;
        any = true;
    }
    return any;
}

bool GuideStore::hasSchedule(std::uint32_t frequency) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& [key, guide] : services_) {
        if (key.frequency != frequency) continue;
        for (const auto& [id, table] : guide.tables)
            if (isSchedule(id)) return true;
    }
    return false;
}

bool GuideStore::empty() const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& [key, guide] : services_) {
        if (!guide.cached.empty()) return false;
        for (const auto& [id, table] : guide.tables)
            if (eventCount(table.sections) > 0) return false;
    }
    return true;
}

}  // namespace vantiro
