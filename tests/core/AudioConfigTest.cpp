#include "playlist/AudioConfig.h"

#include "playlist/Observer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace zalvo {

namespace {

using ::testing::ElementsAre;

// Records the volume it reads when called, as the playlist does.
class VolumeWatcher final : public Observer {
public:
    void update() override { seen.push_back(AudioConfig::getInstance()->getVolume()); }

    std::vector<float> seen;
};

// The settings live for the whole process: each test leaves them as a fresh run starts.
class AudioConfigTest : public ::testing::Test {
protected:
    void TearDown() override {
        while (config->getVolume() < 100.0F) {
            config->volumeUp();
        }
        if (config->isRepeat()) {
            config->toggleRepeat();
        }
        if (config->isShuffle()) {
            config->toggleShuffle();
        }
    }

    AudioConfig* config = AudioConfig::getInstance();
};

TEST_F(AudioConfigTest, OneInstanceStartingAtFullVolumeWithRepeatAndShuffleOff) {
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(AudioConfig::getInstance(), config);
    EXPECT_EQ(config->getVolume(), 100.0F);
    EXPECT_FALSE(config->isRepeat());
    EXPECT_FALSE(config->isShuffle());
}

TEST_F(AudioConfigTest, VolumeStepsByTenAndNotifiesOnEveryStepEvenAtTheLimits) {
    VolumeWatcher watcher;
    config->attach(&watcher);

    config->volumeUp();
    for (int step = 0; step < 11; ++step) {
        config->volumeDown();
    }
    config->volumeUp();

    EXPECT_THAT(watcher.seen,
                ElementsAre(100.0F, 90.0F, 80.0F, 70.0F, 60.0F, 50.0F, 40.0F, 30.0F, 20.0F, 10.0F, 0.0F, 0.0F, 10.0F));
}

TEST_F(AudioConfigTest, EveryAttachedObserverHearsEachStepOnce) {
    VolumeWatcher first;
    VolumeWatcher second;
    config->attach(&first);
    config->attach(&second);

    config->volumeDown();
    config->volumeUp();

    EXPECT_THAT(first.seen, ElementsAre(90.0F, 100.0F));
    EXPECT_THAT(second.seen, ElementsAre(90.0F, 100.0F));
}

TEST_F(AudioConfigTest, TogglesAreIndependentAndNotifyNobody) {
    VolumeWatcher watcher;
    config->attach(&watcher);

    config->toggleRepeat();
    EXPECT_TRUE(config->isRepeat());
    EXPECT_FALSE(config->isShuffle());
    config->toggleShuffle();
    EXPECT_TRUE(config->isRepeat());
    EXPECT_TRUE(config->isShuffle());
    config->toggleRepeat();
    config->toggleShuffle();
    EXPECT_FALSE(config->isRepeat());
    EXPECT_FALSE(config->isShuffle());

    EXPECT_TRUE(watcher.seen.empty());
    EXPECT_EQ(config->getVolume(), 100.0F);
}

TEST_F(AudioConfigTest, DestroyedObserverLeavesTheSettings) {
    {
        VolumeWatcher watcher;
        config->attach(&watcher);
        EXPECT_EQ(config->observerCount(), 1U);
    }
    EXPECT_EQ(config->observerCount(), 0U);
    config->volumeDown();
    EXPECT_EQ(config->getVolume(), 90.0F);
}

} // namespace

} // namespace zalvo
