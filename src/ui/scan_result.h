#pragma once
#include <optional>
#include <string>
#include <vector>

#include "channels/channel.h"

namespace vantiro {

// The channel that played when the scan ended, looked up in the new list: by
// URL for an online channel, else by frequency and service id among the tuner
// channels. -1 when there is none or it is gone.
int findRememberedChannel(const std::vector<Channel>& channels, const std::optional<Channel>& remembered);

// What the scan brought back, taken out of the hand-over slots.
struct ScanHarvest {
    bool cancelled = false;
    std::vector<Channel> tunerChannels;  // channelsFromScan of the multiplexes
    std::vector<Channel> fetchedOnline;  // the freshly downloaded playlist
    bool onlineFetched = false;
};

enum class ScanOutcome {
    Cancelled,     // nothing changes
    NothingFound,  // the previous lists stay
    Replaced,      // `channels` and `online` replace the App's lists
};

struct ScanPlan {
    ScanOutcome outcome = ScanOutcome::Cancelled;
    std::vector<Channel> channels;  // tuner channels (marked new) then online channels
    std::vector<Channel> online;
    int tunerCount = 0;
    int foundIndex = -1;  // the remembered channel in `channels`
    bool onlineFetched = false;
};

// Decides how a finished scan changes the channel lists. `currentOnline` is
// reused when the download brought nothing. The scan downloads the TV playlist
// only, so the radio stations among `currentOnline` (URLs in `radioUrls`) stay
// after the fresh TV channels, as start-up lists them.
ScanPlan planScanFinish(ScanHarvest harvest, const std::vector<Channel>& currentOnline,
                        const std::vector<std::string>& radioUrls, const std::optional<Channel>& remembered);

// "T channels (U tuner + O online)", plus " - online list unchanged" when the
// download brought nothing.
std::string scanSummaryText(const ScanPlan& plan);

inline constexpr const char* kScanCancelledText = "Scan cancelled";
inline constexpr const char* kScanNothingFoundText = "No channels found - kept the previous list";
inline constexpr const char* kScanSaveFailedPrefix = "Could not save channels: ";

}  // namespace vantiro
