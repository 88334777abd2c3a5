#pragma once

#include <QLoggingCategory>

namespace zalvo {

// The player's logging categories. Warnings show by default, debug messages only where
// QT_LOGGING_RULES turns them on ("zalvo.*.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
Q_DECLARE_LOGGING_CATEGORY(lcOutput)
Q_DECLARE_LOGGING_CATEGORY(lcFormats)
Q_DECLARE_LOGGING_CATEGORY(lcTags)
Q_DECLARE_LOGGING_CATEGORY(lcMpris)
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)
Q_DECLARE_LOGGING_CATEGORY(lcUi)

} // namespace zalvo
