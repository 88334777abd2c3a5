#include "ModalCatcher.h"
#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "base/TextEncoding.h"
#include "formats/Archive.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

QUrl urlOf(const fs::path& file) {
    return QUrl::fromLocalFile(QString::fromStdString(file.string()));
}

// Files arriving from outside the window: dropped on it, or several chosen at once in the add-track dialog.
class MainWindowDropTest : public testing::Test {
protected:
    void SetUp() override { window.show(); }

    fs::path tone(const std::string& name) {
        const fs::path file = dir.file(name);
        writeToneFile(file, AudioFormat::Wav, ToneShape{.segments = {ToneSegment{440.0, 0.2}}});
        return file;
    }

    fs::path playlistOf(const std::string& name, const std::vector<fs::path>& tracks) {
        PlayList playList;
        for (const fs::path& track : tracks) {
            playList.addMusic(track.u16string());
        }
        const fs::path file = dir.file(name);
        std::ofstream out(file, std::ios::binary);
        Archive archive(out);
        playList.Serialize(archive);
        archive.flush();
        return file;
    }

    // Returns whether the window took the drag in.
    bool drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(250, 250), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(QPointF(250, 250), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &dropped);
        return true;
    }

    std::vector<std::u16string> paths() {
        std::vector<std::u16string> result;
        for (const auto& track : *window.GetPlayList().getList()) {
            result.push_back(track->getPath());
        }
        return result;
    }

    SettingsGuard settingsGuard;
    TempDir dir;
    ScriptedZalvoDlg window;
    ModalCatcher catcher;
};

TEST_F(MainWindowDropTest, DroppedFilesAndPlaylistsAreAppendedInTheDropsOrderWithoutPlaying) {
    const fs::path kept = tone("kept.wav");
    window.GetPlayList().addMusic(kept.u16string());
    const fs::path a = tone("a.wav");
    const fs::path b = tone("b.wav");
    const fs::path c = tone("c.wav");
    const fs::path list = playlistOf("list.zpl", {c, a});

    EXPECT_TRUE(drop({urlOf(b), urlOf(list), QUrl(QStringLiteral("https://example.com/x.ogg")), urlOf(a)}));
    EXPECT_EQ(paths(), (std::vector{kept.u16string(), b.u16string(), c.u16string(), a.u16string(),
                                    std::u16string(u"https://example.com/x.ogg"), a.u16string()}))
        << "a playlist adds to the list, never replaces it";
    EXPECT_TRUE(window.GetPlayList().getCurrent()->isStopped());
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowDropTest, FoldersAreWalkedInNaturalOrderAndOnlyNamedFilesThatFailAreReported) {
    fs::create_directories(dir.file("album/sub"));
    for (const char* name : {"album/10 x.wav", "album/2 x.wav", "album/.hidden.wav", "album/sub/1 y.wav", "b.wav"}) {
        tone(name);
    }
    for (const char* name : {"album/notes.txt", "broken.wav"}) {
        std::ofstream(dir.file(name)) << "not audio";
    }

    EXPECT_TRUE(drop({urlOf(dir.file("album")), urlOf(dir.file("broken.wav")), urlOf(dir.file("b.wav"))}));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !paths().empty() && catcher.boxes.size() == 1; }));
    EXPECT_EQ(paths(), (std::vector{dir.file("album/2 x.wav").u16string(), dir.file("album/10 x.wav").u16string(),
                                    dir.file("album/sub/1 y.wav").u16string(), dir.file("b.wav").u16string()}));
    EXPECT_EQ(catcher.boxes.front().text, QStringLiteral("Error - Music has not been loaded ! Path : ") +
                                              QString::fromStdString(dir.file("broken.wav").string()));
}

TEST_F(MainWindowDropTest, NamesThatAreNotUtf8AreTakenInFromDropsAndFolders) {
    fs::create_directories(dir.file("\xE9t\xE9"));
    const fs::path inFolder = tone("\xE9t\xE9/caf\xE9.wav");
    const fs::path alone = tone("d\xE9j\xE0.wav");
    // A file manager percent-encodes the name's bytes.
    const auto encoded = [this](const std::string& name) {
        return QUrl::fromEncoded(QByteArray::fromStdString("file://" + dir.path().string() + "/" + name));
    };
    EXPECT_TRUE(drop({encoded("d%E9j%E0.wav"), encoded("%E9t%E9")}));
    ASSERT_TRUE(QTest::qWaitFor([this] { return paths().size() == 2; }));
    EXPECT_EQ(paths(), (std::vector{TextEncoding::fromFileSystem(alone.string()),
                                    TextEncoding::fromFileSystem(inFolder.string())}));
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowDropTest, OnlyLocalFilesAndStationsAreTakenIn) {
    EXPECT_FALSE(drop({QUrl(QStringLiteral("ftp://example.com/x.ogg"))}));
    EXPECT_FALSE(drop({}));
    EXPECT_TRUE(paths().empty());
}

TEST_F(MainWindowDropTest, CtrlVPastesTheClipboardAsADrop) {
    const fs::path a = tone("a.wav");
    const fs::path b = tone("b.wav");
    const auto paste = [this](auto fill) {
        auto* data = new QMimeData;
        fill(*data);
        QApplication::clipboard()->setMimeData(data);
        QTest::keyClick(&window, Qt::Key_V, Qt::ControlModifier);
    };
    paste([&](QMimeData& data) { data.setUrls({urlOf(a), urlOf(b)}); });
    paste([&](QMimeData& data) { data.setText(QStringLiteral(" https://radio.example/live \n")); });
    paste([&](QMimeData& data) { data.setText(QString::fromStdString(a.string())); });
    paste([&](QMimeData& data) { data.setText(QStringLiteral("two\nlines")); });
    EXPECT_EQ(paths(), (std::vector{a.u16string(), b.u16string(), std::u16string(u"https://radio.example/live"),
                                    a.u16string()}));
    EXPECT_TRUE(window.GetPlayList().getCurrent()->isStopped());
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowDropTest, CtrlUAddsAStationsAddressOrSaysWhyNot) {
    const fs::path playing = tone("playing.wav");
    window.GetPlayList().addMusic(playing.u16string());
    window.GetPlayList().getCurrent()->playPause();
    QApplication::clipboard()->setText(QStringLiteral("https://radio.example/copied"));
    window.answers = {u"  radio.example/no-scheme ", u"http://127.0.0.1:9/radio.mp3", u""};
    for (std::size_t question = 0; question < 3; ++question) {
        QTest::keyClick(&window, Qt::Key_U, Qt::ControlModifier);
    }
    EXPECT_EQ(window.suggestedAddresses.front(), QStringLiteral("https://radio.example/copied"));
    EXPECT_EQ(paths(), (std::vector{playing.u16string(), std::u16string(u"http://127.0.0.1:9/radio.mp3")}))
        << "appended, not played over what plays";
    EXPECT_TRUE(window.GetPlayList().getCurrent()->isPlaying());
    ASSERT_EQ(catcher.boxes.size(), 1U);
    EXPECT_EQ(catcher.boxes.front().text,
              QStringLiteral("Error - Not an internet radio address ! Address : radio.example/no-scheme"));
}

TEST_F(MainWindowDropTest, TheAddTrackDialogTakesSeveralFilesAtOnce) {
    const fs::path a = tone("a.wav");
    const fs::path b = tone("b.wav");
    window.answers.push_back(a.u16string() + u"\n" + b.u16string());
    clickAction(window, ADD_MUSIC);
    EXPECT_EQ(paths(), (std::vector{a.u16string(), b.u16string()}));
    EXPECT_TRUE(catcher.boxes.empty());
}

} // namespace

} // namespace zalvo
