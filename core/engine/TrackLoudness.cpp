#include "TrackLoudness.h"

#include "AudioConfig.h"
#include "ReplayGain.h"
#include "TextEncoding.h"
#include "TrackTags.h"

float TrackLoudness::factorFor(const std::string& utf8Path) {
    const AudioConfig* settings = AudioConfig::getInstance();
    const ReplayGain::Mode mode = settings->getReplayGainMode();
    if (mode == ReplayGain::Mode::Off) {
        return 1.0F;
    }
    return ReplayGain::factor(TrackTags::read(TextEncoding::fromFileSystem(utf8Path)).replayGain, mode,
                              settings->isShuffle());
}
