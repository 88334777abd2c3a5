#pragma once

#include "formats/EntrySink.h"
#include "formats/ReadStatus.h"
#include "formats/SavedTrack.h"

#include <atomic>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace zalvo {

// Playlist files of every format: reads one, asking each format in turn whether it knows the content,
// and writes one in the format its name asks for.
class PlayListFile final {
public:
    enum class Format { Archive, M3u, Pls, Xspf, Cue };

    PlayListFile() = delete;

    // Delivers the local path of each entry, in order. Only a regular file is read, so a FIFO or a
    // device never blocks the reader. Once `cancelled` turns true the reading ends within one chunk of
    // the file, wherever it stands.
    static ReadStatus read(const std::u16string& path, const EntrySink& sink,
                           const std::atomic<bool>* cancelled = nullptr);
    // The same over a stream; relative entries are resolved against `folder`.
    static ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink,
                           const std::atomic<bool>* cancelled = nullptr);

    // The format a file of this name is written in: the archive unless the extension names another.
    static Format formatForName(std::u16string_view path);
    // False when the stream failed.
    static bool write(std::ostream& output, Format format, const std::vector<SavedTrack>& tracks,
                      std::u16string_view folder);

private:
    static ReadStatus readAnyFormat(std::istream& input, std::u16string_view folder, const EntrySink& sink);
};

} // namespace zalvo
