#pragma once

#include <functional>
#include <string>

// Receives the local path of each entry of a playlist file, in the file's order; returns false to stop
// the reading.
using EntrySink = std::function<bool(std::u16string path)>;
