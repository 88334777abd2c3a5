#pragma once

#include <SFML/Audio/SoundFileReader.hpp>

#include <memory>

// Decodes WAV, AIFF, FLAC, Ogg Vorbis, Opus and MP3 for SFML through libsndfile, which opens them
// far faster than SFML's own readers and knows more formats.
class SndfileReader final : public sf::SoundFileReader {
public:
    SndfileReader();
    ~SndfileReader() override;
    SndfileReader(const SndfileReader&) = delete;
    SndfileReader& operator=(const SndfileReader&) = delete;

    // Puts this reader ahead of SFML's own ones; safe to call many times.
    static void registerOnce();

    static bool check(sf::InputStream& stream);
    bool open(sf::InputStream& stream, Info& info) override;
    void seek(sf::Uint64 sampleOffset) override;
    // As seek, telling whether the file could go there.
    bool seekTo(sf::Uint64 sampleOffset);
    sf::Uint64 read(sf::Int16* samples, sf::Uint64 maxCount) override;

private:
    struct Handle;
    std::unique_ptr<Handle> handle;
};
