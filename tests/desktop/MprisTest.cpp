#include "CPlayListManagDlg.h"
#include "FaultServer.h"
#include "ModalCatcher.h"
#include "MprisRootAdaptor.h"
#include "PublishedPlayer.h"
#include "ToneFile.h"

#include <QAbstractItemView>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QImageReader>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>

namespace zalvo {

namespace {

// The player driven from a second connection and by playerctl, its window shown so that it ticks.
class MprisTest : public PublishedPlayer {
protected:
    MprisTest() { window.show(); }

    QString track(const std::string& name, double seconds = 2.0, const std::string& title = {}) {
        ToneShape shape;
        shape.segments = {ToneSegment{440.0, seconds}};
        const TrackTags tags{title, title.empty() ? "" : "The Artist", title.empty() ? "" : "The Album"};
        const auto format = title.empty() ? AudioFormat::Wav : AudioFormat::Flac;
        const std::filesystem::path path = dir.file(name + extensionOf(format));
        writeToneFile(path, format, shape, tags);
        return QString::fromStdString(path.string());
    }

    void set(const QString& property, const QVariant& value) {
        call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
             {playerInterface, property, QVariant::fromValue(QDBusVariant(value))});
    }

    QString playerctl(const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(bus.environment());
        return runToEnd(process, QStringLiteral("playerctl"),
                        QStringList{QStringLiteral("-p"), QStringLiteral("zalvo")} + arguments);
    }

    Music* currentTrack() { return window.GetPlayList().getCurrent(); }

    // Tags are read off the UI thread: the shown track's, once they have come, are in the metadata.
    bool waitForTags(int milliseconds = 5000) {
        return waitUntil(
            [this] {
                const Music* shown = window.GetPlayList().shownTrack();
                return shown != nullptr && window.GetShownTrackTags().find(shown->getId()) != nullptr;
            },
            milliseconds);
    }
};

TEST_F(MprisTest, TheRootInterfaceDescribesThePlayer) {
    ASSERT_TRUE(published);
    EXPECT_EQ(service.busName(), playerName);
    const std::vector<std::pair<QString, QVariant>> expected{
        {QStringLiteral("Identity"), QStringLiteral("Zalvo")},
        {QStringLiteral("DesktopEntry"), QStringLiteral("zalvo")},
        {QStringLiteral("CanQuit"), true},
        {QStringLiteral("CanRaise"), true},
        {QStringLiteral("HasTrackList"), false},
        {QStringLiteral("SupportedUriSchemes"),
         QStringList{QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")}},
        {QStringLiteral("SupportedMimeTypes"), MprisRootAdaptor::supportedMimeTypes()},
    };
    for (const auto& [property, value] : expected) {
        EXPECT_EQ(get(property, rootInterface), value) << property.toStdString();
    }
}

TEST_F(MprisTest, PlayerctlDrivesTheTransportAndReadsTheTrack) {
    const QString first = track("first", 2.0, "Première");
    const QString second = track("second");
    EXPECT_EQ(get(QStringLiteral("CanPlay")), false);
    window.AddFromOutside({first, second}, false);
    for (const char* property : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious", "CanSeek", "CanControl"}) {
        EXPECT_EQ(get(QString::fromLatin1(property)), true) << property;
    }

    // Play resumes or starts, Pause only pauses a playing track.
    const std::vector<std::pair<QString, QString>> steps{
        {"status", "Stopped"}, {"pause", "Stopped"},      {"play", "Playing"}, {"play", "Playing"},
        {"pause", "Paused"},   {"pause", "Paused"},       {"play", "Playing"}, {"play-pause", "Paused"},
        {"stop", "Stopped"},   {"play-pause", "Playing"},
    };
    for (const auto& [command, status] : steps) {
        playerctl({command});
        EXPECT_EQ(playerctl({QStringLiteral("status")}).toStdString(), status.toStdString())
            << "after " << command.toStdString();
    }

    const Music* playing = currentTrack();
    ASSERT_TRUE(waitForTags());
    const QString format = QStringLiteral("{{mpris:length}}|{{xesam:url}}|{{title}}|{{artist}}|{{album}}");
    EXPECT_EQ(playerctl({QStringLiteral("metadata"), QStringLiteral("--format"), format}).toStdString(),
              QStringLiteral("%1|%2|Première|The Artist|The Album")
                  .arg(std::llround(playing->getDuration() * 1e6))
                  .arg(QUrl::fromLocalFile(first).toString())
                  .toStdString());
    const QVariantMap metadata = get(QStringLiteral("Metadata")).toMap();
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
              MprisService::trackPath(playing->getId()));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:artist")), QStringList{QStringLiteral("The Artist")});

    playerctl({QStringLiteral("next")});
    EXPECT_EQ(playerctl({QStringLiteral("metadata"), QStringLiteral("title")}).toStdString(), "second.wav")
        << "without tags the title is the file's name";
    EXPECT_EQ(playerctl({QStringLiteral("status")}).toStdString(), "Playing");
    playerctl({QStringLiteral("previous")});
    ASSERT_TRUE(waitForTags());
    EXPECT_EQ(playerctl({QStringLiteral("metadata"), QStringLiteral("title")}).toStdString(), "Première");
    EXPECT_GT(get(QStringLiteral("Position")).toLongLong(), 0);
}

TEST_F(MprisTest, SettingsFollowTheDesktopAndAreAnnounced) {
    window.AddFromOutside({track("one")}, false);
    window.GetPlayList().next(true);
    AudioConfig* config = AudioConfig::getInstance();
    struct Step {
        QStringList command;
        float volume;
        bool repeat;
        bool shuffle;
    };
    const std::vector<Step> steps{
        {{"volume", "0.5"}, 50.0F, false, false},   {{"volume", "0.44"}, 40.0F, false, false},
        {{"loop", "Track"}, 40.0F, true, false},    {{"loop", "None"}, 40.0F, false, false},
        {{"loop", "Playlist"}, 40.0F, true, false}, {{"shuffle", "On"}, 40.0F, true, true},
        {{"shuffle", "Off"}, 40.0F, true, false},   {{"volume", "1"}, 100.0F, true, false},
    };
    for (const Step& step : steps) {
        playerctl(step.command);
        const std::string what = step.command.join(' ').toStdString();
        EXPECT_EQ(config->getVolume(), step.volume) << what;
        EXPECT_EQ(currentTrack()->getVolume(), step.volume) << what << ": the playing track follows";
        EXPECT_EQ(config->isRepeat(), step.repeat) << what;
        EXPECT_EQ(config->isShuffle(), step.shuffle) << what;
    }
    EXPECT_EQ(playerctl({QStringLiteral("loop")}), QStringLiteral("Playlist"));
    waitUntil([this] { return recorder->announced(QStringLiteral("Shuffle")); });
    for (const char* property : {"Volume", "LoopStatus", "Shuffle"}) {
        EXPECT_TRUE(recorder->announced(QString::fromLatin1(property))) << property;
    }
}

TEST_F(MprisTest, TheEndOfATrackIsAnnouncedWithTheNextOnesMetadata) {
    window.AddFromOutside({track("short", 0.3), track("next")}, false);
    call(playerInterface, QStringLiteral("Play"));
    const QString secondId =
        MprisService::trackPath(std::next(window.GetPlayList().getList()->begin())->get()->getId());
    const auto announcedSecond = [&] {
        for (const QVariantMap& change : recorder->changes) {
            const QVariantMap metadata = unwrap(change.value(QStringLiteral("Metadata"))).toMap();
            if (metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path() == secondId) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(waitUntil(announcedSecond)) << "the tick moved on and said so";
    for (const char* property : {"PlaybackStatus", "CanPlay", "CanGoNext"}) {
        EXPECT_TRUE(recorder->announced(QString::fromLatin1(property))) << property;
    }
}

TEST_F(MprisTest, SeekingStaysWithinTheCurrentTrackOrMovesOn) {
    window.AddFromOutside({track("one"), track("two")}, false);
    call(playerInterface, QStringLiteral("Play"));
    const Music* first = currentTrack();

    call(playerInterface, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/zalvo/track/999999"))), qlonglong{500'000}});
    call(playerInterface, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(MprisService::trackPath(first->getId()))), qlonglong{-1}});
    waitUntil([] { return false; }, 200);
    EXPECT_TRUE(recorder->seeks.empty()) << "an unknown track or an impossible position is ignored";

    call(playerInterface, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(MprisService::trackPath(first->getId()))), qlonglong{1'000'000}});
    EXPECT_TRUE(waitUntil([this] { return !recorder->seeks.empty(); }));
    call(playerInterface, QStringLiteral("Seek"), {qlonglong{-60'000'000}});
    EXPECT_EQ(currentTrack(), first) << "before the start is the start";

    call(playerInterface, QStringLiteral("Seek"), {qlonglong{60'000'000}});
    EXPECT_NE(currentTrack(), first) << "past the end the transport moves on";
    EXPECT_TRUE(currentTrack()->isPlaying());
}

// A streamed FLAC gives no length: none is announced rather than 0, and a seek stays within it.
TEST_F(MprisTest, ATrackOfUnknownLengthAnnouncesNoneAndSeeksWithinIt) {
    const QString streamed = track("streamed", 5.0, "Streamed");
    {
        std::fstream file(streamed.toStdString(), std::ios::binary | std::ios::in | std::ios::out);
        // STREAMINFO's 36-bit sample total: the low nibble of byte 21 and bytes 22 to 25.
        file.seekg(21);
        const auto high = static_cast<char>(file.get() & 0xF0);
        file.seekp(21);
        file.write(&high, 1);
        file.write("\0\0\0\0", 4);
    }
    window.AddFromOutside({streamed, track("after")}, false);
    call(playerInterface, QStringLiteral("Play"));
    const Music* first = currentTrack();
    EXPECT_FALSE(get(QStringLiteral("Metadata")).toMap().contains(QStringLiteral("mpris:length")));

    call(playerInterface, QStringLiteral("Seek"), {qlonglong{2'000'000}});
    EXPECT_EQ(currentTrack(), first);
    EXPECT_TRUE(first->isPlaying());
    EXPECT_GE(first->getElapsedTime(), 1.9F);
}

TEST_F(MprisTest, OpenUriAppendsAFileAndPlaysIt) {
    window.AddFromOutside({track("playing")}, false);
    call(playerInterface, QStringLiteral("Play"));
    const QString opened = track("opened");
    CPlayListManagDlg manager;
    manager.SetPlayList(&window.GetPlayList());
    manager.SetMainDlg(&window);
    manager.show();
    auto* list = manager.findChild<QAbstractItemView*>();
    ASSERT_TRUE(waitUntil([list] { return list->model()->rowCount() == 1; }));
    list->setCurrentIndex(list->model()->index(0, 0));

    const QDBusMessage reply =
        call(playerInterface, QStringLiteral("OpenUri"), {QUrl::fromLocalFile(opened).toString()});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitUntil([this] { return window.GetPlayList().getList()->size() == 2; }));
    EXPECT_TRUE(waitUntil([this] { return currentTrack()->isPlaying(); }));
    EXPECT_EQ(currentTrack()->getPath(), opened.toStdU16String());
    EXPECT_EQ(list->model()->rowCount(), 2) << "the open manager shows the new entry at once";
    EXPECT_EQ(list->selectionModel()->selectedIndexes().value(0).row(), 0) << "and keeps its selection";

    for (const QString& uri : {QStringLiteral("ftp://example.com/a.ogg"),
                               QUrl::fromLocalFile(dir.file("missing.wav").c_str()).toString(), QString()}) {
        EXPECT_EQ(call(playerInterface, QStringLiteral("OpenUri"), {uri}).type(), QDBusMessage::ErrorMessage)
            << uri.toStdString();
    }
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(window.GetPlayList().getList()->size(), 2U);
}

// A station: its song as the title, split at " - ", its name as the album, no length, no seeking; each
// new song announced as the station sends it.
TEST_F(MprisTest, AStationOpenedByUriTellsItsSongsAndHasNoLength) {
    if (!FaultServer::available()) {
        GTEST_SKIP() << "python3 and ffmpeg make the station";
    }
    FaultServer station(dir.path());
    ASSERT_TRUE(station.start());
    const QString url = QString::fromStdString(station.url("/radio.mp3"));
    EXPECT_EQ(call(playerInterface, QStringLiteral("OpenUri"), {url}).type(), QDBusMessage::ReplyMessage);
    const auto shown = [this] {
        return playerctl({QStringLiteral("metadata"), QStringLiteral("--format"),
                          QStringLiteral("{{status}}|{{artist}}|{{title}}|{{album}}|{{mpris:length}}")})
            .toStdString();
    };
    EXPECT_TRUE(waitUntil([&] { return shown() == "Playing|Fault Artist|Fault Song|Fault Radio|"; }, 15000)) << shown();

    ASSERT_TRUE(station.control("title Next Artist - Next Song"));
    const auto announcedNextSong = [this] {
        return std::any_of(recorder->changes.begin(), recorder->changes.end(), [](const QVariantMap& change) {
            return unwrap(change.value(QStringLiteral("Metadata"))).toMap().value(QStringLiteral("xesam:title")) ==
                   QStringLiteral("Next Song");
        });
    };
    EXPECT_TRUE(waitUntil(announcedNextSong, 15000)) << "a new song is announced, not waited for";
    EXPECT_EQ(get(QStringLiteral("CanSeek")), false);
    call(playerInterface, QStringLiteral("Seek"), {qlonglong{10'000'000}});
    waitUntil([] { return false; }, 100);
    EXPECT_TRUE(recorder->seeks.empty());
    EXPECT_TRUE(currentTrack()->isPlaying());
}

TEST_F(MprisTest, OpenUriOfAFileThatDoesNotOpenLeavesPlaybackAsItWas) {
    window.AddFromOutside({track("playing")}, false);
    call(playerInterface, QStringLiteral("Play"));
    const std::filesystem::path notAudio = dir.file("notes.wav");
    std::ofstream(notAudio) << "not audio";
    ModalCatcher catcher;
    call(playerInterface, QStringLiteral("OpenUri"), {QUrl::fromLocalFile(notAudio.c_str()).toString()});
    ASSERT_TRUE(waitUntil([&catcher] { return !catcher.boxes.empty(); }));
    EXPECT_TRUE(currentTrack()->isPlaying());
    EXPECT_EQ(window.GetPlayList().getList()->size(), 1U);
}

TEST_F(MprisTest, BadInputIsRefusedOrIgnored) {
    window.AddFromOutside({track("one")}, false);
    AudioConfig* config = AudioConfig::getInstance();
    const std::vector<std::pair<double, float>> volumes{
        {0.3, 30.0F},  {std::numeric_limits<double>::quiet_NaN(), 30.0F}, {-2.0, 0.0F},
        {7.0, 100.0F}, {-std::numeric_limits<double>::infinity(), 0.0F},
    };
    for (const auto& [volume, expected] : volumes) {
        set(QStringLiteral("Volume"), volume);
        EXPECT_EQ(config->getVolume(), expected) << volume;
    }
    set(QStringLiteral("LoopStatus"), QStringLiteral("Sometimes"));
    EXPECT_FALSE(config->isRepeat());
    set(QStringLiteral("Rate"), 2.0);
    EXPECT_EQ(get(QStringLiteral("Rate")), 1.0);
    EXPECT_EQ(call(playerInterface, QStringLiteral("Seek"), {QStringLiteral("far")}).type(),
              QDBusMessage::ErrorMessage);
    EXPECT_EQ(call(playerInterface, QStringLiteral("Fly")).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(get(QStringLiteral("PlaybackStatus")), QStringLiteral("Stopped"));
}

TEST_F(MprisTest, ThePlayerPlaysOnWhenTheBusGoesAway) {
    window.AddFromOutside({track("one")}, false);
    call(playerInterface, QStringLiteral("Play"));
    bus.stop();
    waitUntil([] { return false; }, 300);
    AudioConfig::getInstance()->volumeDown();
    window.GetPlayList().next(true);
    service.refresh();
    EXPECT_TRUE(currentTrack()->isPlaying());
}

TEST_F(MprisTest, RaiseShowsTheWindowAndQuitClosesItOverAnOpenManager) {
    window.hide();
    call(rootInterface, QStringLiteral("Raise"));
    EXPECT_TRUE(window.isVisible());

    // Quit arrives while the playlist manager runs its own modal loop over the window.
    QTimer::singleShot(200, [this] {
        client.asyncCall(QDBusMessage::createMethodCall(playerName, objectPath, rootInterface, QStringLiteral("Quit")));
    });
    clickAction(window, MANAGE_PLAYLIST);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
}

TEST_F(MprisTest, ASecondPlayerOnTheBusTakesANameOfItsOwn) {
    CZalvoDlg other;
    MprisService otherService(other.GetPlayList(), other, other.GetShownTrackTags());
    EXPECT_TRUE(otherService.publish(bus.connect(QStringLiteral("other"))));
    EXPECT_EQ(otherService.busName(),
              QStringLiteral("%1.instance%2").arg(playerName).arg(QCoreApplication::applicationPid()));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

// Made by ffmpeg, as a tagging tool or a store hands them out.
void ffmpeg(const QStringList& arguments) {
    QProcess process;
    runToEnd(process, QStringLiteral("ffmpeg"), QStringList{"-nostdin", "-v", "error", "-y"} + arguments);
    ASSERT_EQ(process.exitCode(), 0) << arguments.join(' ').toStdString();
}

TEST_F(MprisTest, MetadataGivesEveryTagAndTheCover) {
    for (const char* folder : {"tagged", "folder", "bare"}) {
        std::filesystem::create_directory(dir.file(folder));
    }
    const QString picture = QString::fromStdString(dir.file("picture.jpg").string());
    ffmpeg({"-f", "lavfi", "-i", "color=red:s=32x32", "-frames:v", "1", picture});
    const QString tagged = QString::fromStdString(dir.file("tagged/song.mp3").string());
    ffmpeg({"-f",
            "lavfi",
            "-i",
            "sine=duration=1",
            "-i",
            picture,
            "-map",
            "0",
            "-map",
            "1",
            "-c:a",
            "libmp3lame",
            "-c:v",
            "copy",
            "-disposition:v",
            "attached_pic",
            "-metadata",
            "title=Titre",
            "-metadata",
            "artist=Artiste",
            "-metadata",
            "album=Album",
            "-metadata",
            "album_artist=Groupe",
            "-metadata",
            "track=3/12",
            "-metadata",
            "disc=2/2",
            "-metadata",
            "genre=Jazz",
            "-metadata",
            "date=2019",
            tagged});
    const QString folderCovered = track("folder/plain");
    std::filesystem::copy_file(picture.toStdString(), dir.file("folder/Cover.JPG"));
    const QString bare = track("bare/plain");
    window.AddFromOutside({tagged, folderCovered, bare}, false);
    ASSERT_TRUE(waitForTags());

    const QVariantMap metadata = get(QStringLiteral("Metadata")).toMap();
    const std::vector<std::pair<QString, QVariant>> expected{
        {"xesam:title", "Titre"},
        {"xesam:artist", QStringList{"Artiste"}},
        {"xesam:albumArtist", QStringList{"Groupe"}},
        {"xesam:album", "Album"},
        {"xesam:trackNumber", 3},
        {"xesam:discNumber", 2},
        {"xesam:genre", QStringList{"Jazz"}},
        {"xesam:contentCreated", "2019-01-01"},
        {"xesam:url", QUrl::fromLocalFile(tagged).toString()},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(metadata.value(key), value) << key.toStdString();
    }
    EXPECT_NEAR(metadata.value(QStringLiteral("mpris:length")).toDouble(), 1e6, 6e4);
    const QString cover = QUrl(metadata.value(QStringLiteral("mpris:artUrl")).toString()).toLocalFile();
    EXPECT_EQ(QImageReader(cover).format(), "jpeg") << cover.toStdString();

    call(playerInterface, QStringLiteral("Next"));
    ASSERT_TRUE(waitForTags());
    EXPECT_EQ(get(QStringLiteral("Metadata")).toMap().value(QStringLiteral("mpris:artUrl")),
              QUrl::fromLocalFile(QString::fromStdString(dir.file("folder/Cover.JPG").string())).toString());
    call(playerInterface, QStringLiteral("Next"));
    ASSERT_TRUE(waitForTags());
    EXPECT_FALSE(get(QStringLiteral("Metadata")).toMap().contains(QStringLiteral("mpris:artUrl")));
}

// An MP3 whose ID3v2 tag holds one title of `size` bytes, written a megabyte at a time.
void writeHugeTitle(const std::filesystem::path& path, std::uint32_t size) {
    const std::filesystem::path audio = path.parent_path() / "audio.mp3";
    writeToneFile(audio, AudioFormat::Mp3);
    const auto bigEndian = [](std::uint32_t value, unsigned bitsPerByte) {
        std::string bytes(4, '\0');
        for (int index = 3; index >= 0; --index) {
            bytes[static_cast<std::size_t>(index)] = static_cast<char>(value & ((1U << bitsPerByte) - 1U));
            value >>= bitsPerByte;
        }
        return bytes;
    };
    // ID3v2.3: the tag's size in seven bits a byte, the frame's in eight; the frame's text is Latin-1.
    const std::uint32_t frameSize = size + 1;
    std::ofstream out(path, std::ios::binary);
    out << "ID3" << '\3' << '\0' << '\0' << bigEndian(frameSize + 10, 7) << "TIT2" << bigEndian(frameSize, 8) << '\0'
        << '\0' << '\0';
    const std::string megabyte(1U << 20U, 'x');
    for (std::uint32_t written = 0; written < size; written += static_cast<std::uint32_t>(megabyte.size())) {
        out.write(megabyte.data(),
                  static_cast<std::streamsize>(std::min<std::size_t>(megabyte.size(), size - written)));
    }
    std::ifstream in(audio, std::ios::binary);
    out << in.rdbuf();
}

// A title of megabytes is cut to what anything shows; a tag larger than any real one is not read at all,
// and the track shows its file's name. Either way the player answers while it reads, and stays on the bus.
TEST_F(MprisTest, AHugeTitleLeavesThePlayerOnTheBusAndArrivesCutOrNotAtAll) {
    const struct {
        const char* file;
        std::uint32_t titleBytes;
        QString shown;
    } cases[] = {{"large.mp3", 24U << 20U, QString(static_cast<qsizetype>(TrackTags::valueLimit), QLatin1Char('x'))},
                 {"huge.mp3", 100U << 20U, QStringLiteral("huge.mp3")}};
    for (const auto& [file, titleBytes, shown] : cases) {
        SCOPED_TRACE(file);
        window.GetPlayList().clear();
        const std::filesystem::path track = dir.file(file);
        writeHugeTitle(track, titleBytes);
        window.AddFromOutside({QString::fromStdString(track.string())}, false);
        ASSERT_TRUE(waitUntil([this] { return window.GetPlayList().shownTrack() != nullptr; }));

        // Asked while the tags are read, the player answers.
        EXPECT_EQ(get(QStringLiteral("PlaybackStatus")), QStringLiteral("Stopped"));
        const auto announced = [&] {
            return std::any_of(recorder->changes.begin(), recorder->changes.end(), [&shown](const QVariantMap& change) {
                return unwrap(change.value(QStringLiteral("Metadata"))).toMap().value(QStringLiteral("xesam:title")) ==
                       shown;
            });
        };
        EXPECT_TRUE(waitUntil(announced, 60000));
        EXPECT_EQ(get(QStringLiteral("Metadata")).toMap().value(QStringLiteral("xesam:title")), shown);
        EXPECT_TRUE(client.interface()->isServiceRegistered(playerName).value());
        std::filesystem::remove(track);
    }
}

} // namespace

} // namespace zalvo
