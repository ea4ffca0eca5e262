#include "ui/scan_result.h"

#include <gtest/gtest.h>

namespace vantiro {
namespace {

Channel tuner(const std::string& name, std::uint32_t frequency, std::uint16_t serviceId) {
    Channel ch;
    ch.name = name;
    ch.frequency = frequency;
    ch.serviceId = serviceId;
    ch.videoPid = 0x100;
    return ch;
}

Channel online(const std::string& name, const std::string& url) {
    Channel ch;
    ch.name = name;
    ch.url = url;
    return ch;
}

ScanHarvest harvest(std::vector<Channel> tunerChannels, std::vector<Channel> fetched) {
    ScanHarvest h;
    h.tunerChannels = std::move(tunerChannels);
    h.onlineFetched = !fetched.empty();
    h.fetchedOnline = std::move(fetched);
    return h;
}

const std::vector<Channel> kPreviousOnline = {online("Old One", "http://127.0.0.1/old1"),
                                               online("Old Two", "http://127.0.0.1/old2")};

TEST(PlanScanFinish, CancelledChangesNothing) {
    ScanHarvest h = harvest({tuner("A", 474000000, 1)}, {online("N", "http://127.0.0.1/n")});
    h.cancelled = true;
    const ScanPlan plan = planScanFinish(h, kPreviousOnline, {}, std::nullopt);
    EXPECT_EQ(plan.outcome, ScanOutcome::Cancelled);
    EXPECT_TRUE(plan.channels.empty());
}

TEST(PlanScanFinish, NothingAtAllKeepsThePreviousList) {
    const ScanPlan plan = planScanFinish(harvest({}, {}), {}, {}, std::nullopt);
    EXPECT_EQ(plan.outcome, ScanOutcome::NothingFound);
}

TEST(PlanScanFinish, TunerChannelsFirstMarkedNewThenFetchedOnline) {
    const ScanPlan plan = planScanFinish(
        harvest({tuner("A", 474000000, 1), tuner("B", 474000000, 2)}, {online("N", "http://127.0.0.1/n")}),
        kPreviousOnline, {}, std::nullopt);
    ASSERT_EQ(plan.outcome, ScanOutcome::Replaced);
    ASSERT_EQ(plan.channels.size(), 3u);
    EXPECT_EQ(plan.channels[0].name, "A");
    EXPECT_TRUE(plan.channels[0].isNew);
    EXPECT_TRUE(plan.channels[1].isNew);
    EXPECT_EQ(plan.channels[2].name, "N");
    EXPECT_FALSE(plan.channels[2].isNew);
    EXPECT_EQ(plan.tunerCount, 2);
    ASSERT_EQ(plan.online.size(), 1u);
    EXPECT_EQ(plan.foundIndex, -1);
    EXPECT_EQ(scanSummaryText(plan), "3 channels (2 tuner + 1 online)");
}

TEST(PlanScanFinish, FailedDownloadReusesThePreviousOnlineChannels) {
    const ScanPlan plan = planScanFinish(harvest({tuner("A", 474000000, 1)}, {}), kPreviousOnline, {}, std::nullopt);
    ASSERT_EQ(plan.outcome, ScanOutcome::Replaced);
    ASSERT_EQ(plan.channels.size(), 3u);
    EXPECT_EQ(plan.channels[1].url, "http://127.0.0.1/old1");
    EXPECT_EQ(scanSummaryText(plan), "3 channels (1 tuner + 2 online) - online list unchanged");
}

TEST(PlanScanFinish, OnlineOnlyScanDropsEarlierTunerChannels) {
    const ScanPlan plan = planScanFinish(harvest({}, {online("N", "http://127.0.0.1/n")}), kPreviousOnline, {},
                                         std::nullopt);
    ASSERT_EQ(plan.outcome, ScanOutcome::Replaced);
    EXPECT_EQ(plan.channels.size(), 1u);
    EXPECT_EQ(scanSummaryText(plan), "1 channels (0 tuner + 1 online)");
}

TEST(PlanScanFinish, NoTunerChannelsAndFailedDownloadStillKeepsOldOnline) {
    const ScanPlan plan = planScanFinish(harvest({}, {}), kPreviousOnline, {}, std::nullopt);
    ASSERT_EQ(plan.outcome, ScanOutcome::Replaced);
    EXPECT_EQ(plan.channels.size(), 2u);
    EXPECT_EQ(scanSummaryText(plan), "2 channels (0 tuner + 2 online) - online list unchanged");
}

TEST(PlanScanFinish, RemembersAnOnlineChannelByUrl) {
    const Channel playing = online("Renamed later", "http://127.0.0.1/old2");
    const ScanPlan plan = planScanFinish(harvest({tuner("A", 474000000, 1)}, {}), kPreviousOnline, {}, playing);
    EXPECT_EQ(plan.foundIndex, 2);
}

TEST(PlanScanFinish, RemembersATunerChannelByFrequencyAndServiceId) {
    Channel playing = tuner("Old name", 482000000, 7);
    const ScanPlan plan = planScanFinish(
        harvest({tuner("X", 474000000, 7), tuner("Y", 482000000, 8), tuner("Z", 482000000, 7)}, {}), {}, {}, playing);
    EXPECT_EQ(plan.foundIndex, 2);
}

TEST(PlanScanFinish, RadioStationsSurviveTheTvPlaylistRefresh) {
    const std::vector<Channel> before = {online("Old TV", "http://127.0.0.1/oldtv"),
                                         online("Radio A", "http://127.0.0.1/ra"),
                                         online("Radio B", "http://127.0.0.1/rb")};
    const std::vector<std::string> radioUrls = {"http://127.0.0.1/ra", "http://127.0.0.1/rb"};
    // The fresh TV playlist happens to list Radio B too: it is not doubled.
    const ScanPlan plan = planScanFinish(
        harvest({}, {online("New TV", "http://127.0.0.1/newtv"), online("Radio B", "http://127.0.0.1/rb")}), before,
        radioUrls, std::nullopt);
    ASSERT_EQ(plan.online.size(), 3u);
    EXPECT_EQ(plan.online[0].name, "New TV");
    EXPECT_EQ(plan.online[1].name, "Radio B");
    EXPECT_EQ(plan.online[2].name, "Radio A");
    EXPECT_EQ(plan.channels.size(), 3u);
    EXPECT_EQ(scanSummaryText(plan), "3 channels (0 tuner + 3 online)");
}

TEST(FindRememberedChannel, TunerMatchIgnoresOnlineRecordsAndMissesGiveMinusOne) {
    std::vector<Channel> list = {online("N", "http://127.0.0.1/n"), tuner("T", 474000000, 3)};
    list[0].frequency = 474000000;
    list[0].serviceId = 3;
    EXPECT_EQ(findRememberedChannel(list, tuner("T", 474000000, 3)), 1);
    EXPECT_EQ(findRememberedChannel(list, tuner("T", 474000000, 4)), -1);
    EXPECT_EQ(findRememberedChannel(list, online("N", "http://127.0.0.1/gone")), -1);
    EXPECT_EQ(findRememberedChannel(list, std::nullopt), -1);
}

}  // namespace
}  // namespace vantiro
