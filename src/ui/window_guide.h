#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channels/channel.h"
#include "guide/guide_collector.h"
#include "guide/guide_store.h"
#include "guide/guide_tap.h"

namespace vantiro {

// The programme guide as the window uses it: the store (from the disk cache and from
// the tuned multiplex's EIT), what the overlay shows of it, and the info panel's state.
//
// Everything but the collector's section handler belongs to the main thread. The
// handler runs on the thread that reads the multiplex; it only feeds the store.
class WindowGuide {
public:
    explicit WindowGuide(std::string cacheDirectory);
    // Saves the guide of the tuned multiplex when the broadcast changed it.
    ~WindowGuide();
    WindowGuide(const WindowGuide&) = delete;
    WindowGuide& operator=(const WindowGuide&) = delete;

    // What an earlier run saw (a corrupt cache is skipped with a warning).
    void loadCache();

    // The channel that now plays: a tuner channel's multiplex becomes the one whose
    // sections arrive next; the guide of the multiplex left is saved.
    void channelStarted(const Channel& channel);

    // After the tuned multiplex's source started: reads its EIT from then on
    // (joins the reader as a section tap unless joined already).
    void follow(TunedMux& mux);
    GuideCollector& collector() { return collector_; }
    GuideStore& store() { return store_; }

    // Brings the view up to date at wall-clock `now`: cheap unless the store changed
    // or a programme began or ended. Saves a changed guide now and then.
    void refresh(const std::vector<Channel>& channels, int currentIndex, UnixSeconds now);

    // Now/next of the current channel; null when it has no guide data.
    const NowNext* current() const { return current_ ? &*current_ : nullptr; }
    // Per channel row the title on air, "" for none; empty when no row has one.
    const std::vector<std::string>& rowTitles() const { return rowTitles_; }
    // The event the info panel shows: the current one, else the next one.
    const EitEvent* infoEvent() const;

    bool infoOpen() const { return infoOpen_; }
    // Opens the info panel, or closes it; false when there is nothing to show.
    bool toggleInfo();
    void closeInfo() { infoOpen_ = false; }
    // Lines to scroll the info panel's text by on the next frame (taken by the drawer).
    void scrollInfo(int lines) { infoScrollLines_ += lines; }
    int takeInfoScroll();

private:
    void saveIfChanged();

    std::string cacheDirectory_;
    GuideStore store_;
    GuideCollector collector_{store_, 0};
    GuideTap tap_{collector_};  // after the collector: leaves the reader before the collector goes
    std::uint32_t frequency_ = 0;
    std::uint64_t savedRevision_ = 0;
    UnixSeconds lastSave_ = 0;

    std::uint64_t viewRevision_ = ~0ull;
    UnixSeconds viewUntil_ = 0;
    int viewIndex_ = -1;
    std::size_t viewChannels_ = 0;
    std::optional<NowNext> current_;
    std::vector<std::string> rowTitles_;

    bool infoOpen_ = false;
    int infoScrollLines_ = 0;
};

}  // namespace vantiro
