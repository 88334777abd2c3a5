#include "FfmpegEncode.h"

#include <cstdlib>
#include <stdexcept>

namespace zalvo {

namespace {

void runFfmpeg(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -v error -y " + arguments;
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("ffmpeg failed: " + command);
    }
}

} // namespace

void encodeWithFfmpeg(const std::filesystem::path& source, const std::filesystem::path& target,
                      const std::string& options) {
    runFfmpeg("-i '" + source.string() + "' " + options + " '" + target.string() + "'");
}

std::filesystem::path encodeTone(const std::filesystem::path& target, const std::string& codec) {
    runFfmpeg("-f lavfi -i sine=frequency=440:duration=0.3 -c:a " + codec + " '" + target.string() + "'");
    return target;
}

} // namespace zalvo
