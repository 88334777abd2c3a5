#include "DeferredLog.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> messagesOf(const LogCapture& capture) {
    std::vector<std::string> messages;
    for (const LogCapture::Entry& entry : capture.entries()) {
        EXPECT_EQ(entry.category, Log::Category::Output);
        messages.push_back((entry.level == Log::Level::Warning ? "warning " : "debug ") + entry.message);
    }
    return messages;
}

TEST(DeferredLogTest, HoldsUntilFlushedInOrderAndReportsARepeatedFailureOnce) {
    const LogCapture capture;
    DeferredLog log(Log::Category::Output);
    log.warning("lost");
    log.warning("lost");
    log.debug("back");
    log.warning("lost");
    EXPECT_TRUE(capture.entries().empty()) << "written before the flush";

    log.flush();
    log.warning("lost");
    log.flush();
    EXPECT_EQ(messagesOf(capture), (std::vector<std::string>{"warning lost", "debug back", "warning lost"}));
}

} // namespace
