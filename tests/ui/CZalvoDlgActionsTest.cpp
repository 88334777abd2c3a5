#include "ModalCatcher.h"
#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "formats/Archive.h"

#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& file) {
    std::ifstream input(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream output(file, std::ios::binary);
    output << bytes;
}

std::vector<std::string> fileNamesIn(const fs::path& directory) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

QString message(const char* text, const fs::path& file) {
    return QString::fromLatin1(text) + QString::fromStdU16String(file.u16string());
}

// Files may grow no further than `bytes` while it lives, as on a disk that is full.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{bytes, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

class MainWindowActionsTest : public testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    fs::path tone(const std::string& name, double seconds = 5.0) {
        const fs::path file = dir.file(name);
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, seconds}}});
        return file;
    }

    void answer(const fs::path& file) { window.answers.push_back(file.u16string()); }
    void cancelNextDialog() { window.answers.emplace_back(); }

    void addTrack(const fs::path& file) {
        answer(file);
        clickAction(window, ADD_MUSIC);
    }

    std::vector<std::u16string> paths() {
        std::vector<std::u16string> result;
        for (const auto& track : *window.GetPlayList().getList()) {
            result.push_back(track->getPath());
        }
        return result;
    }

    Music* track(std::size_t index) {
        return std::next(window.GetPlayList().getList()->begin(), static_cast<std::ptrdiff_t>(index))->get();
    }

    SettingsGuard settingsGuard;
    TempDir dir;
    ScriptedZalvoDlg window;
    ModalCatcher catcher;
};

TEST_F(MainWindowActionsTest, PlayAndStopOnAnEmptyPlaylistDoNothing) {
    clickAction(window, PLAY_PAUSE);
    clickAction(window, STOP);
    EXPECT_EQ(window.GetPlayList().getCurrent(), nullptr);
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowActionsTest, PlayPauseStartsTheFirstTrackThenPausesAndResumesIt) {
    addTrack(tone("a.wav"));
    addTrack(tone("b.wav"));
    EXPECT_TRUE(track(0)->isStopped()) << "an added track waits for play";

    clickAction(window, PLAY_PAUSE);
    EXPECT_TRUE(track(0)->isPlaying());
    EXPECT_TRUE(track(1)->isStopped());
    QTest::qWait(100);

    clickAction(window, PLAY_PAUSE);
    ASSERT_TRUE(track(0)->isPaused());
    const float pausedAt = track(0)->getElapsedTime();
    QTest::qWait(100);
    EXPECT_EQ(track(0)->getElapsedTime(), pausedAt);

    clickAction(window, PLAY_PAUSE);
    EXPECT_TRUE(track(0)->isPlaying());
    EXPECT_GE(track(0)->getElapsedTime(), pausedAt);
}

TEST_F(MainWindowActionsTest, StopThenPlayStartsTheTrackFromItsBeginning) {
    addTrack(tone("a.wav"));
    clickAction(window, PLAY_PAUSE);
    QTest::qWait(300);
    clickAction(window, STOP);
    EXPECT_TRUE(track(0)->isStopped());
    EXPECT_EQ(track(0)->getElapsedTime(), 0.0F);

    clickAction(window, PLAY_PAUSE);
    EXPECT_TRUE(track(0)->isPlaying());
    EXPECT_LT(track(0)->getElapsedTime(), 0.25F);
}

TEST_F(MainWindowActionsTest, AddingAppendsEachChosenFileEvenTwiceWithoutStartingIt) {
    const fs::path first = tone("first.wav");
    const fs::path second = tone("second.wav");
    addTrack(first);
    addTrack(second);
    addTrack(first);
    EXPECT_EQ(paths(), (std::vector<std::u16string>{first.u16string(), second.u16string(), first.u16string()}));
    EXPECT_EQ(window.questions, (std::vector<bool>{true, true, true}));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(track(i)->isStopped());
    }
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowActionsTest, AddingAFileThatIsNotAudioSaysSoWithItsFullPath) {
    addTrack(tone("song.wav"));
    const fs::path notes = dir.file("notes.txt");
    writeBytes(notes, "not a sound\n");
    addTrack(notes);

    ASSERT_EQ(catcher.boxes.size(), 1U);
    const ModalCatcher::Box& box = catcher.boxes.front();
    EXPECT_EQ(box.caption, "Zalvo");
    EXPECT_EQ(box.text, message("Error - Music has not been loaded ! Path : ", notes));
    EXPECT_EQ(box.buttonCount, 1);
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(paths().size(), 1U);
}

TEST_F(MainWindowActionsTest, CancellingAnyFileDialogChangesNothing) {
    const fs::path song = tone("song.wav");
    addTrack(song);
    clickAction(window, PLAY_PAUSE);
    const auto before = fileNamesIn(dir.path());

    for (const Action action : {ADD_MUSIC, LOAD_PLAYLIST, SAVE_PLAYLIST}) {
        cancelNextDialog();
        clickAction(window, action);
    }
    EXPECT_EQ(window.questions, (std::vector<bool>{true, true, true, false}));
    EXPECT_EQ(paths(), std::vector<std::u16string>{song.u16string()});
    EXPECT_TRUE(track(0)->isPlaying());
    EXPECT_EQ(fileNamesIn(dir.path()), before);
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowActionsTest, SavingAnEmptyPlaylistWritesAZeroCountUnderTheNameGiven) {
    const fs::path target = dir.file("playlist");
    answer(target);
    clickAction(window, SAVE_PLAYLIST);
    EXPECT_EQ(readBytes(target), std::string(4, '\0'));
    EXPECT_EQ(fileNamesIn(dir.path()), std::vector<std::string>{"playlist"});
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowActionsTest, ASavedPlaylistLoadsBackInOrderReplacingTheCurrentOne) {
    const fs::path first = tone("première.wav");
    const fs::path second = tone("second.wav");
    addTrack(first);
    addTrack(second);
    addTrack(first);
    const fs::path saved = dir.file("mix.zpl");
    answer(saved);
    clickAction(window, SAVE_PLAYLIST);

    const fs::path other = dir.file("other.zpl");
    answer(other);
    clickAction(window, SAVE_PLAYLIST);
    EXPECT_EQ(readBytes(other), readBytes(saved));

    const fs::path third = tone("third.wav");
    addTrack(third);
    clickAction(window, PLAY_PAUSE);
    const Music* playing = window.GetPlayList().getCurrent();
    ASSERT_TRUE(playing->isPlaying());

    answer(saved);
    clickAction(window, LOAD_PLAYLIST);
    EXPECT_EQ(paths(), (std::vector<std::u16string>{first.u16string(), second.u16string(), first.u16string()}));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(track(i)->isStopped());
    }
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowActionsTest, LoadingAFileThatCannotBeOpenedIsSilent) {
    const fs::path song = tone("song.wav");
    addTrack(song);
    answer(dir.file("missing.zpl"));
    clickAction(window, LOAD_PLAYLIST);
    EXPECT_EQ(paths(), std::vector<std::u16string>{song.u16string()});
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(MainWindowActionsTest, ADamagedPlaylistIsReportedAndThePlayerGoesOnWithTheTracksReadBeforeTheDamage) {
    const fs::path kept = tone("kept.wav");
    std::ostringstream content;
    Archive archive(content);
    archive.writeUInt32(3);
    archive.writeString(kept.u16string());
    archive.flush();
    const fs::path damaged = dir.file("damaged.zpl");
    writeBytes(damaged, content.str() + "\xFF\xFE");
    const fs::path garbage = dir.file("garbage.zpl");
    writeBytes(garbage, "\xFF\xFF\xFF\x7F this is no playlist");

    addTrack(tone("playing.wav"));
    clickAction(window, PLAY_PAUSE);

    answer(damaged);
    clickAction(window, LOAD_PLAYLIST);
    ASSERT_EQ(catcher.boxes.size(), 1U);
    EXPECT_EQ(catcher.boxes[0].caption, "Zalvo");
    EXPECT_EQ(catcher.boxes[0].text, message("Error - Play list is damaged ! Path : ", damaged));
    EXPECT_EQ(paths(), std::vector<std::u16string>{kept.u16string()});

    clickAction(window, PLAY_PAUSE);
    EXPECT_TRUE(track(0)->isPlaying());

    answer(garbage);
    clickAction(window, LOAD_PLAYLIST);
    ASSERT_EQ(catcher.boxes.size(), 2U);
    EXPECT_EQ(catcher.boxes[1].text, message("Error - Play list is damaged ! Path : ", garbage));
    EXPECT_TRUE(window.isVisible());
}

class FailedSaveTest : public MainWindowActionsTest {
protected:
    void SetUp() override {
        MainWindowActionsTest::SetUp();
        addTrack(tone("song.wav"));
    }

    // Saves to `target`, with file sizes limited to `sizeLimit` meanwhile, and checks that the failure
    // was reported and that `previous` still holds `previousBytes`, with nothing else left beside it.
    void expectSaveFails(const fs::path& target, const fs::path& previous, rlim_t sizeLimit = RLIM_INFINITY) {
        const auto before = fileNamesIn(previous.parent_path());
        answer(target);
        {
            const FileSizeLimit limit(sizeLimit);
            clickAction(window, SAVE_PLAYLIST);
        }
        ASSERT_EQ(catcher.boxes.size(), 1U);
        EXPECT_EQ(catcher.boxes[0].caption, "Zalvo");
        EXPECT_EQ(catcher.boxes[0].text, message("Error - Play list has not been saved ! Path : ", target));
        EXPECT_EQ(readBytes(previous), previousBytes);
        EXPECT_EQ(fileNamesIn(previous.parent_path()), before);
    }

    const std::string previousBytes = std::string("\x01\x00\x00\x00\x03old", 8);
};

TEST_F(FailedSaveTest, OntoAFullDiskLeavesThePreviousFileWhole) {
    const fs::path target = dir.file("list.zpl");
    writeBytes(target, previousBytes);
    expectSaveFails(target, target, 2);
}

TEST_F(FailedSaveTest, IntoAVanishedFolderIsReported) {
    const fs::path gone = dir.file("gone");
    fs::create_directory(gone);
    fs::remove(gone);
    const fs::path witness = dir.file("witness.zpl");
    writeBytes(witness, previousBytes);
    expectSaveFails(gone / "list.zpl", witness);
}

TEST_F(FailedSaveTest, OntoAFolderIsReported) {
    const fs::path folder = dir.file("folder");
    fs::create_directory(folder);
    const fs::path witness = dir.file("witness.zpl");
    writeBytes(witness, previousBytes);
    expectSaveFails(folder, witness);
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(FailedSaveTest, IntoAReadOnlyFolderLeavesThePreviousFileWhole) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    const fs::path folder = dir.file("locked");
    fs::create_directory(folder);
    const fs::path target = folder / "list.zpl";
    writeBytes(target, previousBytes);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    expectSaveFails(target, target);
}

TEST_F(MainWindowActionsTest, PlaybackMovesOnWhileAMessageBoxIsOpen) {
    addTrack(tone("short.wav", 0.2));
    addTrack(tone("long.wav"));
    clickAction(window, PLAY_PAUSE);

    bool nextStartedMeanwhile = false;
    catcher.closeWhen = [this, &nextStartedMeanwhile] {
        nextStartedMeanwhile = track(1)->isPlaying();
        return nextStartedMeanwhile || track(0)->getElapsedTime() > 3.0F;
    };
    const fs::path notes = dir.file("notes.txt");
    writeBytes(notes, "not a sound\n");
    addTrack(notes);
    EXPECT_EQ(catcher.boxes.size(), 1U);
    EXPECT_TRUE(nextStartedMeanwhile);
}

} // namespace

} // namespace zalvo
