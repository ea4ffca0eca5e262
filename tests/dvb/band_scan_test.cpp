#include "dvb/band_scan.h"

#include <gtest/gtest.h>

#include <set>

namespace vantiro {
namespace {

struct Attempt {
    std::uint32_t frequency;
    std::int32_t system;
    int timeoutMs;
};

// A band where given frequencies lock in given systems and carry given services.
struct FakeBand {
    std::map<std::uint32_t, std::set<std::int32_t>> lockable;
    std::map<std::uint32_t, std::vector<Service>> services;
    std::vector<Attempt> attempts;
    std::uint32_t tuned = 0;
    std::function<void()> onTune;

    ScanReceiver receiver() {
        return ScanReceiver{
            [this](std::uint32_t f, std::int32_t system, int timeoutMs) {
                attempts.push_back({f, system, timeoutMs});
                tuned = f;
                if (onTune) onTune();
                auto it = lockable.find(f);
                return it != lockable.end() && it->second.count(system) > 0;
            },
            [this] { return services[tuned]; },
        };
    }
};

Service service(std::uint16_t id, const char* name) {
    Service s;
    s.serviceId = id;
    s.name = name;
    return s;
}

TEST(FrequencyCount, RasterArithmetic) {
    EXPECT_EQ(frequencyCount(kBandStartHz, kBandEndHz, kBandStepHz), 50);
    EXPECT_EQ(frequencyCount(500000000, 500000000, kBandStepHz), 1);
    EXPECT_EQ(frequencyCount(500000000, 507999999, kBandStepHz), 1);
    EXPECT_EQ(frequencyCount(500000000, 508000000, kBandStepHz), 2);
    EXPECT_LE(frequencyCount(600000000, 500000000, kBandStepHz), 0);
    EXPECT_EQ(frequencyCount(600000000, 599000000, kBandStepHz), 0);  // less than a step below
    EXPECT_EQ(frequencyCount(0, UINT32_MAX, 1), INT32_MAX);
}

TEST(ChannelCentres, TheBandEdgesGiveTheCentresOfItsChannels) {
    FrequencyRange band = channelCentresIn(kBandStartHz, kBandEndHz, kBandStepHz);
    EXPECT_EQ(band.first, 474000000u);
    EXPECT_EQ(band.last, 858000000u);
    EXPECT_EQ(frequencyCount(band.first, band.last, kBandStepHz), 49);
}

TEST(ChannelCentres, RangesGivenByCentresOrInsideAChannel) {
    auto check = [](std::uint32_t startMHz, std::uint32_t endMHz, std::uint32_t firstMHz, std::uint32_t lastMHz) {
        FrequencyRange r = channelCentresIn(startMHz * 1000000, endMHz * 1000000, kBandStepHz);
        EXPECT_EQ(r.first, firstMHz * 1000000) << startMHz << "-" << endMHz;
        EXPECT_EQ(r.last, lastMHz * 1000000) << startMHz << "-" << endMHz;
    };
    check(474, 522, 474, 522);
    check(466, 530, 466, 530);
    check(470, 530, 474, 530);
    check(500, 500, 498, 498);  // start = end: the one channel it lies in
    check(500, 600, 498, 602);
    check(600, 680, 602, 682);
}

TEST(ChannelCentres, EmptyOrOutOfRangeStaysEmpty) {
    FrequencyRange r = channelCentresIn(600000000, 500000000, kBandStepHz);
    EXPECT_LE(frequencyCount(r.first, r.last, kBandStepHz), 0);
    r = channelCentresIn(UINT32_MAX, UINT32_MAX, kBandStepHz);
    EXPECT_LE(frequencyCount(r.first, r.last, kBandStepHz), 0);
    r = channelCentresIn(0, UINT32_MAX, kBandStepHz);
    EXPECT_EQ(r.first, 2000000u);
    EXPECT_GT(r.last, UINT32_MAX - kBandStepHz);
    // Another raster is taken as given.
    r = channelCentresIn(177500000, 226500000, 7000000);
    EXPECT_EQ(r.first, 177500000u);
    EXPECT_EQ(r.last, 226500000u);
}

TEST(SweepBand, TriesTheWholeRasterT2First) {
    FakeBand band;
    ScanProgress progress;
    auto muxes = sweepBand(band.receiver(), kBandStartHz, kBandEndHz, kBandStepHz, progress);
    EXPECT_TRUE(muxes.empty());
    ASSERT_EQ(band.attempts.size(), 100u);
    EXPECT_EQ(band.attempts[0].frequency, 470000000u);
    EXPECT_EQ(band.attempts[0].system, kSysDvbt2);
    EXPECT_EQ(band.attempts[0].timeoutMs, 1100);
    EXPECT_EQ(band.attempts[1].system, kSysDvbt);
    EXPECT_EQ(band.attempts[1].timeoutMs, 800);
    EXPECT_EQ(band.attempts.back().frequency, 862000000u);
    EXPECT_EQ(progress.total, 50);
    EXPECT_EQ(progress.done, 50);
    EXPECT_EQ(progress.currentFrequency, 862000000);
    EXPECT_TRUE(progress.finished);
    EXPECT_EQ(progress.muxesFound, 0);
}

TEST(SweepBand, DvbtFallbackAndServicesInOrder) {
    FakeBand band;
    band.lockable[474000000] = {kSysDvbt2, kSysDvbt};
    band.lockable[482000000] = {kSysDvbt};
    band.services[474000000] = {service(1, "a"), service(2, "b"), service(3, "c")};
    band.services[482000000] = {service(9, "x"), service(8, "y")};
    ScanProgress progress;
    auto muxes = sweepBand(band.receiver(), 474000000, 490000000, kBandStepHz, progress);
    ASSERT_EQ(muxes.size(), 2u);
    EXPECT_EQ(muxes[0].frequency, 474000000u);
    EXPECT_EQ(muxes[0].deliverySystem, kSysDvbt2);
    EXPECT_EQ(muxes[1].deliverySystem, kSysDvbt);
    // 474 locks in T2 and is never tried as T.
    int triesAt474 = 0;
    for (const auto& a : band.attempts) triesAt474 += a.frequency == 474000000;
    EXPECT_EQ(triesAt474, 1);
    EXPECT_EQ(progress.muxesFound, 2);
    EXPECT_EQ(progress.channelsFound, 5);

    auto channels = channelsFromScan(muxes);
    ASSERT_EQ(channels.size(), 5u);
    const char* order[] = {"a", "b", "c", "x", "y"};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(channels[i].name, order[i]);
    EXPECT_EQ(channels[3].frequency, 482000000u);
    EXPECT_EQ(channels[3].deliverySystem, kSysDvbt);
    EXPECT_EQ(channels[3].serviceId, 9);
    EXPECT_TRUE(channels[3].url.empty());
    EXPECT_FALSE(channels[3].isNew);
}

TEST(SweepBand, LockedMuxWithoutServicesIsNotListed) {
    FakeBand band;
    band.lockable[474000000] = {kSysDvbt2};
    ScanProgress progress;
    auto muxes = sweepBand(band.receiver(), 474000000, 474000000, kBandStepHz, progress);
    EXPECT_TRUE(muxes.empty());
    EXPECT_EQ(progress.muxesFound, 0);
    EXPECT_TRUE(progress.locked);
}

TEST(SweepBand, StartEqualsEndTriesOneFrequency) {
    FakeBand band;
    ScanProgress progress;
    sweepBand(band.receiver(), 500000000, 500000000, kBandStepHz, progress);
    EXPECT_EQ(progress.total, 1);
    EXPECT_EQ(progress.done, 1);
    EXPECT_EQ(band.attempts.size(), 2u);
}

TEST(SweepBand, EndBelowStartTriesNothingButFinishes) {
    FakeBand band;
    ScanProgress progress;
    sweepBand(band.receiver(), 600000000, 500000000, kBandStepHz, progress);
    EXPECT_LE(progress.total, 0);
    EXPECT_EQ(progress.done, 0);
    EXPECT_TRUE(progress.finished);
    EXPECT_TRUE(band.attempts.empty());
}

TEST(SweepBand, RangeAtTheTopOfThirtyTwoBitsEnds) {
    FakeBand band;
    ScanProgress progress;
    sweepBand(band.receiver(), UINT32_MAX - 10000000, UINT32_MAX, kBandStepHz, progress);
    EXPECT_EQ(progress.done, 2);
    EXPECT_TRUE(progress.finished);
    ScanProgress zeroStep;
    sweepBand(band.receiver(), 500000000, 600000000, 0, zeroStep);
    EXPECT_EQ(zeroStep.done, 1);
}

TEST(SweepBand, CancelBeforeTheCallTriesNothing) {
    FakeBand band;
    ScanProgress progress;
    progress.cancel = true;
    auto muxes = sweepBand(band.receiver(), kBandStartHz, kBandEndHz, kBandStepHz, progress);
    EXPECT_TRUE(muxes.empty());
    EXPECT_EQ(progress.done, 0);
    EXPECT_TRUE(progress.finished);
    EXPECT_TRUE(band.attempts.empty());
}

TEST(SweepBand, CancelDuringT2AttemptSkipsTheDvbtTryAndTheRest) {
    FakeBand band;
    ScanProgress progress;
    band.onTune = [&] { progress.cancel = true; };
    sweepBand(band.receiver(), kBandStartHz, kBandEndHz, kBandStepHz, progress);
    EXPECT_EQ(band.attempts.size(), 1u);
    EXPECT_EQ(progress.done, 1);
    EXPECT_TRUE(progress.finished);
}

TEST(SweepBand, CancelAfterLockSkipsTheTables) {
    FakeBand band;
    band.lockable[474000000] = {kSysDvbt2};
    band.services[474000000] = {service(1, "a")};
    ScanProgress progress;
    band.onTune = [&] { progress.cancel = true; };
    auto muxes = sweepBand(band.receiver(), 474000000, 490000000, kBandStepHz, progress);
    EXPECT_TRUE(muxes.empty());
    EXPECT_FALSE(progress.locked);
}

TEST(ScanBand, ClosedTunerLeavesProgressUntouched) {
    Tuner tuner;
    ScanProgress progress;
    progress.total = 42;
    EXPECT_TRUE(scanBand(tuner, kBandStartHz, kBandEndHz, kBandStepHz, progress).empty());
    EXPECT_EQ(progress.total, 42);
    EXPECT_FALSE(progress.finished);
    EXPECT_TRUE(tuner.mutex().try_lock());  // released again
    tuner.mutex().unlock();
}

TEST(ScanProgressRecord, ResetZeroesEverything) {
    ScanProgress p;
    p.done = 3;
    p.total = 4;
    p.currentFrequency = 5;
    p.cancel = true;
    p.locked = true;
    p.finished = true;
    p.muxesFound = 1;
    p.channelsFound = 2;
    p.reset();
    EXPECT_EQ(p.done + p.total + p.currentFrequency + p.muxesFound + p.channelsFound, 0);
    EXPECT_FALSE(p.cancel || p.locked || p.finished);
}

}  // namespace
}  // namespace vantiro
