#include "base/DeferredLog.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace zalvo {

namespace {

TEST(DeferredLogTest, WritesOnAThreadOfItsOwnInOrderAndReportsARepeatedFailureOnce) {
    const LogCapture capture;
    {
        DeferredLog log(Log::Category::Output);
        log.warning("lost");
        log.warning("lost");
        log.debug("back");
        log.warning("lost");
    }
    std::vector<std::string> messages;
    for (const LogCapture::Entry& entry : capture.entries()) {
        EXPECT_EQ(entry.category, Log::Category::Output);
        EXPECT_NE(entry.thread, std::this_thread::get_id()) << "written by the thread that held it";
        messages.push_back((entry.level == Log::Level::Warning ? "warning " : "debug ") + entry.message);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"warning lost", "debug back", "warning lost"}));
}

} // namespace

} // namespace zalvo
