#include "playlist/TrackOpener.h"

#include "base/Log.h"
#include "base/StreamUrl.h"
#include "base/TextEncoding.h"
#include "decode/FolderScope.h"
#include "decode/TrackDecoder.h"
#include "formats/CueEntry.h"
#include "playlist/CueSheetFile.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <variant>

namespace zalvo {

namespace {

// The last cue sheet a thread read: the entries of one sheet come one after the other.
class LastSheet final {
public:
    const std::vector<CueSheetFile::Located>& tracksOf(const std::u16string& sheet) {
        if (sheet != path) {
            path = sheet;
            std::variant<std::vector<CueSheetFile::Located>, std::string> read = CueSheetFile::read(sheet);
            auto* found = std::get_if<std::vector<CueSheetFile::Located>>(&read);
            tracks = found != nullptr ? std::move(*found) : std::vector<CueSheetFile::Located>();
        }
        return tracks;
    }

private:
    std::u16string path;
    std::vector<CueSheetFile::Located> tracks;
};

std::optional<TrackOutline> outlineOf(const std::u16string& path) {
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(path);
    return utf8 ? TrackDecoder::outline(*utf8) : std::nullopt;
}

// The tracks of a cue sheet, or of one of them named "album.cue?2"; false when the path names none.
bool openCueTracks(const std::u16string& path, LastSheet& sheets, std::vector<std::unique_ptr<Music>>& opened) {
    const std::optional<CueEntry> entry = CueEntry::of(path);
    const std::vector<CueSheetFile::Located>& tracks = sheets.tracksOf(entry ? entry->sheet : path);
    for (const CueSheetFile::Located& located : tracks) {
        if (entry && located.track.number != entry->number) {
            continue;
        }
        auto track = std::make_unique<Music>();
        if (track->open(located.audio, located.track)) {
            opened.push_back(std::move(track));
        } else {
            Log::warning(Log::Category::Formats,
                         "Left out track " + std::to_string(located.track.number) + " of " +
                             TextEncoding::toUtf8(TextEncoding::readable(located.track.sheet)).value_or("") +
                             ": its file does not open or ends before the track begins");
        }
    }
    return !tracks.empty();
}

// Opens the track a path names into `candidate`, or the tracks of the cue sheet it is or carries into
// `ofSheet`; whether `candidate` took the path.
bool openOne(const std::u16string& path, Music& candidate, LastSheet& sheets,
             std::vector<std::unique_ptr<Music>>& ofSheet) {
    // A station opens without reaching the network.
    if (StreamUrl::isStream(path)) {
        return candidate.open(path);
    }
    // An album in one file lists as the tracks of the sheet it carries.
    if (const std::optional<TrackOutline> outline = outlineOf(path)) {
        return (!outline->carriesCueSheet || !openCueTracks(path, sheets, ofSheet)) && candidate.open(path, *outline);
    }
    if (openCueTracks(path, sheets, ofSheet)) {
        return false;
    }
    // "song.flac?1" of a file that carries no sheet still names the file.
    const std::optional<CueEntry> entry = CueEntry::of(path);
    return entry && candidate.open(entry->sheet);
}

} // namespace

// Opening a track decodes its file's headers (half a millisecond for Ogg Vorbis), so the tracks of a
// long playlist open side by side on every core.
std::vector<std::unique_ptr<Music>> TrackOpener::openAll(const std::vector<std::u16string>& paths) {
    constexpr std::size_t pathsPerThread = 64;
    // One track a path, or the tracks of a cue sheet beside it: only sheets cost a list of their own.
    std::vector<std::unique_ptr<Music>> opened(paths.size());
    std::vector<std::vector<std::unique_ptr<Music>>> ofSheets(paths.size());
    std::atomic<std::size_t> nextIndex = 0;
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto openRemaining = [&] {
        try {
            const FolderScope folders;
            LastSheet sheets;
            // A failed open leaves a track as it was built, so one candidate serves every path that
            // does not open: memory follows the tracks kept, not the paths read.
            auto candidate = std::make_unique<Music>();
            for (std::size_t i = nextIndex++; i < paths.size(); i = nextIndex++) {
                if (openOne(paths[i], *candidate, sheets, ofSheets[i])) {
                    opened[i] = std::exchange(candidate, std::make_unique<Music>());
                }
            }
        } catch (...) {
            const std::scoped_lock lock(failureMutex);
            failure = std::current_exception();
        }
    };
    const std::size_t threadCount =
        std::clamp<std::size_t>(paths.size() / pathsPerThread, 1, std::max(1U, std::thread::hardware_concurrency()));
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < threadCount; ++i) {
            helpers.emplace_back(openRemaining);
        }
        openRemaining();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    std::vector<std::unique_ptr<Music>> tracks;
    tracks.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (opened[i]) {
            tracks.push_back(std::move(opened[i]));
        }
        std::move(ofSheets[i].begin(), ofSheets[i].end(), std::back_inserter(tracks));
    }
    // The threads took the paths in turns: the tracks of one folder are packed once all are in.
    Music::packPaths(tracks);
    return tracks;
}

} // namespace zalvo
