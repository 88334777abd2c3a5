#pragma once

#include <filesystem>
#include <string>

namespace zalvo {

// Encodes `source` into `target` with the ffmpeg command-line tool; `options` go before the output
// (codec, container). Throws std::runtime_error when ffmpeg fails or is missing.
void encodeWithFfmpeg(const std::filesystem::path& source, const std::filesystem::path& target,
                      const std::string& options);

// A 0.3 s tone encoded by `codec` into `target`, as people's files are made; throws as above.
std::filesystem::path encodeTone(const std::filesystem::path& target, const std::string& codec);

} // namespace zalvo
