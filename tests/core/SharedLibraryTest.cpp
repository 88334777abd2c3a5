#include "base/SharedLibrary.h"

#include "LogCapture.h"
#include "decode/RateConverter.h"
#include "output/AudioOutput.h"
#include "output/PulseOutput.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace zalvo {

namespace {

bool mapped(const std::string& library) {
    std::ifstream maps("/proc/self/maps");
    const std::string text{std::istreambuf_iterator<char>(maps), {}};
    return text.find(library) != std::string::npos;
}

TEST(SharedLibraryTest, BindsByNameOrSaysWhyNot) {
    SharedLibrary math("libm.so.6");
    double (*cosine)(double) = nullptr;
    ASSERT_TRUE(math.bind(cosine, "cos")) << math.failure();
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_TRUE(math.failure().empty());

    void (*missing)() = nullptr;
    EXPECT_FALSE(math.bind(missing, "zalvo_no_such_function"));
    EXPECT_EQ(missing, nullptr);
    EXPECT_NE(math.failure().find("zalvo_no_such_function"), std::string::npos) << math.failure();

    SharedLibrary absent("libzalvo-absent.so.7");
    EXPECT_FALSE(absent.bind(cosine, "cos"));
    EXPECT_NE(absent.failure().find("libzalvo-absent.so.7"), std::string::npos) << absent.failure();
}

struct Cosine {
    double (*cosine)(double) = nullptr;
};

struct Lacking {
    void (*missing)() = nullptr;
};

// A table is made on the first call and kept.
TEST(SharedLibraryTest, TableIsMadeOnce) {
    const auto cosine = [] {
        return SharedLibrary::tableOnce<Cosine>(
            "libm.so.6", "libm", Log::Category::Engine, "",
            [](SharedLibrary& library, Cosine& table) { return library.bind(table.cosine, "cos"); });
    };
    ASSERT_NE(cosine(), nullptr);
    EXPECT_EQ(cosine(), cosine());
    EXPECT_DOUBLE_EQ(cosine()->cosine(0.0), 1.0);
}

// One that cannot be made is null on every call, and said once, with what the player does without it.
TEST(SharedLibraryTest, TableThatCannotBeMadeIsSaidOnce) {
    const LogCapture log;
    const auto lacking = [] {
        return SharedLibrary::tableOnce<Lacking>("libm.so.6", "libm", Log::Category::Engine, ", so nothing plays",
                                                 [](SharedLibrary& library, Lacking& table) {
                                                     return library.bind(table.missing, "zalvo_no_such_function");
                                                 });
    };
    EXPECT_EQ(lacking(), nullptr);
    EXPECT_EQ(lacking(), nullptr);
    ASSERT_EQ(log.entries().size(), 1U);
    EXPECT_EQ(log.entries()[0].message,
              "libm does not load (libm.so.6 has no zalvo_no_such_function), so nothing plays");
}

// What a start that plays nothing never uses, it never maps: libpulse until the player looks for a sound
// server, libsoxr until a track needs converting, OpenAL Soft until an output or a hold opens its device.
// (These tests' own fixtures link libsndfile; the window's smoke test checks that one.)
TEST(SharedLibraryTest, TheSoundPathsLibrariesAreMappedOnFirstNeed) {
    EXPECT_FALSE(mapped("libpulse.so"));
    PulseOutput::serverAnswers();
    EXPECT_TRUE(mapped("libpulse.so"));

    EXPECT_FALSE(mapped("libsoxr"));
    const RateConverter converter(PcmFormat{768000, 1}, 192000);
    EXPECT_TRUE(converter.ready());
    EXPECT_TRUE(mapped("libsoxr"));

    EXPECT_FALSE(mapped("libopenal"));
    const std::shared_ptr<void> hold = AudioOutput::holdDevice();
    EXPECT_NE(hold, nullptr);
    EXPECT_TRUE(mapped("libopenal"));
}

} // namespace

} // namespace zalvo
