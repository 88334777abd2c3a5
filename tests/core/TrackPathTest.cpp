#include "playlist/TrackPath.h"

#include "base/TextEncoding.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zalvo {

namespace {

// Paths made of each string, in order, or default-made for none.
std::vector<std::unique_ptr<TrackPath>> pathsOf(const std::vector<std::string>& utf8) {
    std::vector<std::unique_ptr<TrackPath>> paths;
    paths.reserve(utf8.size());
    for (const std::string& path : utf8) {
        paths.push_back(path.empty() ? std::make_unique<TrackPath>() : std::make_unique<TrackPath>(path));
    }
    return paths;
}

void pack(const std::vector<std::unique_ptr<TrackPath>>& paths) {
    std::vector<TrackPath*> pointers;
    pointers.reserve(paths.size());
    for (const std::unique_ptr<TrackPath>& path : paths) {
        pointers.push_back(path.get());
    }
    TrackPath::pack(pointers);
}

TEST(TrackPathTest, GivesBackThePathItWasMadeOf) {
    // A bare name, a file at the root, nested folders, a folder's trailing separator, bytes that are not UTF-8.
    const std::vector<std::string> paths{"track.wav", "/track.wav", "/music/Artist/Album/01 Song.flac", "/music/Album/",
                                         "/m\xFFsic/\xC3\xA9t\xE9.ogg"};
    for (const std::string& utf8 : paths) {
        SCOPED_TRACE(utf8);
        const TrackPath path(utf8);
        EXPECT_EQ(path.utf8(), utf8);
        EXPECT_EQ(path.text(), TextEncoding::fromFileSystem(utf8));
    }
}

TEST(TrackPathTest, SharingAFolderKeepsEachPathsOwnName) {
    // Runs of one folder, folders coming back after another, names of no folder or the root's, bytes that are
    // not UTF-8, and paths of nothing (empty here) between them.
    const std::vector<std::vector<std::string>> batches{
        {"/music/Album/01.wav", "/music/Album/02.wav", "/music/Other/03.wav"},
        {"/a/1.wav", "/b/2.wav", "/a/3.wav", "/a/4.wav", "/b/5.wav"},
        {"1.wav", "2.wav", "/3.wav", "/4.wav", "/a/5.wav", "6.wav"},
        {"/m\xFFsic/\xE9t\xE9.ogg", "/m\xFFsic/\xC3\xA9.ogg", "/m\xFFsic/"},
        {"", "/a/1.wav", "", "", "/a/2.wav", ""},
        {"/a/only.wav"},
    };
    for (const std::vector<std::string>& batch : batches) {
        SCOPED_TRACE(::testing::PrintToString(batch));
        const std::vector<std::unique_ptr<TrackPath>> paths = pathsOf(batch);
        pack(paths);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            EXPECT_EQ(paths[i]->utf8(), batch[i]);
        }
    }
}

TEST(TrackPathTest, APackedPathOutlivesTheOthersOfItsFolder) {
    const std::vector<std::string> batch{"/music/Album/01.wav", "/music/Album/02.wav", "/music/Album/03.wav"};
    for (std::size_t kept = 0; kept < batch.size(); ++kept) {
        SCOPED_TRACE(kept);
        std::vector<std::unique_ptr<TrackPath>> paths = pathsOf(batch);
        pack(paths);
        // Moved out, then every other path of the block gone.
        TrackPath survivor(std::move(*paths[kept]));
        EXPECT_EQ(paths[kept]->utf8(), "");
        paths.clear();
        EXPECT_EQ(survivor.utf8(), batch[kept]);
        survivor = TrackPath("/elsewhere/x.wav");
        EXPECT_EQ(survivor.utf8(), "/elsewhere/x.wav");
    }
}

TEST(TrackPathTest, PackingAgainKeepsThePaths) {
    const std::vector<std::string> batch{"/a/1.wav", "/a/2.wav", "/b/3.wav"};
    const std::vector<std::unique_ptr<TrackPath>> paths = pathsOf(batch);
    pack(paths);
    // The second time, every path reads its folder from the block it is leaving.
    pack(paths);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        EXPECT_EQ(paths[i]->utf8(), batch[i]);
    }
}

} // namespace

} // namespace zalvo
