#include "shell/guide_command.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "channels/channel_list.h"
#include "dvb/section_reader.h"
#include "dvb/tuner.h"
#include "guide/eit.h"
#include "guide/guide_cache.h"
#include "guide/guide_channel.h"
#include "guide/guide_collector.h"
#include "guide/now_next_text.h"

namespace vantiro {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kGuideAdapter = 0;
constexpr int kMaxGuideSeconds = 600;
constexpr int kReadSliceMs = 250;
// Broadcasters repeat the first day of the schedule about every 10 s: a multiplex
// that sent none by then is taken to have only present/following.
constexpr auto kScheduleWait = std::chrono::seconds(10);
constexpr std::uint32_t kHzPerMHz = 1000000;
// 0x4E and 0x50-0x5F, the EIT of the tuned multiplex (and 0x4F, left to the store).
constexpr std::uint8_t kEitFilterTableId = 0x40;
constexpr std::uint8_t kEitFilterMask = 0xE0;

UnixSeconds wallClock() { return static_cast<UnixSeconds>(std::time(nullptr)); }

// The channel named by its name or its 1-based number, else none.
std::vector<Channel> namedChannel(const std::vector<Channel>& all, const std::string& wanted) {
    for (const Channel& channel : all)
        if (!channel.isOnline() && channel.name == wanted) return {channel};
    char* end = nullptr;
    long number = std::strtol(wanted.c_str(), &end, 10);
    if (end && *end == '\0' && number >= 1 && static_cast<std::size_t>(number) <= all.size() &&
        !all[static_cast<std::size_t>(number - 1)].isOnline())
        return {all[static_cast<std::size_t>(number - 1)]};
    return {};
}

// The channels the command is about: every tuner channel, or with a channel named
// every tuner channel of its multiplex (one tune gives the guide of all of them).
std::vector<Channel> chosenChannels(const std::vector<Channel>& all, const std::string& wanted) {
    std::vector<Channel> named = namedChannel(all, wanted);
    if (!wanted.empty() && named.empty()) return {};
    std::vector<Channel> chosen;
    for (const Channel& channel : all)
        if (!channel.isOnline() && (wanted.empty() || channel.frequency == named.front().frequency))
            chosen.push_back(channel);
    return chosen;
}

// Every service of the multiplex that the list names has guide data, every table
// that arrived is complete, and a schedule came or had its time: nothing more to wait for.
bool multiplexDone(const GuideStore& store, std::uint32_t frequency, const std::vector<Channel>& channels,
                   Clock::duration elapsed) {
    if (!store.complete(frequency)) return false;
    if (!store.hasSchedule(frequency) && elapsed < kScheduleWait) return false;
    for (const Channel& channel : channels)
        if (channel.frequency == frequency && store.events(serviceKeyOf(channel)).empty()) return false;
    return true;
}

void drawProgress(bool terminal, std::uint32_t frequency, const GuideCollector& collector, Clock::time_point since) {
    if (!terminal) return;
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - since).count();
    std::printf("\r\x1b[Kguide %u MHz  %llu sections  %llds", static_cast<unsigned>(frequency / kHzPerMHz),
                static_cast<unsigned long long>(collector.sectionsSeen()), static_cast<long long>(seconds));
    std::fflush(stdout);
}

// Reads the EIT of the tuned multiplex into the store until done or out of time.
void collectMultiplex(Tuner& tuner, GuideStore& store, std::uint32_t frequency, const std::vector<Channel>& channels,
                      int seconds, bool terminal) {
    GuideCollector collector(store, frequency);
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(seconds);
    std::lock_guard<std::mutex> hold(tuner.mutex());
    SectionReader reader(tuner);
    SectionFilter filter;
    filter.pid = kEitPid;
    filter.tableId = kEitFilterTableId;
    filter.tableIdMask = kEitFilterMask;
    std::vector<std::uint8_t> section;
    while (Clock::now() < deadline && !multiplexDone(store, frequency, channels, Clock::now() - start)) {
        if (reader.read(filter, kReadSliceMs, section)) collector.pushSection(section);
        drawProgress(terminal, frequency, collector, start);
    }
    if (terminal) std::fputs("\r\x1b[K", stdout);
}

}  // namespace

GuideOptions parseGuideOptions(int argc, char** argv) {
    GuideOptions options;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            long value = std::strtol(argv[++i], nullptr, 10);
            options.seconds = static_cast<int>(std::clamp<long>(value, 1, kMaxGuideSeconds));
        } else if (options.channel.empty()) {
            options.channel = argv[i];
        }
    }
    return options;
}

int runGuideCommand(const GuideOptions& options, const std::string& channelListPath) {
    std::string error;
    std::vector<Channel> all = loadChannelList(channelListPath, &error);
    if (all.empty()) {
        std::fprintf(stderr, "%s\n", error.empty() ? "no channels" : error.c_str());
        return 1;
    }
    std::vector<Channel> channels = chosenChannels(all, options.channel);
    if (channels.empty()) {
        std::fprintf(stderr, "no tuner channel %s\n", options.channel.c_str());
        return 1;
    }
    Tuner tuner;
    if (!tuner.open(kGuideAdapter, &error)) {
        std::fprintf(stderr, "cannot open tuner: %s\n", error.c_str());
        return 1;
    }

    const std::string cacheDirectory = guideCacheDirectory();
    GuideStore store;
    loadGuideCache(cacheDirectory, store);
    const bool terminal = ::isatty(STDOUT_FILENO);
    std::vector<std::uint32_t> done;
    for (const Channel& channel : channels) {
        if (std::find(done.begin(), done.end(), channel.frequency) != done.end()) continue;
        done.push_back(channel.frequency);
        if (!tuner.tune(channel.frequency, channel.deliverySystem, kChannelTuneTimeoutMs, &error)) {
            std::fprintf(stderr, "no signal on %u MHz\n", static_cast<unsigned>(channel.frequency / kHzPerMHz));
            continue;
        }
        collectMultiplex(tuner, store, channel.frequency, channels, options.seconds, terminal);
        store.dropEndedBefore(wallClock());
        if (!saveGuideCache(cacheDirectory, store, channel.frequency, &error))
            std::fprintf(stderr, "cannot save the guide: %s\n", error.c_str());
    }

    const UnixSeconds now = wallClock();
    std::fputs(nowNextText(guideChannels(channels), store, now).c_str(), stdout);
    for (const Channel& channel : channels) {
        NowNext nowNext = store.nowNext(serviceKeyOf(channel), now);
        if (nowNext.now || nowNext.next) return 0;
    }
    return 1;
}

}  // namespace vantiro
