#include "CoreLog.h"

#include "base/Log.h"

#include <QLoggingCategory>
#include <QStringList>
#include <gtest/gtest.h>

namespace zalvo {

namespace {

QStringList logged;

void record(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const char* level = type == QtDebugMsg ? "debug" : type == QtWarningMsg ? "warning" : "other";
    logged.append(QStringLiteral("%1 %2: %3").arg(QLatin1String(level), QLatin1String(context.category), text));
}

TEST(CoreLogTest, CoreWarningsReachQtUnderTheirCategoryAndDebugOnlyWhenTheRulesAsk) {
    CoreLog::install();
    const QtMessageHandler previous = qInstallMessageHandler(record);
    Log::warning(Log::Category::Output, "connection lost: Connection refused");
    Log::debug(Log::Category::Engine, "not shown");
    QLoggingCategory::setFilterRules(QStringLiteral("zalvo.engine.debug=true"));
    Log::debug(Log::Category::Engine, "shown");
    QLoggingCategory::setFilterRules({});
    qInstallMessageHandler(previous);
    Log::setSink(nullptr);
    EXPECT_EQ(logged, (QStringList{QStringLiteral("warning zalvo.output: connection lost: Connection refused"),
                                   QStringLiteral("debug zalvo.engine: shown")}));
}

} // namespace

} // namespace zalvo
