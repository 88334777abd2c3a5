#include "formats/Archive.h"
#include "formats/ArchiveException.h"
#include "playlist/PlayList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace zalvo {

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::u16string> checkedPaths(PlayList& playList) {
    std::vector<std::u16string> paths;
    for (const std::unique_ptr<Music>& track : *playList.getList()) {
        require(track != nullptr && !track->getPath().empty() && track->isStopped());
        paths.push_back(track->getPath());
    }
    return paths;
}

} // namespace

// Any bytes loaded as a playlist file: the load either completes or ends with the archive's error, and
// the playlist is left whole either way; what loaded saves and loads back unchanged.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Tracks share the audio device while any of them lives; holding one keeps it from being reopened
    // for every input that leaves the playlist empty.
    static const Music deviceHold;
    static PlayList playList;
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    Archive loading(input);
    try {
        playList.Serialize(loading);
    } catch (const ArchiveException& error) {
        require(error.getCause() == ArchiveException::Cause::EndOfFile);
        require(playList.getCurrentPosition() == playList.getList()->end());
        checkedPaths(playList);
        return 0;
    }
    require(playList.getCurrentPosition() == playList.getList()->begin());
    const std::vector<std::u16string> paths = checkedPaths(playList);

    std::ostringstream output;
    Archive storing(output);
    playList.Serialize(storing);
    std::istringstream again(output.str());
    Archive reloading(again);
    playList.Serialize(reloading);
    require(checkedPaths(playList) == paths);
    return 0;
}

} // namespace zalvo
