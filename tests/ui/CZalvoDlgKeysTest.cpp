#include "CPlayListManagDlg.h"
#include "ModalCatcher.h"
#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "playlist/AudioConfig.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace zalvo {

namespace {

class MainWindowKeysTest : public testing::Test {
protected:
    void SetUp() override {
        AudioConfig* settings = AudioConfig::getInstance();
        while (settings->getVolume() > 50.0F) {
            settings->volumeDown();
        }
        for (const std::string name : {"Un", "Deux", "Trois"}) {
            const auto file = dir.file(name + ".flac");
            writeToneFile(file, AudioFormat::Flac, ToneShape{{ToneSegment{440.0, 30.0}}}, TrackTags{name, "Zaz", {}});
            ASSERT_TRUE(window.GetPlayList().addMusic(file.u16string()));
        }
        catcher.onOtherModal = [this](QWidget* modal) {
            managersOpened += qobject_cast<CPlayListManagDlg*>(modal) != nullptr ? 1 : 0;
            modal->close();
        };
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // The keys reach whatever holds the focus, as from a keyboard: "Quitter".
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        // Without a window manager nothing gives the window back the keyboard when a dialog closes.
        if (!window.isActiveWindow()) {
            window.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        }
        QWidget* focus = QApplication::focusWidget();
        ASSERT_EQ(focus, window.findChild<QPushButton*>());
        // Media keys have no text, which keyClick would look up.
        QTest::sendKeyEvent(QTest::Click, focus, static_cast<Qt::Key>(key), QString(), modifiers);
    }

    int current() {
        PlayList& playList = window.GetPlayList();
        return static_cast<int>(std::distance(playList.getList()->begin(), playList.getCurrentPosition()));
    }

    const Music* playing() { return window.GetPlayList().getCurrent(); }

    std::string description() { return window.accessibleDescription().toStdString(); }

    SettingsGuard settingsGuard;
    TempDir dir;
    ScriptedZalvoDlg window;
    ModalCatcher catcher;
    int managersOpened = 0;
};

TEST_F(MainWindowKeysTest, EachKeyRunsItsActionAndTheWindowSaysWhatPlays) {
    QTest::qWait(200); // a tick, which notices the volume set before the window showed
    EXPECT_EQ(description(), "Arrêté, volume 50 %");
    const AudioConfig* settings = AudioConfig::getInstance();
    struct Step {
        const char* what;
        int key;
        Qt::KeyboardModifiers modifiers;
        std::function<bool()> done;
    };
    const std::vector<Step> steps{
        {"X plays the first track", Qt::Key_X, {}, [&] { return current() == 0 && playing()->isPlaying(); }},
        {"X again goes on playing", Qt::Key_X, {}, [&] { return playing()->isPlaying(); }},
        {"Right moves 5 s on", Qt::Key_Right, {}, [&] { return playing()->getElapsedTime() >= 5.0F; }},
        {"Left moves back", Qt::Key_Left, {}, [&] { return playing()->getElapsedTime() < 5.0F; }},
        {"C pauses", Qt::Key_C, {}, [&] { return playing()->isPaused(); }},
        {"the description says so", 0, {}, [&] { return description() == "En pause : Un — Zaz, volume 50 %"; }},
        {"X resumes", Qt::Key_X, {}, [&] { return playing()->isPlaying(); }},
        {"B goes to the next track", Qt::Key_B, {}, [&] { return current() == 1 && playing()->isPlaying(); }},
        {"media next too", Qt::Key_MediaNext, {}, [&] { return current() == 2; }},
        {"Z goes back", Qt::Key_Z, {}, [&] { return current() == 1; }},
        {"media previous too", Qt::Key_MediaPrevious, {}, [&] { return current() == 0; }},
        {"the description follows", 0, {}, [&] { return description() == "Lecture : Un — Zaz, volume 50 %"; }},
        {"V stops", Qt::Key_V, {}, [&] { return playing()->isStopped(); }},
        {"C does not start", Qt::Key_C, {}, [&] { return playing()->isStopped(); }},
        {"media play starts", Qt::Key_MediaPlay, {}, [&] { return playing()->isPlaying(); }},
        {"media pause pauses", Qt::Key_MediaPause, {}, [&] { return playing()->isPaused(); }},
        {"media play-pause resumes", Qt::Key_MediaTogglePlayPause, {}, [&] { return playing()->isPlaying(); }},
        {"media stop stops", Qt::Key_MediaStop, {}, [&] { return playing()->isStopped(); }},
        {"Up turns the volume up", Qt::Key_Up, {}, [&] { return settings->getVolume() == 60.0F; }},
        {"so does +", Qt::Key_Plus, Qt::ShiftModifier, [&] { return settings->getVolume() == 70.0F; }},
        {"Down turns it down", Qt::Key_Down, {}, [&] { return settings->getVolume() == 60.0F; }},
        {"so does keypad -", Qt::Key_Minus, Qt::KeypadModifier, [&] { return settings->getVolume() == 50.0F; }},
        {"R turns repeat on", Qt::Key_R, {}, [&] { return settings->isRepeat(); }},
        {"S turns shuffle on", Qt::Key_S, {}, [&] { return settings->isShuffle(); }},
        {"Ctrl+O asks for a track", Qt::Key_O, Qt::ControlModifier,
         [&] { return window.questions == std::vector<bool>{true}; }},
        {"Ctrl+L asks for a playlist", Qt::Key_L, Qt::ControlModifier,
         [&] {
             return window.questions == std::vector<bool>{true, true};
         }},
        {"Ctrl+S asks where to save", Qt::Key_S, Qt::ControlModifier,
         [&] {
             return window.questions == std::vector<bool>{true, true, false} && settings->isShuffle();
         }},
        {"Ctrl+P opens the manager", Qt::Key_P, Qt::ControlModifier, [&] { return managersOpened == 1; }},
        {"Space does nothing", Qt::Key_Space, {}, [&] { return window.isVisible() && playing()->isStopped(); }},
        {"Escape still closes", Qt::Key_Escape, {}, [&] { return !window.isVisible(); }},
    };
    for (const Step& step : steps) {
        if (step.key != 0) {
            press(step.key, step.modifiers);
            EXPECT_TRUE(step.done()) << step.what;
        } else {
            // The description names the track once its tags, read off the UI thread, have come.
            EXPECT_TRUE(QTest::qWaitFor(step.done)) << step.what;
        }
    }
    EXPECT_EQ(window.result(), QDialog::Rejected);

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    press(Qt::Key_Enter);
    EXPECT_FALSE(window.isVisible()) << "Enter still closes";
    EXPECT_EQ(window.result(), QDialog::Accepted);
}

} // namespace

} // namespace zalvo
