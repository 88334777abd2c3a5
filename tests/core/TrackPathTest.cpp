#include "playlist/TrackPath.h"

#include "base/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zalvo {

namespace {

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
    TrackPath first("/music/Album/01.wav");
    TrackPath second("/music/Album/02.wav");
    TrackPath elsewhere("/music/Other/03.wav");
    second.shareFolderWith(first);
    elsewhere.shareFolderWith(second);
    EXPECT_EQ(first.utf8(), "/music/Album/01.wav");
    EXPECT_EQ(second.utf8(), "/music/Album/02.wav");
    EXPECT_EQ(elsewhere.utf8(), "/music/Other/03.wav");
}

} // namespace

} // namespace zalvo
