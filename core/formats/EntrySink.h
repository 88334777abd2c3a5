#pragma once

#include <functional>
#include <string>

namespace zalvo {

// Receives the local path or the internet stream's URL of each entry of a playlist file, in the file's
// order, or an empty path for an entry that names neither (another scheme); returns false to stop the
// reading.
using EntrySink = std::function<bool(std::u16string path)>;

} // namespace zalvo
