#include "BackgroundTask.h"
#include "CPlayListManagDlg.h"
#include "ModalCatcher.h"
#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "TempDir.h"
#include "ToneFile.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

QString message(const char* text, const fs::path& file) {
    return QString::fromLatin1(text) + QString::fromStdU16String(file.u16string());
}

class PlayListLoadingTest : public testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    fs::path tone(const fs::path& file, double seconds = 5.0) {
        fs::create_directories(file.parent_path());
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, seconds}}});
        return file;
    }

    fs::path writeFile(const std::string& name, const std::string& content) {
        const fs::path file = dir.file(name);
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

    void load(const fs::path& file) {
        window.answers.push_back(file.u16string());
        clickAction(window, LOAD_PLAYLIST);
    }

    void save(const fs::path& file) {
        window.answers.push_back(file.u16string());
        clickAction(window, SAVE_PLAYLIST);
    }

    std::vector<std::u16string> paths() {
        std::vector<std::u16string> result;
        for (const auto& track : *window.GetPlayList().getList()) {
            result.push_back(track->getPath());
        }
        return result;
    }

    // Two tracks, the first playing: what a mistaken load must leave alone.
    std::vector<std::u16string> playTwoTracks() {
        window.AddFromOutside({QString::fromStdString(tone(dir.file("one.wav")).string()),
                               QString::fromStdString(tone(dir.file("two.wav")).string())},
                              true);
        EXPECT_TRUE(window.GetPlayList().getCurrent()->isPlaying());
        return paths();
    }

    SettingsGuard settingsGuard;
    TempDir dir;
    ScriptedZalvoDlg window;
    ModalCatcher catcher;
};

TEST_F(PlayListLoadingTest, WhatIsNoPlayListLeavesThePlayListPlayingAsItWas) {
    const std::vector<std::u16string> before = playTwoTracks();
    const fs::path fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<fs::path> mistakes{tone(dir.file("song.wav")), fifo, dir.path(),
                                         writeFile("garbage", "\xFF\xFF\xFF\x7F this is no playlist")};
    for (const fs::path& mistake : mistakes) {
        load(mistake);
        ASSERT_FALSE(catcher.boxes.empty());
        EXPECT_EQ(catcher.boxes.back().text, message("Error - Play list is damaged ! Path : ", mistake));
        EXPECT_EQ(paths(), before);
        EXPECT_TRUE(window.GetPlayList().getCurrent()->isPlaying());
    }
    EXPECT_EQ(catcher.boxes.size(), mistakes.size());
}

TEST_F(PlayListLoadingTest, APlayListNoEntryOfWhichOpensSaysSoAndChangesNothing) {
    const std::vector<std::u16string> before = playTwoTracks();
    const fs::path radio = writeFile("radio.pls", "[playlist]\nFile1=ftp://radio.example/stream\nFile2=gone.wav\n");
    load(radio);
    ASSERT_EQ(catcher.boxes.size(), 1U);
    EXPECT_EQ(catcher.boxes[0].text, message("Error - Music has not been loaded ! Path : ", radio));
    EXPECT_EQ(paths(), before);
}

TEST_F(PlayListLoadingTest, EachFormatSavedByItsNameLoadsBackTheSameTracks) {
    const std::vector<std::u16string> saved = playTwoTracks();
    for (const char* name : {"list.m3u8", "list.pls", "list.xspf", "list"}) {
        save(dir.file(name));
        window.GetPlayList().clear();
        load(dir.file(name));
        EXPECT_EQ(paths(), saved) << name;
    }
    std::ifstream m3u(dir.file("list.m3u8"));
    std::string firstLine;
    std::getline(m3u, firstLine);
    EXPECT_EQ(firstLine, "#EXTM3U");
    EXPECT_TRUE(catcher.boxes.empty());
}

// A cue sheet loads as its tracks, whichever way the audio it names is kept, and every format saves them
// so that they load back; a file whose name merely looks like a saved cue track is that file.
TEST_F(PlayListLoadingTest, ACueSheetLoadsAsItsTracksAndEveryFormatSavesThemBack) {
    fs::create_directory(dir.file("rip"));
    writeToneFile(dir.file("rip/album.flac"), AudioFormat::Flac,
                  ToneShape{{ToneSegment{440.0, 1.0}, ToneSegment{550.0, 1.0}, ToneSegment{660.0, 1.0}}});
    // Named as the WAV it was ripped to, kept as FLAC; track 2's pregap belongs to track 1.
    const fs::path sheet = writeFile("rip/album.cue", "PERFORMER \"Les Tons\"\nTITLE \"Trois tons\"\n"
                                                      "FILE \"album.wav\" WAVE\n"
                                                      "  TRACK 01 AUDIO\n    TITLE \"Un\"\n    INDEX 01 00:00:00\n"
                                                      "  TRACK 02 AUDIO\n    TITLE \"Deux\"\n    INDEX 00 00:00:60\n"
                                                      "    INDEX 01 00:01:00\n"
                                                      "  TRACK 03 AUDIO\n    TITLE \"Trois\"\n    INDEX 01 00:02:00\n");
    const auto entries = [this] {
        std::vector<std::string> shown;
        for (const auto& track : *window.GetPlayList().getList()) {
            shown.push_back(fs::path(track->getEntry()).filename().string() + " " + track->getTags()->get().title +
                            " " + std::to_string(std::lround(track->getDuration())));
        }
        return shown;
    };
    const std::vector<std::string> tracks{"album.cue?1 Un 1", "album.cue?2 Deux 1", "album.cue?3 Trois 1"};
    load(sheet);
    EXPECT_EQ(entries(), tracks);
    for (const char* name : {"list.m3u8", "list.pls", "list.xspf", "list"}) {
        save(dir.file(name));
        window.GetPlayList().clear();
        load(dir.file(name));
        EXPECT_EQ(entries(), tracks) << name;
    }
    // Dropped, the folder of the rip lists the sheet's tracks, not its audio file once more.
    window.GetPlayList().clear();
    window.AddFromOutside({QString::fromStdString(sheet.parent_path().string())}, false);
    EXPECT_EQ(entries(), tracks);
    writeToneFile(dir.file("rip/album.cue?2"), AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 2.0}}});
    load(writeFile("rip/real.m3u", "album.cue?2\n"));
    EXPECT_EQ(entries(), std::vector<std::string>{"album.cue?2  2"});
    EXPECT_TRUE(catcher.boxes.empty());
}

// Titles are read to save a playlist of a few thousand entries; past that, only those known already are
// written, so that saving a library takes no longer than loading it.
TEST_F(PlayListLoadingTest, ALongPlayListSavesOnlyTheTitlesAlreadyKnown) {
    const fs::path titled = dir.file("titled.flac");
    TrackTags tags;
    tags.title = "Sous le ciel";
    writeToneFile(titled, AudioFormat::Flac, ToneShape{{ToneSegment{440.0, 0.5}}}, tags);
    for (const auto& [entries, titlesSaved] : {std::pair{3, 3}, std::pair{10'001, 1}}) {
        std::string m3u;
        for (int i = 0; i < entries; ++i) {
            m3u += titled.string() + '\n';
        }
        load(writeFile("library.m3u", m3u));
        ASSERT_EQ(paths().size(), static_cast<std::size_t>(entries));
        // The first track's tags read, as showing it would.
        EXPECT_EQ(window.GetPlayList().getList()->front()->getTags()->get().title, tags.title);
        save(dir.file("saved.m3u8"));
        std::ifstream saved(dir.file("saved.m3u8"));
        int titles = 0;
        for (std::string line; std::getline(saved, line);) {
            titles += line.ends_with(",Sous le ciel") ? 1 : 0;
        }
        EXPECT_EQ(titles, titlesSaved) << entries << " entries";
    }
    EXPECT_TRUE(catcher.boxes.empty());
}

// A load long enough for the progress dialog: cancelling it, or quitting, leaves the playlist as it was.
TEST_F(PlayListLoadingTest, ALongLoadCancelledOrCutShortByQuittingChangesNothing) {
    const std::vector<std::u16string> before = playTwoTracks();
    std::string entries;
    const std::string line = dir.file("one.wav").string() + "\n";
    for (int i = 0; i < 200'000; ++i) {
        entries += line;
    }
    const fs::path big = writeFile("big.m3u", entries);
    const std::vector<std::function<void(QProgressDialog*)>> interruptions{
        [](QProgressDialog* progress) { QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton); },
        [this](QProgressDialog* /*progress*/) { window.reject(); },
    };
    // Shown on the first turn of the loop, long before 200,000 entries are opened.
    BackgroundTask::setDialogDelay(std::chrono::milliseconds(0));
    for (const auto& interrupt : interruptions) {
        bool dialogShown = false;
        catcher.onOtherModal = [&](QWidget* modal) {
            if (auto* progress = qobject_cast<QProgressDialog*>(modal); progress != nullptr && !dialogShown) {
                dialogShown = true;
                interrupt(progress);
            }
        };
        load(big);
        EXPECT_TRUE(dialogShown);
        EXPECT_EQ(paths(), before);
        EXPECT_TRUE(catcher.boxes.empty());
    }
    BackgroundTask::setDialogDelay(BackgroundTask::usualDialogDelay);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(PlayListLoadingTest, AddingFromOutsideTakesFoldersInNaturalOrderAndReportsNamedFilesThatFail) {
    const fs::path folder = dir.file("album");
    for (const char* name : {"track10.wav", "track2.wav", ".hidden.wav", "sub/a.wav"}) {
        tone(folder / name);
    }
    std::ofstream(folder / "cover.txt") << "not audio\n";
    const fs::path extra = tone(dir.file("extra.wav"));
    const fs::path list = writeFile("list.m3u", "#EXTM3U\nextra.wav\n");
    const fs::path missing = dir.file("missing.wav");
    const fs::path notes = writeFile("notes.txt", "not audio either\n");

    window.AddFromOutside({QString::fromStdString(folder.string()), QString::fromStdString(list.string()),
                           QString::fromStdString(missing.string()), QString::fromStdString(notes.string())},
                          true);
    EXPECT_EQ(paths(),
              (std::vector<std::u16string>{(folder / "sub/a.wav").u16string(), (folder / "track2.wav").u16string(),
                                           (folder / "track10.wav").u16string(), extra.u16string()}));
    EXPECT_TRUE(window.GetPlayList().getCurrent()->isPlaying());
    ASSERT_EQ(catcher.boxes.size(), 1U);
    EXPECT_EQ(catcher.boxes[0].text, message("Error - Music has not been loaded ! Path : ", missing) + "\n" +
                                         QString::fromStdString(notes.string()));
}

TEST_F(PlayListLoadingTest, TheManagerFollowsChangesFromOutsideKeepingItsSelection) {
    playTwoTracks();
    CPlayListManagDlg manager;
    manager.SetPlayList(&window.GetPlayList());
    manager.SetMainDlg(&window);
    manager.OnInitDialog();
    auto* list = manager.findChild<QListView*>();
    list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::ClearAndSelect);

    window.AddFromOutside({QString::fromStdString(tone(dir.file("three.wav")).string())}, false);
    EXPECT_EQ(list->model()->rowCount(), 3);
    ASSERT_EQ(list->selectionModel()->selectedIndexes().size(), 1);
    EXPECT_EQ(list->selectionModel()->selectedIndexes()[0].row(), 1);

    save(dir.file("list.m3u"));
    load(dir.file("list.m3u"));
    EXPECT_EQ(list->model()->rowCount(), 3);
    EXPECT_TRUE(list->selectionModel()->selectedIndexes().isEmpty());
}

} // namespace

} // namespace zalvo
