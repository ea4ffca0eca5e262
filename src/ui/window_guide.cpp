#include "ui/window_guide.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

#include "guide/guide_cache.h"
#include "guide/guide_channel.h"
#include "dvb/tuned_mux.h"

namespace vantiro {
namespace {

// A changed guide is written at most this often while watching (and at the end).
constexpr UnixSeconds kSaveEverySeconds = 60;

}  // namespace

WindowGuide::WindowGuide(std::string cacheDirectory) : cacheDirectory_(std::move(cacheDirectory)) {}

WindowGuide::~WindowGuide() { saveIfChanged(); }

void WindowGuide::loadCache() {
    loadGuideCache(cacheDirectory_, store_);
    savedRevision_ = store_.revision();
}

void WindowGuide::saveIfChanged() {
    const std::uint64_t revision = store_.revision();
    if (frequency_ == 0 || revision == savedRevision_) return;
    std::string error;
    if (!saveGuideCache(cacheDirectory_, store_, frequency_, &error))
        std::fprintf(stderr, "vantiro: %s\n", error.c_str());
    savedRevision_ = revision;
}

void WindowGuide::channelStarted(const Channel& channel) {
    const std::uint32_t frequency = channel.isOnline() ? 0 : channel.frequency;
    if (frequency == frequency_) return;
    saveIfChanged();
    frequency_ = frequency;
    if (frequency == 0) tap_.leave();
}

void WindowGuide::follow(TunedMux& mux) {
    if (mux.frequency() != frequency_) {
        saveIfChanged();
        frequency_ = mux.frequency();
    }
    tap_.follow(mux);
}

void WindowGuide::refresh(const std::vector<Channel>& channels, int currentIndex, UnixSeconds now) {
    if (now - lastSave_ >= kSaveEverySeconds) {
        lastSave_ = now;
        store_.dropEndedBefore(now);
        saveIfChanged();
    }
    const std::uint64_t revision = store_.revision();
    if (revision == viewRevision_ && now < viewUntil_ && currentIndex == viewIndex_ &&
        channels.size() == viewChannels_)
        return;
    viewRevision_ = revision;
    viewIndex_ = currentIndex;
    viewChannels_ = channels.size();
    viewUntil_ = std::numeric_limits<UnixSeconds>::max();
    auto until = [&](const NowNext& nowNext) {
        if (nowNext.now) viewUntil_ = std::min(viewUntil_, nowNext.now->end());
        if (nowNext.next) viewUntil_ = std::min(viewUntil_, *nowNext.next->start);
    };

    current_.reset();
    rowTitles_.assign(channels.size(), std::string());
    bool anyTitle = false;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (channels[i].isOnline()) continue;
        NowNext nowNext = store_.nowNext(serviceKeyOf(channels[i]), now);
        until(nowNext);
        if (nowNext.now) {
            rowTitles_[i] = nowNext.now->title;
            anyTitle = anyTitle || !rowTitles_[i].empty();
        }
        if (static_cast<int>(i) == currentIndex && (nowNext.now || nowNext.next)) current_ = std::move(nowNext);
    }
    if (!anyTitle) rowTitles_.clear();
    if (!current_) infoOpen_ = false;
}

const EitEvent* WindowGuide::infoEvent() const {
    if (!current_) return nullptr;
    return current_->now ? &*current_->now : &*current_->next;
}

bool WindowGuide::toggleInfo() {
    if (infoOpen_) {
        infoOpen_ = false;
        return true;
    }
    if (!infoEvent()) return false;
    infoOpen_ = true;
    infoScrollLines_ = 0;
    return true;
}

int WindowGuide::takeInfoScroll() { return std::exchange(infoScrollLines_, 0); }

}  // namespace vantiro
