#pragma once

namespace zalvo {

// Hands the core's messages to Qt's logging, under the core's category names, so that one set of
// logging rules governs the whole player.
class CoreLog final {
public:
    CoreLog() = delete;

    static void install();
};

} // namespace zalvo
