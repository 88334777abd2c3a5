#include "decode/FileStream.h"

#include "TempDir.h"
#include "decode/FolderScope.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zalvo {

namespace {

constexpr std::int64_t fileSize = 20'000;

// No byte equals its neighbours, so a read from the wrong place shows.
unsigned char byteAt(std::int64_t at) {
    return static_cast<unsigned char>(at * 7 % 251);
}

class FileStreamTest : public testing::Test {
protected:
    void SetUp() override {
        std::ofstream out(dir.file("bytes.bin"), std::ios::binary);
        for (std::int64_t at = 0; at < fileSize; ++at) {
            out.put(static_cast<char>(byteAt(at)));
        }
        ASSERT_TRUE(out.flush());
        ASSERT_TRUE(stream.open(dir.file("bytes.bin").string()));
    }

    TempDir dir;
    FileStream stream;
};

TEST_F(FileStreamTest, ReadsAfterSeeksGiveTheFilesBytes) {
    struct Step {
        std::int64_t seekTo;
        std::int64_t count;
        std::int64_t expected;
    };
    // Within one buffer, across its edge, larger than it, back behind it, and over the end.
    const std::vector<Step> steps{
        {0, 12, 12},      {8, 4, 4},      {4090, 12, 12}, {100, 9000, 9000},       {50, 60, 60},
        {19'990, 64, 10}, {20'000, 8, 0}, {30'000, 8, 0}, {0, fileSize, fileSize},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "at " << step.seekTo << ", " << step.count << " bytes");
        ASSERT_EQ(stream.seek(step.seekTo), step.seekTo);
        std::vector<unsigned char> bytes(static_cast<std::size_t>(step.count));
        ASSERT_EQ(stream.read(bytes.data(), step.count), step.expected);
        for (std::int64_t i = 0; i < step.expected; ++i) {
            ASSERT_EQ(bytes[static_cast<std::size_t>(i)], byteAt(step.seekTo + i)) << "byte " << step.seekTo + i;
        }
        EXPECT_EQ(stream.tell(), step.seekTo + step.expected);
    }
}

TEST_F(FileStreamTest, ReadingLeavesTheDescriptorsOffsetAlone) {
    std::vector<unsigned char> bytes(6000);
    ASSERT_EQ(stream.seek(3000), 3000);
    ASSERT_EQ(stream.read(bytes.data(), 6000), 6000);
    EXPECT_EQ(lseek(stream.descriptor(), 0, SEEK_CUR), 0);
}

std::size_t openDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(std::filesystem::begin(fds), std::filesystem::end(fds)));
}

// Within a scope, files open from the folder opened last, whichever folder each lies in, and what does
// not open there still does not; once the scope ends no folder is held open.
TEST_F(FileStreamTest, FilesOpenRelativeToTheirFolderOnlyWhileAScopeLives) {
    std::filesystem::create_directories(dir.file("other"));
    std::ofstream(dir.file("other/one.bin")) << "1";
    const std::size_t before = openDescriptors();
    {
        const FolderScope folders;
        for (const auto& [path, opens] :
             {std::pair{dir.file("bytes.bin"), true}, std::pair{dir.file("other/one.bin"), true},
              std::pair{dir.file("other/missing.bin"), false}, std::pair{dir.file("other"), false},
              std::pair{dir.file("bytes.bin"), true}, std::pair{std::filesystem::path("/etc/hostname"), true}}) {
            FileStream opened;
            EXPECT_EQ(opened.open(path.string()), opens) << path;
            EXPECT_EQ(opened.getSize(), opens ? static_cast<std::int64_t>(std::filesystem::file_size(path)) : -1)
                << path;
        }
        EXPECT_GT(openDescriptors(), before);
    }
    EXPECT_EQ(openDescriptors(), before);
}

} // namespace

} // namespace zalvo
