#include "ui/scan_result.h"

#include <algorithm>
#include <utility>

namespace vantiro {

int findRememberedChannel(const std::vector<Channel>& channels, const std::optional<Channel>& remembered) {
    if (!remembered) return -1;
    const auto matches = [&](const Channel& ch) {
        if (!remembered->url.empty()) return ch.url == remembered->url;
        return ch.url.empty() && ch.frequency == remembered->frequency && ch.serviceId == remembered->serviceId;
    };
    const auto found = std::find_if(channels.begin(), channels.end(), matches);
    return found == channels.end() ? -1 : static_cast<int>(found - channels.begin());
}

namespace {

void appendKeptRadio(std::vector<Channel>& online, const std::vector<Channel>& currentOnline,
                     const std::vector<std::string>& radioUrls) {
    const auto fetchedEnd = static_cast<std::ptrdiff_t>(online.size());
    const auto fetched = [&](const std::string& url) {
        return std::any_of(online.begin(), online.begin() + fetchedEnd,
                           [&](const Channel& ch) { return ch.url == url; });
    };
    for (const Channel& ch : currentOnline) {
        const bool isRadio = std::find(radioUrls.begin(), radioUrls.end(), ch.url) != radioUrls.end();
        if (isRadio && !fetched(ch.url)) online.push_back(ch);
    }
}

}  // namespace

ScanPlan planScanFinish(ScanHarvest harvest, const std::vector<Channel>& currentOnline,
                        const std::vector<std::string>& radioUrls, const std::optional<Channel>& remembered) {
    ScanPlan plan;
    if (harvest.cancelled) return plan;
    plan.onlineFetched = harvest.onlineFetched;
    for (Channel& ch : harvest.tunerChannels) ch.isNew = true;
    if (harvest.onlineFetched) {
        plan.online = std::move(harvest.fetchedOnline);
        appendKeptRadio(plan.online, currentOnline, radioUrls);
    } else {
        plan.online = currentOnline;
    }
    if (harvest.tunerChannels.empty() && plan.online.empty()) {
        plan.outcome = ScanOutcome::NothingFound;
        plan.online.clear();
        return plan;
    }
    plan.outcome = ScanOutcome::Replaced;
    plan.tunerCount = static_cast<int>(harvest.tunerChannels.size());
    plan.channels = std::move(harvest.tunerChannels);
    plan.channels.insert(plan.channels.end(), plan.online.begin(), plan.online.end());
    plan.foundIndex = findRememberedChannel(plan.channels, remembered);
    return plan;
}

std::string scanSummaryText(const ScanPlan& plan) {
    std::string text = std::to_string(plan.channels.size()) + " channels (" + std::to_string(plan.tunerCount) +
                       " tuner + " + std::to_string(plan.online.size()) + " online)";
    if (!plan.onlineFetched) text += " - online list unchanged";
    return text;
}

}  // namespace vantiro
