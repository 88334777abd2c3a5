#include "CoreLog.h"

#include "LogCategories.h"
#include "base/Log.h"

namespace zalvo {

Q_LOGGING_CATEGORY(lcEngine, Log::nameOf(Log::Category::Engine), QtWarningMsg)
Q_LOGGING_CATEGORY(lcOutput, Log::nameOf(Log::Category::Output), QtWarningMsg)
Q_LOGGING_CATEGORY(lcFormats, Log::nameOf(Log::Category::Formats), QtWarningMsg)
Q_LOGGING_CATEGORY(lcTags, Log::nameOf(Log::Category::Tags), QtWarningMsg)
Q_LOGGING_CATEGORY(lcMpris, "zalvo.mpris", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDesktop, "zalvo.desktop", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "zalvo.ui", QtWarningMsg)

namespace {

const QLoggingCategory& categoryOf(Log::Category category) {
    switch (category) {
    case Log::Category::Engine:
        return lcEngine();
    case Log::Category::Output:
        return lcOutput();
    case Log::Category::Formats:
        return lcFormats();
    case Log::Category::Tags:
        return lcTags();
    }
    return lcEngine();
}

void toQt(Log::Category category, Log::Level level, std::string_view message) {
    const QLoggingCategory& qtCategory = categoryOf(category);
    const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    if (level == Log::Level::Warning) {
        qCWarning(qtCategory).noquote() << text;
    } else {
        qCDebug(qtCategory).noquote() << text;
    }
}

} // namespace

void CoreLog::install() {
    Log::setSink(toQt);
}

} // namespace zalvo
