#include "dvb/tuner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace vantiro {
namespace {

TEST(TunerClosed, OpenOfMissingAdapterNamesThePathAndTheSystemText) {
    Tuner tuner;
    std::string error;
    EXPECT_FALSE(tuner.open(7, &error));
    EXPECT_EQ(error, std::string("cannot open /dev/dvb/adapter7/frontend0: ") + std::strerror(ENOENT));
    EXPECT_FALSE(tuner.isOpen());
    EXPECT_EQ(tuner.adapter(), 7);
    EXPECT_EQ(tuner.demuxFd(), -1);
}

TEST(TunerClosed, EveryOperationFailsQuietlyBeforeOpen) {
    Tuner tuner;
    std::string error;
    EXPECT_FALSE(tuner.tune(474000000, kSysDvbt2, 100, &error));
    EXPECT_EQ(error, "tuner is not open");
    EXPECT_FALSE(tuner.tune(474000000, kSysDvbt2, 100));  // no error string given
    EXPECT_FALSE(tuner.hasLock());
    EXPECT_FALSE(tuner.waitForLock(0));
    EXPECT_EQ(tuner.signalStrengthPercent(), -1);
    EXPECT_EQ(tuner.signalQualityPercent(), -1);
    tuner.close();
    tuner.close();
}

TEST(SignalPercent, StrengthOnTheRelativeScale) {
    EXPECT_EQ(strengthPercentFromStatistic(65535), 100);
    EXPECT_EQ(strengthPercentFromStatistic(32768), 50);
    EXPECT_EQ(strengthPercentFromStatistic(0), 0);
    EXPECT_EQ(strengthPercentFromStatistic(-45000), 0);  // a decibel value
    EXPECT_EQ(strengthPercentFromStatistic(70000), 100);
    EXPECT_EQ(strengthPercentFromStatistic(INT64_MAX), 100);
    EXPECT_EQ(strengthPercentFromStatistic(INT64_MIN), 0);
}

TEST(SignalPercent, QualityFromCarrierToNoise) {
    EXPECT_EQ(qualityPercentFromCnr(17500), 50);
    EXPECT_EQ(qualityPercentFromCnr(35000), 100);
    EXPECT_EQ(qualityPercentFromCnr(40000), 100);
    EXPECT_EQ(qualityPercentFromCnr(0), 0);
    EXPECT_EQ(qualityPercentFromCnr(-3000), 0);
    EXPECT_EQ(qualityPercentFromCnr(349), 0);
    EXPECT_EQ(qualityPercentFromCnr(INT64_MAX), 100);
}

}  // namespace
}  // namespace vantiro
