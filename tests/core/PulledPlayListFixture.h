#pragma once

#include "PlayListFixture.h"
#include "PulledOutput.h"
#include "output/AudioOutput.h"

#include <memory>

namespace zalvo {

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

} // namespace zalvo
