#include "decode/TrackDecoder.h"

#include "base/StreamUrl.h"
#include "decode/DecoderModule.h"
#include "decode/FileStream.h"
#include "decode/FlacProbe.h"
#include "decode/Mp4Probe.h"
#include "decode/RadioStream.h"
#include "decode/SndfileReader.h"
#include "decode/VorbisProbe.h"
#include "decode/WavProbe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace zalvo {

namespace {

// Real files run from telephone rates to studio ones; anything else is a damaged or hostile header.
constexpr unsigned lowestRate = 1000;
constexpr unsigned highestRate = 768000;
constexpr std::size_t primingFrames = 256;

// The channel layouts every output can play; a stream of any other count would stay silent.
bool isPlayableLayout(unsigned channelCount) {
    constexpr std::array playable{1U, 2U, 4U, 6U, 7U, 8U};
    return std::find(playable.begin(), playable.end(), channelCount) != playable.end();
}

bool isPlayable(const PcmFormat& format) {
    return format.sampleRate >= lowestRate && format.sampleRate <= highestRate && isPlayableLayout(format.channels);
}

// libsndfile reads every kind of WAV a player meets: a WAV that it refuses is damaged, and goes no further.
bool isRiffWave(FileStream& input) {
    std::array<char, 12> head{};
    return input.seek(0) == 0 && input.read(head.data(), head.size()) == head.size() &&
           std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0;
}

} // namespace

TrackDecoder::TrackDecoder() = default;

TrackDecoder::~TrackDecoder() = default;

std::unique_ptr<TrackDecoder> TrackDecoder::open(const std::string& utf8Path) {
    if (StreamUrl::isStream(utf8Path)) {
        std::unique_ptr<TrackDecoder> decoder(new TrackDecoder());
        decoder->status = std::make_shared<StreamStatus>();
        decoder->radio = std::make_unique<RadioStream>(utf8Path, decoder->status);
        // Most stations send this; the stream's own is known once it connects.
        decoder->pcmFormat = {44100, 2};
        return decoder;
    }
    auto input = std::make_unique<FileStream>();
    if (!input->open(utf8Path)) {
        return nullptr;
    }
    return open(std::move(input), Use::Play);
}

std::unique_ptr<TrackDecoder> TrackDecoder::open(const std::string& utf8Path, TrackSpan span) {
    std::unique_ptr<TrackDecoder> decoder = open(utf8Path);
    if (!decoder || span.wholeFile()) {
        return decoder;
    }
    const unsigned rate = decoder->pcmFormat.sampleRate;
    const std::uint64_t first = TrackSpan::framesAt(span.begin, rate);
    if ((decoder->declaredFrames && first >= *decoder->declaredFrames) || (first > 0 && !decoder->seek(first))) {
        return nullptr;
    }
    decoder->spanFirst = first;
    decoder->position = first;
    if (span.end) {
        decoder->spanEnd = TrackSpan::framesAt(*span.end, rate);
    }
    return decoder;
}

std::optional<TrackOutline> TrackDecoder::outline(const std::string& utf8Path) {
    auto input = std::make_unique<FileStream>();
    if (!input->open(utf8Path)) {
        return std::nullopt;
    }
    if (const std::optional<TrackOutline> wav = WavProbe::read(*input); wav && isPlayable(wav->format)) {
        return wav;
    }
    if (input->seek(0) != 0) {
        return std::nullopt;
    }
    if (const std::optional<TrackOutline> vorbis = VorbisProbe::read(*input); vorbis && isPlayable(vorbis->format)) {
        return vorbis;
    }
    // Only the FFmpeg module plays MP4 files.
    if (const std::optional<TrackOutline> mp4 = Mp4Probe::read(*input);
        mp4 && isPlayable(mp4->format) && DecoderModule::available()) {
        return mp4;
    }
    const bool carriesCueSheet = FlacProbe::carriesCueSheet(*input);
    if (input->seek(0) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<TrackDecoder> decoder = open(std::move(input), Use::Outline);
    if (!decoder) {
        return std::nullopt;
    }
    return TrackOutline{decoder->format(), decoder->headerFrames(), carriesCueSheet || decoder->taggedCueSheet};
}

std::unique_ptr<TrackDecoder> TrackDecoder::open(std::unique_ptr<FileStream> input, Use use) {
    std::unique_ptr<TrackDecoder> decoder(new TrackDecoder());
    decoder->input = std::move(input);
    SndfileReader::Info info{};
    auto sndfile = std::make_unique<SndfileReader>();
    // Only a WAV file that yields nothing is looked at again: the look moves libsndfile's stream. An outline
    // trusts a header that promises frames in a format that plays; any other is decoded, as playing it
    // would be, so that a file the module plays is outlined by the module too.
    const bool sndfileOpened = sndfile->open(*decoder->input, info);
    const bool trusted =
        use == Use::Outline && info.sampleCount > 0 && isPlayable({info.sampleRate, info.channelCount});
    if (sndfileOpened && (trusted || decoder->primeFrom(*sndfile, info) || isRiffWave(*decoder->input))) {
        decoder->sndfile = std::move(sndfile);
    } else if (isRiffWave(*decoder->input)) {
        return nullptr;
    } else {
        // A playlist opens every track it loads: the module learns most from the container alone. A
        // container that says what no output plays is decoded, as it would be played, to be sure.
        if (use == Use::Outline) {
            const std::optional<TrackOutline> found = DecoderModule::outline(decoder->input->descriptor());
            if (!found) {
                return nullptr;
            }
            if (isPlayable(found->format)) {
                decoder->input.reset();
                decoder->pcmFormat = found->format;
                decoder->declaredFrames = found->frames;
                decoder->taggedCueSheet = found->carriesCueSheet;
                return decoder;
            }
        }
        decoder->module = DecoderModule::open(decoder->input->descriptor());
        if (decoder->module) {
            decoder->input.reset();
            const PcmFormat format = decoder->module->format();
            info.channelCount = format.channels;
            info.sampleRate = format.sampleRate;
            info.sampleCount = decoder->module->frames().value_or(0) * format.channels;
        } else if (sndfileOpened) {
            // Neither yields a sample: the header's promise stands, as the outline gave it, and the track
            // ends at once.
            decoder->sndfile = std::move(sndfile);
        } else {
            return nullptr;
        }
    }
    decoder->pcmFormat = {info.sampleRate, info.channelCount};
    if (!isPlayable(decoder->pcmFormat)) {
        return nullptr;
    }
    if (info.sampleCount > 0) {
        decoder->declaredFrames = info.sampleCount / info.channelCount;
    }
    // The header promises audio, or libsndfile's first frames proved it already: a file that breaks that
    // promise counts as finished when played. Decoding here would cost a playlist's load a codec frame per
    // track.
    if (info.sampleCount > 0 || decoder->primedCount > 0) {
        return decoder;
    }
    // A header of no length or an unknown one must show it holds audio, or a track of nothing would
    // count as finished before it played.
    const std::size_t primingSamples = primingFrames * info.channelCount;
    decoder->primed.resize(primingSamples);
    decoder->primedCount = decoder->readSamples(decoder->primed.data(), primingSamples);
    if (decoder->primedCount == 0) {
        return nullptr;
    }
    return decoder;
}

bool TrackDecoder::connect() {
    if (!radio) {
        return true;
    }
    if (!radio->connect()) {
        return false;
    }
    if (!isPlayable(radio->format())) {
        status->setFailure("its sound has a layout no output plays");
        radio.reset();
        return false;
    }
    pcmFormat = radio->format();
    return true;
}

bool TrackDecoder::primeFrom(SndfileReader& reader, const SndfileReader::Info& info) {
    // libFLAC gives up on a stream whose first frame is damaged, where FFmpeg finds the next one: a file
    // whose first read yields nothing goes to the module, within its own bound on packets that decode to
    // nothing.
    const std::size_t primingSamples = primingFrames * info.channelCount;
    primed.resize(primingSamples);
    std::size_t total = 0;
    while (total < primingSamples) {
        const std::size_t got = reader.read(primed.data() + total, primingSamples - total);
        if (got == 0) {
            break;
        }
        total += got;
    }
    primedCount = info.channelCount == 0 ? 0 : total / info.channelCount * info.channelCount;
    primedOffset = 0;
    return primedCount > 0;
}

std::optional<std::uint64_t> TrackDecoder::headerFrames() const {
    if (!declaredFrames) {
        return spanEnd ? std::optional(*spanEnd - spanFirst) : std::nullopt;
    }
    const std::uint64_t last = std::min(spanEnd.value_or(*declaredFrames), *declaredFrames);
    return last > spanFirst ? last - spanFirst : 0;
}

std::size_t TrackDecoder::read(std::span<float> samples) {
    const std::size_t channels = pcmFormat.channels;
    std::size_t wanted = samples.size() / channels;
    if (spanEnd) {
        wanted = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, *spanEnd - std::min(position, *spanEnd)));
    }
    wanted *= channels;
    const std::size_t fromPrimed = std::min(wanted, primedCount - primedOffset);
    std::copy_n(primed.begin() + static_cast<std::ptrdiff_t>(primedOffset), fromPrimed, samples.begin());
    primedOffset += fromPrimed;
    std::size_t count = fromPrimed;
    if (count < wanted) {
        count += readSamples(samples.data() + count, wanted - count);
    }
    if (gain != 1.0F) {
        applyGain(samples.first(count));
    }
    position += count / channels;
    return count / channels;
}

bool TrackDecoder::continueInto(TrackSpan next) {
    const unsigned rate = pcmFormat.sampleRate;
    if (!spanEnd || position != *spanEnd || TrackSpan::framesAt(next.begin, rate) != *spanEnd) {
        return false;
    }
    spanFirst = *spanEnd;
    spanEnd = next.end ? std::optional(TrackSpan::framesAt(*next.end, rate)) : std::nullopt;
    return true;
}

void TrackDecoder::applyGain(std::span<float> block) {
    if (gain > 1.0F) {
        // A raise must never push the track past full scale, whatever its tags said of its peak: where
        // this block would go past, the raise comes down to what holds it there, for the rest of the
        // track, as a true peak tag would have set it. The track's own overs are left to the limiter.
        float peak = 0.0F;
        for (const float sample : block) {
            peak = std::max(peak, std::abs(sample));
        }
        if (peak * gain > 1.0F) {
            gain = std::max(1.0F, 1.0F / peak);
        }
    }
    for (float& sample : block) {
        sample *= gain;
    }
}

bool TrackDecoder::seek(std::uint64_t frame) {
    if (status) {
        return false;
    }
    primedOffset = primedCount;
    position = spanFirst + frame;
    return sndfile ? sndfile->seekTo(position * pcmFormat.channels) : module->seek(position);
}

std::size_t TrackDecoder::readSamples(float* samples, std::size_t count) {
    if (status) {
        return radio ? radio->read(samples, count / pcmFormat.channels) * pcmFormat.channels : 0;
    }
    std::size_t total = 0;
    while (total < count) {
        const std::size_t got =
            sndfile ? sndfile->read(samples + total, count - total)
                    : module->read(samples + total, (count - total) / pcmFormat.channels) * pcmFormat.channels;
        if (got == 0) {
            break;
        }
        total += got;
    }
    // A reader that breaks off mid-frame has no further whole frame to give.
    return total / pcmFormat.channels * pcmFormat.channels;
}

} // namespace zalvo
