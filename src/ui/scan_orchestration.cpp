// The background scan of the window: one thread downloads the TV playlist and
// sweeps the band; the UI thread takes the results over in finishScan.
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "channels/channel_list.h"
#include "dvb/band_scan.h"
#include "online/online_channels.h"
#include "shell/app.h"
#include "ui/scan_result.h"

namespace vantiro {
namespace {

constexpr double kScanNoticeSeconds = 4.0;
constexpr double kScanCancelledSeconds = 3.0;
constexpr double kScanResultSeconds = 5.0;

// The scan thread. It touches only the progress counters, the tuner, the two
// result slots (under the scan mutex) and the two flags.
void runScan(App& app, bool useTuner) {
    // A failed download counts as an empty playlist: the old online channels stay.
    std::vector<Channel> online;
    if (!app.tvPlaylistUrl.empty()) online = downloadPlaylist(app.tvPlaylistUrl);
    {
        std::lock_guard lock(app.scanMutex);
        app.scanOnlineResult = std::move(online);
        app.scanOnlineFetched = !app.scanOnlineResult.empty();
    }
    std::vector<Mux> muxes;
    if (useTuner) muxes = scanBand(app.tuner, kBandStartHz, kBandEndHz, kBandStepHz, app.scanProgress);
    {
        std::lock_guard lock(app.scanMutex);
        app.scanMuxResult = std::move(muxes);
    }
    app.scanning.exchange(false);
    app.scanFinished.exchange(true);
}

}  // namespace

void App::startScan() {
    finishTuneAhead();
    if (scanning.load()) return;
    const bool useTuner = tuner.isOpen();
    if (!useTuner) showToast("Tuner not available - scanning online channels only", kScanNoticeSeconds);

    // The player first: it reads the service's pipe, which closes with the feed.
    // Leaving the multiplex releases the DVR before the scan retunes.
    player.stop();
    currentIndex = -1;
    forgetTunedMultiplex();
    // Nothing is being started any more; left set, the watch would later blame
    // the scan's stopped player with "Still connecting".
    connecting = false;
    scanProgress.reset();
    onlineOnlyScan = !useTuner;
    {
        std::lock_guard lock(scanMutex);
        scanMuxResult.clear();
        scanOnlineResult.clear();
        scanOnlineFetched = false;
    }
    if (scanThread.joinable()) scanThread.join();
    // A result of the previous scan that the main loop has not taken yet was
    // just discarded; its flag must not hand this scan's half-done slots over.
    scanFinished.store(false);

    scanning.store(true);
    listOpen = false;
    try {
        scanThread = std::thread(runScan, std::ref(*this), useTuner);
    } catch (const std::system_error& e) {
        scanning.store(false);
        onlineOnlyScan = false;
        showToast(std::string("Could not start the scan: ") + e.what(), kScanNoticeSeconds);
    }
}

void App::finishScan() {
    if (scanThread.joinable()) scanThread.join();

    ScanHarvest harvest;
    harvest.cancelled = scanProgress.cancel.load();
    if (harvest.cancelled) {
        scanProgress.cancel.store(false);
        onlineOnlyScan = false;
        showToast(kScanCancelledText, kScanCancelledSeconds);
        return;
    }
    std::vector<Mux> muxes;
    {
        std::lock_guard lock(scanMutex);
        muxes = std::exchange(scanMuxResult, {});
        harvest.fetchedOnline = std::exchange(scanOnlineResult, {});
        harvest.onlineFetched = scanOnlineFetched;
    }
    harvest.tunerChannels = channelsFromScan(muxes);

    std::optional<Channel> remembered;
    if (currentIndex >= 0 && currentIndex < channelCount()) remembered = channels[static_cast<size_t>(currentIndex)];
    const bool sweptTheBand = !onlineOnlyScan;
    onlineOnlyScan = false;

    ScanPlan plan = planScanFinish(std::move(harvest), onlineChannels, radioUrls, remembered);
    if (plan.outcome == ScanOutcome::NothingFound) {
        showToast(kScanNothingFoundText, kScanResultSeconds);
        return;
    }

    channels = plan.channels;
    onlineChannels = plan.online;
    onlineCount = static_cast<int>(onlineChannels.size());
    currentIndex = plan.foundIndex;
    listSelection = plan.foundIndex >= 0 ? plan.foundIndex : 0;
    listOpen = true;
    scrollToSelection = true;

    // A channel started during the scan that is not in the new list must not
    // keep playing without a place in it, whether or not the list is saved.
    if (plan.foundIndex < 0) {
        player.stop();
        stopTunerFeed();
        currentIndex = -1;
    }
    // A scan without the tuner cannot see tuner channels; writing its list would
    // erase the ones the last sweep saved (the file keeps no online channels).
    std::string error;
    if (sweptTheBand && !saveChannelList(channelListPath, channels, &error)) {
        showToast(kScanSaveFailedPrefix + error, kScanResultSeconds);
        return;
    }
    if (plan.foundIndex >= 0) switchChannel(plan.foundIndex);
    showToast(scanSummaryText(plan), kScanResultSeconds);
}

}  // namespace vantiro
