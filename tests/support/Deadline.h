#pragma once

#include <chrono>
#include <functional>

namespace zalvo {

// Runs `work` on a thread of its own and tells whether it ended within `limit`. One that never ends is
// left behind, so that a call which blocks fails its test rather than hanging the suite.
bool finishesWithin(std::chrono::milliseconds limit, std::function<void()> work);

} // namespace zalvo
