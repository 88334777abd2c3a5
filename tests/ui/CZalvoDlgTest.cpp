#include "CZalvoDlg.h"

#include "ActionTable.h"
#include "CPlayListManagDlg.h"
#include "CZalvoApp.h"
#include "ModalCatcher.h"
#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "SkinView.h"
#include "TempDir.h"
#include "ToneFile.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <iterator>
#include <memory>

namespace zalvo {

namespace {

Action expectedAt(QPoint point) {
    for (const ActionRect& row : actionTable) {
        if (row.contains(point.x(), point.y())) {
            return row.action;
        }
    }
    return NONE;
}

void sendMouse(CZalvoDlg& window, QEvent::Type type, QPoint point, Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent event(type, QPointF(point), window.mapToGlobal(QPointF(point)), button, button, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
}

// A move delivered straight to the window, skipping the platform: fast enough to sweep the whole skin.
Action hoverDirectly(CZalvoDlg& window, QPoint point) {
    sendMouse(window, QEvent::MouseMove, point);
    return window.GetHoveredAction();
}

// A move through the platform, the way the pointer's moves really arrive.
Action hoverAt(CZalvoDlg& window, QPoint point) {
    pointAt(window, point);
    return window.GetHoveredAction();
}

QPushButton* quitButton(CZalvoDlg& window) {
    return window.findChild<QPushButton*>();
}

class MainWindowTest : public testing::Test {
protected:
    void showWindow() {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    std::filesystem::path addTone(const std::string& name, double seconds) {
        const std::filesystem::path file = dir.file(name + ".wav");
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, seconds}}});
        EXPECT_TRUE(window.GetPlayList().addMusic(file.u16string()));
        return file;
    }

    Music* track(std::size_t index) {
        PlayList::TrackList* tracks = window.GetPlayList().getList();
        return std::next(tracks->begin(), static_cast<std::ptrdiff_t>(index))->get();
    }

    SettingsGuard settingsGuard;
    TempDir dir;
    ScriptedZalvoDlg window;
};

TEST_F(MainWindowTest, IsAFixedSkinnedWindowWithOnlyQuitterToPress) {
    showWindow();
    EXPECT_EQ(window.windowTitle(), "Zalvo");
    EXPECT_EQ(window.size(), QSize(500, 500));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowSystemMenuHint));
    EXPECT_EQ(window.parentWidget(), nullptr);

    const auto* skin = window.findChild<SkinView*>();
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->geometry(), QRect(0, 0, 500, 500));
    EXPECT_TRUE(skin->testAttribute(Qt::WA_TransparentForMouseEvents));

    QPushButton* quit = quitButton(window);
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->text(), "Quitter");
    EXPECT_EQ(quit->geometry(), QRect(0, 475, 75, 23));
    EXPECT_TRUE(quit->isDefault());
    for (const QWidget* child : window.findChildren<QWidget*>()) {
        EXPECT_EQ(child->focusPolicy() != Qt::NoFocus, child == quit) << child->metaObject()->className();
    }
    for (const ActionRect& row : actionTable) {
        EXPECT_FALSE(quit->geometry().intersects(window.GetActionRects().at(row.action)));
    }

    const QList<QSize> iconSizes = window.windowIcon().availableSizes();
    for (const int size : {16, 32, 48}) {
        EXPECT_TRUE(iconSizes.contains(QSize(size, size))) << size;
    }
}

TEST_F(MainWindowTest, ActionRectanglesAreFilledWhenTheWindowComesUp) {
    EXPECT_TRUE(window.GetActionRects().empty());
    showWindow();
    ASSERT_EQ(window.GetActionRects().size(), actionTable.size());
    for (const ActionRect& row : actionTable) {
        EXPECT_EQ(window.GetActionRects().at(row.action),
                  QRect(QPoint(row.left, row.top), QPoint(row.right - 1, row.bottom - 1)))
            << row.action;
    }
}

TEST_F(MainWindowTest, HitTestFindsEachRectangleUpToButNotIncludingItsRightAndBottomEdges) {
    showWindow();
    for (const ActionRect& row : actionTable) {
        const int right = row.right - 1;
        const int bottom = row.bottom - 1;
        const int midX = (row.left + row.right) / 2;
        const int midY = (row.top + row.bottom) / 2;
        const std::array probes{
            QPoint(row.left, row.top),    QPoint(right, row.top),    QPoint(row.left, bottom),
            QPoint(right, bottom),        QPoint(midX, row.top),     QPoint(midX, bottom),
            QPoint(row.left, midY),       QPoint(right, midY),       QPoint(row.right, row.top),
            QPoint(row.left, row.bottom), QPoint(row.right, midY),   QPoint(midX, row.bottom),
            QPoint(row.left - 1, midY),   QPoint(midX, row.top - 1),
        };
        for (const QPoint& probe : probes) {
            EXPECT_EQ(hoverAt(window, probe), expectedAt(probe))
                << row.action << " at " << probe.x() << "," << probe.y();
        }
    }

    EXPECT_EQ(hoverAt(window, {367, 360}), PLAY_PAUSE);
    EXPECT_EQ(hoverAt(window, {132, 367}), STOP);
    EXPECT_EQ(hoverAt(window, {135, 130}), LOAD_PLAYLIST);
    EXPECT_EQ(hoverAt(window, {365, 135}), MANAGE_PLAYLIST);
    EXPECT_EQ(hoverAt(window, {134, 130}), ADD_MUSIC);
    EXPECT_EQ(hoverAt(window, {364, 135}), SAVE_PLAYLIST);
    EXPECT_EQ(hoverAt(window, {300, 355}), PLAY_PAUSE);
    EXPECT_EQ(hoverAt(window, {369, 434}), PLAY_PAUSE);
    EXPECT_EQ(hoverAt(window, {370, 434}), NONE);
    EXPECT_EQ(hoverAt(window, {250, 250}), NONE);
    EXPECT_EQ(hoverAt(window, {100, 10}), NONE);
    EXPECT_EQ(hoverAt(window, {450, 15}), NONE);
    EXPECT_EQ(hoverAt(window, {250, 485}), NONE);
    EXPECT_EQ(hoverAt(window, {420, 499}), NONE);
}

TEST_F(MainWindowTest, HitTestMatchesTheTableOverTheWholeSkin) {
    showWindow();
    for (int y = 0; y < 475; ++y) {
        for (int x = 0; x < 500; x += 3) {
            const QPoint point(x + y % 3, y);
            ASSERT_EQ(hoverDirectly(window, point), expectedAt(point)) << point.x() << "," << point.y();
        }
    }
}

TEST_F(MainWindowTest, ClickRunsTheActionStoredByTheLastMoveWhateverItsOwnPoint) {
    showWindow();
    AudioConfig* settings = AudioConfig::getInstance();
    const float volume = settings->getVolume();

    sendMouse(window, QEvent::MouseButtonPress, window.GetActionRects().at(VOLUME_DOWN).center(), Qt::LeftButton);
    EXPECT_EQ(settings->getVolume(), volume) << "a click before any move";

    hoverAt(window, window.GetActionRects().at(VOLUME_DOWN).center());
    const bool repeat = settings->isRepeat();
    sendMouse(window, QEvent::MouseButtonPress, window.GetActionRects().at(REPEAT).center(), Qt::LeftButton);
    EXPECT_EQ(settings->getVolume(), volume - 10.0F);
    EXPECT_EQ(settings->isRepeat(), repeat);

    sendMouse(window, QEvent::MouseButtonPress, {250, 250}, Qt::LeftButton);
    EXPECT_EQ(settings->getVolume(), volume - 20.0F) << "a second click with no move";

    sendMouse(window, QEvent::MouseButtonPress, {250, 250}, Qt::RightButton);
    EXPECT_EQ(settings->getVolume(), volume - 20.0F) << "the right button";

    hoverAt(window, {250, 250});
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, {250, 250});
    EXPECT_EQ(settings->getVolume(), volume - 20.0F) << "a click in the hole";
}

TEST_F(MainWindowTest, EachIconRunsItsOwnAction) {
    showWindow();
    AudioConfig* settings = AudioConfig::getInstance();
    addTone("a", 5.0);
    addTone("b", 5.0);
    addTone("c", 5.0);
    PlayList& playList = window.GetPlayList();

    clickAction(window, PLAY_PAUSE);
    EXPECT_TRUE(track(0)->isPlaying());
    clickAction(window, STOP);
    EXPECT_TRUE(track(0)->isStopped());
    clickAction(window, NEXT);
    EXPECT_EQ(playList.getCurrent(), track(1));
    EXPECT_TRUE(track(1)->isPlaying());
    clickAction(window, PREVIOUS);
    EXPECT_EQ(playList.getCurrent(), track(0));
    EXPECT_TRUE(track(1)->isStopped());

    const bool repeat = settings->isRepeat();
    clickAction(window, REPEAT);
    EXPECT_NE(settings->isRepeat(), repeat);
    const bool shuffle = settings->isShuffle();
    clickAction(window, SHUFFLE);
    EXPECT_NE(settings->isShuffle(), shuffle);
    clickAction(window, VOLUME_DOWN);
    EXPECT_EQ(settings->getVolume(), 90.0F);
    EXPECT_EQ(track(0)->getVolume(), 90.0F);
    clickAction(window, VOLUME_UP);
    EXPECT_EQ(settings->getVolume(), 100.0F);

    clickAction(window, ADD_MUSIC);
    clickAction(window, LOAD_PLAYLIST);
    clickAction(window, SAVE_PLAYLIST);
    EXPECT_EQ(window.questions, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(playList.getList()->size(), 3U);

    ModalCatcher catcher;
    const CPlayListManagDlg* manager = nullptr;
    catcher.onOtherModal = [&manager](QWidget* modal) {
        manager = qobject_cast<CPlayListManagDlg*>(modal);
        modal->close();
    };
    clickAction(window, MANAGE_PLAYLIST);
    EXPECT_NE(manager, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, MovesOverQuitterNeverReachTheWindow) {
    showWindow();
    const QPoint quitCentre = quitButton(window)->geometry().center();

    EXPECT_EQ(hoverAt(window, window.GetActionRects().at(STOP).center()), STOP);
    EXPECT_EQ(hoverAt(window, quitCentre), STOP);
    EXPECT_EQ(hoverAt(window, quitCentre + QPoint(5, 2)), STOP);

    // The button ignores moves with only the right button held, and Qt hands them on to the window.
    QTest::mousePress(&window, Qt::RightButton, Qt::NoModifier, quitCentre);
    EXPECT_EQ(hoverAt(window, quitCentre + QPoint(3, 0)), STOP);
    QTest::mouseRelease(&window, Qt::RightButton, Qt::NoModifier, quitCentre);

    // With the button held, Qt sends every move to the window that took the press, wherever the pointer goes.
    const QPoint volumeUp = window.GetActionRects().at(VOLUME_UP).center();
    hoverAt(window, volumeUp);
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, volumeUp);
    EXPECT_EQ(hoverAt(window, quitCentre), VOLUME_UP);
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, quitCentre);
}

TEST_F(MainWindowTest, MovesOverThePictureReachTheWindowWithTheButtonHeldToo) {
    showWindow();
    const QPoint play = window.GetActionRects().at(PLAY_PAUSE).center();
    const QPoint next = window.GetActionRects().at(NEXT).center();
    hoverAt(window, {250, 250});
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, {250, 250});
    EXPECT_EQ(hoverAt(window, play), PLAY_PAUSE);
    EXPECT_EQ(hoverAt(window, next), NEXT);
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, next);
}

TEST_F(MainWindowTest, TheTickMovesOnToTheNextTrackWhenOneEnds) {
    showWindow();
    addTone("first", 0.2);
    addTone("second", 0.2);
    clickAction(window, PLAY_PAUSE);
    ASSERT_TRUE(track(0)->isPlaying());

    EXPECT_TRUE(QTest::qWaitFor([this] { return track(1)->isPlaying(); }, 3000));
    EXPECT_TRUE(track(0)->isStopped());
}

TEST_F(MainWindowTest, AnyTimerMessageMovesPlaybackOn) {
    // Never shown, so no tick of its own arrives.
    addTone("first", 0.2);
    addTone("second", 0.2);
    window.GetPlayList().getCurrent()->playPause();
    ASSERT_TRUE(QTest::qWaitFor([this] { return track(0)->isFinished(); }, 3000));
    QTest::qWait(150);
    EXPECT_EQ(window.GetPlayList().getCurrent(), track(0));

    QTimerEvent foreignTick(4242);
    QApplication::sendEvent(&window, &foreignTick);
    EXPECT_EQ(window.GetPlayList().getCurrent(), track(1));
    EXPECT_TRUE(track(1)->isPlaying());
}

TEST_F(MainWindowTest, TheTickGoesOnWhileTheManagerIsOpen) {
    showWindow();
    addTone("first", 0.2);
    addTone("second", 2.0);
    clickAction(window, PLAY_PAUSE);

    ModalCatcher catcher;
    bool managerSawTheChange = false;
    catcher.onOtherModal = [&](QWidget* modal) {
        if (track(1)->isPlaying()) {
            managerSawTheChange = true;
            modal->close();
        }
    };
    QTimer giveUp;
    giveUp.callOnTimeout([] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    giveUp.start(5000);
    clickAction(window, MANAGE_PLAYLIST);
    EXPECT_TRUE(managerSawTheChange);
}

using Closer = std::function<void(CZalvoDlg&)>;

// Ends the modal run the way `closer` does, then destroys the window; the run's result is returned.
int runAndClose(std::unique_ptr<CZalvoDlg> window, const Closer& closer) {
    CZalvoDlg* shown = window.get();
    QTimer::singleShot(0, shown, [shown, closer] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(shown));
        closer(*shown);
    });
    const int result = window->exec();
    EXPECT_FALSE(window->isVisible());
    return result;
}

TEST(MainWindowEnds, ByQuitterEnterOrEscapeAndLeavesNoObserverBehind) {
    const SettingsGuard settingsGuard;
    TempDir dir;
    const std::filesystem::path tone = dir.file("tone.wav");
    writeToneFile(tone, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 5.0}}});

    const auto pressKey = [](Qt::Key key) {
        return [key](CZalvoDlg& window) {
            EXPECT_EQ(QApplication::focusWidget(), quitButton(window));
            QTest::keyClick(QApplication::focusWidget(), key);
        };
    };
    const std::array<std::pair<Closer, int>, 4> ways{{
        {[](CZalvoDlg& window) { QTest::mouseClick(quitButton(window), Qt::LeftButton); }, QDialog::Accepted},
        {pressKey(Qt::Key_Return), QDialog::Accepted},
        {pressKey(Qt::Key_Enter), QDialog::Accepted},
        {pressKey(Qt::Key_Escape), QDialog::Rejected},
    }};
    for (const auto& [closer, result] : ways) {
        auto window = std::make_unique<CZalvoDlg>();
        EXPECT_EQ(AudioConfig::getInstance()->observerCount(), 1U);
        ASSERT_TRUE(window->GetPlayList().addMusic(tone.u16string()));
        window->GetPlayList().getCurrent()->playPause();
        EXPECT_EQ(runAndClose(std::move(window), closer), result);
        EXPECT_EQ(AudioConfig::getInstance()->observerCount(), 0U);
    }
}

TEST(MainWindowEnds, QuitterRunsNoActionOfTheRing) {
    const SettingsGuard settingsGuard;
    auto window = std::make_unique<CZalvoDlg>();
    const float volume = AudioConfig::getInstance()->getVolume();
    runAndClose(std::move(window), [](CZalvoDlg& shown) {
        pointAt(shown, shown.GetActionRects().at(VOLUME_DOWN).center());
        QTest::mouseClick(quitButton(shown), Qt::LeftButton);
        EXPECT_EQ(shown.GetHoveredAction(), VOLUME_DOWN);
    });
    EXPECT_EQ(AudioConfig::getInstance()->getVolume(), volume);
}

TEST(ApplicationStartUp, RunsTheMainWindowOnceAndThenEnds) {
    auto* app = qobject_cast<CZalvoApp*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(QCoreApplication::applicationName(), "Zalvo");

    int runs = 0;
    QTimer closer;
    closer.callOnTimeout([&runs] {
        if (auto* window = qobject_cast<CZalvoDlg*>(QApplication::activeModalWidget())) {
            ++runs;
            EXPECT_TRUE(window->GetPlayList().getList()->empty());
            EXPECT_EQ(window->parentWidget(), nullptr);
            EXPECT_EQ(AudioConfig::getInstance()->observerCount(), 1U);
            window->reject();
        }
    });
    closer.start(10);
    EXPECT_FALSE(app->InitInstance());
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(AudioConfig::getInstance()->observerCount(), 0U);
}

} // namespace

} // namespace zalvo
