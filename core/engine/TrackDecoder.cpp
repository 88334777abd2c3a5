#include "TrackDecoder.h"

#include "FileStream.h"
#include "SndfileReader.h"
#include "VorbisProbe.h"

#include <SFML/Audio/InputSoundFile.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

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

// SFML's WAV reader divides by zero on a header without its format chunk, and libsndfile reads every
// WAV that SFML can: a WAV that libsndfile refuses is damaged, and never reaches SFML.
bool isRiffWave(FileStream& input) {
    std::array<char, 12> head{};
    return input.seek(0) == 0 && input.read(head.data(), head.size()) == head.size() &&
           std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0;
}

} // namespace

TrackDecoder::TrackDecoder() = default;

TrackDecoder::~TrackDecoder() = default;

std::unique_ptr<TrackDecoder> TrackDecoder::open(const std::string& utf8Path) {
    auto input = std::make_unique<FileStream>();
    if (!input->open(utf8Path)) {
        return nullptr;
    }
    return open(std::move(input), utf8Path);
}

std::optional<TrackOutline> TrackDecoder::outline(const std::string& utf8Path) {
    auto input = std::make_unique<FileStream>();
    if (!input->open(utf8Path)) {
        return std::nullopt;
    }
    if (const std::optional<TrackOutline> vorbis = VorbisProbe::read(*input); vorbis && isPlayable(vorbis->format)) {
        return vorbis;
    }
    if (input->seek(0) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<TrackDecoder> decoder = open(std::move(input), utf8Path);
    if (!decoder) {
        return std::nullopt;
    }
    return TrackOutline{decoder->format(), decoder->headerFrames()};
}

std::unique_ptr<TrackDecoder> TrackDecoder::open(std::unique_ptr<FileStream> input, const std::string& utf8Path) {
    std::unique_ptr<TrackDecoder> decoder(new TrackDecoder());
    decoder->input = std::move(input);
    sf::SoundFileReader::Info info{};
    auto sndfile = std::make_unique<SndfileReader>();
    if (sndfile->open(*decoder->input, info)) {
        decoder->sndfile = std::move(sndfile);
    } else if (isRiffWave(*decoder->input)) {
        return nullptr;
    } else {
        decoder->input.reset();
        // SFML's reader registry fills itself on first use without a lock, and playlists open their
        // tracks on several threads.
        static std::mutex sfmlReaders;
        const std::scoped_lock lock(sfmlReaders);
        auto fallback = std::make_unique<sf::InputSoundFile>();
        if (!fallback->openFromFile(utf8Path)) {
            return nullptr;
        }
        info.channelCount = fallback->getChannelCount();
        info.sampleRate = fallback->getSampleRate();
        info.sampleCount = fallback->getSampleCount();
        decoder->fallback = std::move(fallback);
    }
    decoder->pcmFormat = {info.sampleRate, info.channelCount};
    if (!isPlayable(decoder->pcmFormat)) {
        return nullptr;
    }
    if (info.sampleCount > 0) {
        decoder->declaredFrames = info.sampleCount / info.channelCount;
        // The header promises audio: a file that breaks that promise counts as finished when played.
        // Decoding here would cost a playlist's load a codec frame per track.
        return decoder;
    }
    // A header of no length or an unknown one must show it holds audio, or a track of nothing would
    // count as finished before it played.
    const std::size_t primingSamples = primingFrames * info.channelCount;
    decoder->primed = std::make_unique<std::int16_t[]>(primingSamples);
    decoder->primedCount = decoder->readSamples(decoder->primed.get(), primingSamples);
    if (decoder->primedCount == 0) {
        return nullptr;
    }
    return decoder;
}

std::size_t TrackDecoder::read(std::span<std::int16_t> samples) {
    const std::size_t channels = pcmFormat.channels;
    const std::size_t wanted = samples.size() / channels * channels;
    const std::size_t fromPrimed = std::min(wanted, primedCount - primedOffset);
    std::copy_n(primed.get() + primedOffset, fromPrimed, samples.data());
    primedOffset += fromPrimed;
    std::size_t count = fromPrimed;
    if (count < wanted) {
        count += readSamples(samples.data() + count, wanted - count);
    }
    return count / channels;
}

bool TrackDecoder::seek(std::uint64_t frame) {
    primedOffset = primedCount;
    const std::uint64_t sample = frame * pcmFormat.channels;
    if (sndfile) {
        return sndfile->seekTo(sample);
    }
    fallback->seek(sample);
    return true;
}

std::size_t TrackDecoder::readSamples(std::int16_t* samples, std::size_t count) {
    std::size_t total = 0;
    while (total < count) {
        const sf::Uint64 got =
            sndfile ? sndfile->read(samples + total, count - total) : fallback->read(samples + total, count - total);
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    // A reader that breaks off mid-frame has no further whole frame to give.
    return total / pcmFormat.channels * pcmFormat.channels;
}
