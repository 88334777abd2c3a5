#pragma once

#include <functional>
#include <string>

namespace zalvo {

// Receives the local path of each entry of a playlist file, in the file's order, or an empty path for an
// entry that names no local file (a remote URL); returns false to stop the reading.
using EntrySink = std::function<bool(std::u16string path)>;

} // namespace zalvo
