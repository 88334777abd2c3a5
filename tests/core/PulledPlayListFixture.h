#pragma once

#include "AudioOutput.h"
#include "PlayListFixture.h"
#include "PulledOutput.h"

#include <memory>

// A playlist whose tracks play into an output that the test pulls block by block, as a sound card would.
class PulledPlayListFixture : public PlayListFixture {
protected:
    void SetUp() override {
        PlayListFixture::SetUp();
        AudioOutput::setFactory([](PcmSource& source) { return std::make_unique<PulledOutput>(source); });
    }
    void TearDown() override {
        playList.clear();
        AudioOutput::setFactory({});
        PlayListFixture::TearDown();
    }
};
