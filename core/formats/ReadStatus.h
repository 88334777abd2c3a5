#pragma once

namespace zalvo {

// How reading a playlist file ended.
enum class ReadStatus {
    Ok,           // every entry read
    Damaged,      // a known format that breaks off: the entries before the damage were delivered
    Unrecognised, // no known format, or not a regular file: nothing was delivered
    Unreadable,   // the file could not be opened
    Cancelled,    // the receiver asked to stop
};

} // namespace zalvo
