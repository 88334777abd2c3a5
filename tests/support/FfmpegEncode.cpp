#include "FfmpegEncode.h"

#include <cstdlib>
#include <stdexcept>

void encodeWithFfmpeg(const std::filesystem::path& source, const std::filesystem::path& target,
                      const std::string& options) {
    const std::string command =
        "ffmpeg -nostdin -v error -y -i '" + source.string() + "' " + options + " '" + target.string() + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("ffmpeg failed: " + command);
    }
}
