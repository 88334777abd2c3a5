#include "FileOpenCounter.h"
#include "PublishedPlayer.h"
#include "ToneFile.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusVariant>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace zalvo {

namespace {

// The window is never shown, so its tick never starts: whatever is announced was announced as it happened.
class PlaybackAnnouncementTest : public PublishedPlayer {
protected:
    std::filesystem::path track(const std::string& name, const std::string& title) {
        ToneShape shape;
        shape.segments = {ToneSegment{440.0, 5.0}};
        std::filesystem::path path = dir.file(name + extensionOf(AudioFormat::Flac));
        writeToneFile(path, AudioFormat::Flac, shape, TrackTags{title, "The Artist", "The Album"});
        return path;
    }

    // Adds them as a drop does, and waits until they are in the list.
    bool add(const QStringList& paths) {
        window.AddFromOutside(paths, false);
        return waitUntil(
            [&] { return window.GetPlayList().getList()->size() == static_cast<std::size_t>(paths.size()); });
    }

    QDBusMessage call(const QString& method) { return PublishedPlayer::call(playerInterface, method); }
    QVariantMap metadata() { return get(QStringLiteral("Metadata")).toMap(); }
};

struct AnnouncedChange {
    const char* name;
    QString property;
    // Tracks in the list before the change.
    int tracks;
    // Given the window and a track not in its list.
    std::function<void(CZalvoDlg&, const QString&)> change;
};

class AnnouncedChangeTest : public PlaybackAnnouncementTest, public testing::WithParamInterface<AnnouncedChange> {};

TEST_P(AnnouncedChangeTest, IsAnnouncedWithoutATick) {
    ASSERT_TRUE(published);
    QStringList paths;
    for (int index = 0; index < GetParam().tracks; ++index) {
        paths.append(QString::fromStdString(track("t" + std::to_string(index), "Title").string()));
    }
    ASSERT_TRUE(paths.isEmpty() || add(paths));
    // The bus delivers a reply after every signal sent before it: what adding announced is in.
    metadata();
    QCoreApplication::processEvents();
    recorder->changes.clear();

    GetParam().change(window, QString::fromStdString(track("spare", "Spare").string()));
    EXPECT_TRUE(waitUntil([this] { return recorder->announced(GetParam().property); }, 2000));
}

INSTANTIATE_TEST_SUITE_P(
    Properties, AnnouncedChangeTest,
    testing::Values(AnnouncedChange{"VolumeFromTheSettings", QStringLiteral("Volume"), 0,
                                    [](CZalvoDlg&, const QString&) { AudioConfig::getInstance()->volumeDown(); }},
                    AnnouncedChange{"LoopStatus", QStringLiteral("LoopStatus"), 0,
                                    [](CZalvoDlg& w, const QString&) { w.DoAction(REPEAT); }},
                    AnnouncedChange{"Shuffle", QStringLiteral("Shuffle"), 0,
                                    [](CZalvoDlg& w, const QString&) { w.DoAction(SHUFFLE); }},
                    AnnouncedChange{"PlaybackStatus", QStringLiteral("PlaybackStatus"), 1,
                                    [](CZalvoDlg& w, const QString&) { w.DoAction(PLAY_PAUSE); }},
                    AnnouncedChange{"MetadataOfTheNextTrack", QStringLiteral("Metadata"), 2,
                                    [](CZalvoDlg& w, const QString&) { w.DoAction(NEXT); }},
                    AnnouncedChange{"CanPlayOnceTheListHoldsATrack", QStringLiteral("CanPlay"), 0,
                                    [](CZalvoDlg& w, const QString& spare) { w.AddFromOutside({spare}, false); }}),
    [](const testing::TestParamInfo<AnnouncedChange>& info) { return std::string(info.param.name); });

TEST_F(PlaybackAnnouncementTest, PlayOverTheBusReachesTheScreenReaderWithoutATick) {
    ASSERT_TRUE(add({QString::fromStdString(track("one", "One").string())}));
    ASSERT_EQ(call(QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(window.accessibleDescription().startsWith(QStringLiteral("Lecture : ")))
        << window.accessibleDescription().toStdString();
}

// Drop, play, then the desktop's metadata with its cover and the screen reader's description: the file
// is opened to outline it, to play it, once for its tags (shared by the loudness, MPRIS and the screen
// reader) and once for its cover.
TEST_F(PlaybackAnnouncementTest, ADroppedTrackIsOpenedOnceForEachUseAndItsTagsReadOnce) {
    const std::filesystem::path file = track("dropped", "Dropped Title");
    FileOpenCounter counter(file);
    ASSERT_TRUE(add({QString::fromStdString(file.string())}));
    window.DoAction(PLAY_PAUSE);
    ASSERT_TRUE(waitUntil(
        [this] { return metadata().value(QStringLiteral("xesam:title")) == QStringLiteral("Dropped Title"); }));
    EXPECT_TRUE(window.accessibleDescription().contains(QStringLiteral("Dropped Title")));
    // The cover is looked for once the title is out. Two opens that overlap on different threads reach the
    // counter as one, so three is as good as four; more is a file read twice.
    waitUntil([&] { return counter.opens() >= 4; }, 1000);
    EXPECT_GE(counter.opens(), 3);
    EXPECT_LE(counter.opens(), 4);
}

} // namespace

} // namespace zalvo
