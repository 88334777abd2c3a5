#include "CPlayListManagDlg.h"
#include "JumpToTrackDialog.h"
#include "ModalCatcher.h"
#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "TempDir.h"
#include "ToneFile.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace zalvo {

namespace {

class JumpToTrackTest : public testing::Test {
protected:
    void SetUp() override {
        // The words typed are longer than any the temporary folder's random name could hold by chance.
        for (const std::string name : {"Un soleil", "Deux soleils", "Trois lunes"}) {
            const auto file = dir.file(name + ".flac");
            writeToneFile(file, AudioFormat::Flac, ToneShape{{ToneSegment{440.0, 30.0}}});
            ASSERT_TRUE(window.GetPlayList().addMusic(file.u16string()));
        }
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Presses J on the ring and, once "Aller au morceau" is up, hands it to `script`, which closes it.
    void jump(const std::function<void(JumpToTrackDialog&, QLineEdit&, QListView&)>& script) {
        bool scripted = false;
        catcher.onOtherModal = [&](QWidget* modal) {
            auto* dialog = qobject_cast<JumpToTrackDialog*>(modal);
            if (dialog == nullptr || std::exchange(scripted, true)) {
                return;
            }
            EXPECT_EQ(dialog->windowTitle(), "Aller au morceau");
            script(*dialog, *dialog->findChild<QLineEdit*>(), *dialog->findChild<QListView*>());
            dialog->close();
        };
        if (!window.isActiveWindow()) {
            window.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        }
        QTest::keyClick(window.findChild<QPushButton*>(), Qt::Key_J);
        EXPECT_TRUE(scripted);
    }

    // Whether the list comes to show those entries, as a person waits for it; says what it showed if not.
    static void expectShown(QListView& list, const QStringList& names) {
        const bool came = QTest::qWaitFor([&] { return shown(list) == names; });
        EXPECT_TRUE(came) << shown(list).join(QLatin1Char(',')).toStdString();
    }

    static QStringList shown(QListView& list) {
        QStringList rows;
        for (int row = 0; row < list.model()->rowCount(); ++row) {
            rows << QFileInfo(list.model()->index(row, 0).data().toString()).completeBaseName();
        }
        return rows;
    }

    int current() {
        PlayList& playList = window.GetPlayList();
        return static_cast<int>(std::distance(playList.getList()->begin(), playList.getCurrentPosition()));
    }

    SettingsGuard settingsGuard;
    TempDir dir;
    ScriptedZalvoDlg window;
    ModalCatcher catcher;
};

TEST_F(JumpToTrackTest, TypingFiltersDownMovesAndEnterPlaysTheEntryChosen) {
    jump([](JumpToTrackDialog&, QLineEdit& field, QListView& list) {
        expectShown(list, {"Un soleil", "Deux soleils", "Trois lunes"});
        QTest::keyClicks(&field, "Soleil");
        expectShown(list, {"Un soleil", "Deux soleils"});
        EXPECT_EQ(list.currentIndex().row(), 0);
        QTest::keyClick(&field, Qt::Key_Down);
        EXPECT_EQ(list.currentIndex().row(), 1);
        QTest::keyClick(&field, Qt::Key_Return);
    });
    EXPECT_EQ(current(), 1);
    ASSERT_NE(window.GetPlayList().getCurrent(), nullptr);
    EXPECT_TRUE(window.GetPlayList().getCurrent()->isPlaying());
}

TEST_F(JumpToTrackTest, EscapeClosesWithThePlayListAsItWas) {
    bool closed = false;
    jump([&](JumpToTrackDialog& dialog, QLineEdit& field, QListView& list) {
        QTest::keyClicks(&field, "lunes");
        expectShown(list, {"Trois lunes"});
        QTest::keyClick(&field, Qt::Key_Escape);
        closed = !dialog.isVisible();
    });
    EXPECT_TRUE(closed);
    std::vector<std::string> names;
    for (const auto& track : *window.GetPlayList().getList()) {
        names.push_back(std::filesystem::path(track->getPath()).stem().string());
        EXPECT_TRUE(track->isStopped());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Un soleil", "Deux soleils", "Trois lunes"}));
}

// Ctrl+F in the manager opens the search over it; the entry chosen plays as from the ring.
TEST_F(JumpToTrackTest, CtrlFInTheManagerOpensTheSearchOverIt) {
    CPlayListManagDlg* shownManager = nullptr;
    bool scripted = false;
    catcher.onOtherModal = [&](QWidget* modal) {
        if (auto* dialog = qobject_cast<JumpToTrackDialog*>(modal);
            dialog != nullptr && !std::exchange(scripted, true)) {
            EXPECT_EQ(dialog->parentWidget(), shownManager);
            QTest::keyClicks(dialog->findChild<QLineEdit*>(), "lunes");
            expectShown(*dialog->findChild<QListView*>(), {"Trois lunes"});
            QTest::keyClick(dialog->findChild<QLineEdit*>(), Qt::Key_Return);
        } else if (auto* manager = qobject_cast<CPlayListManagDlg*>(modal);
                   manager != nullptr && shownManager == nullptr) {
            shownManager = manager;
            // From a turn of the loop of its own, so that the catcher meets the search while it is open.
            QTimer::singleShot(0, manager, [manager] {
                QTest::keyClick(manager, Qt::Key_F, Qt::ControlModifier);
                manager->close();
            });
        }
    };
    QTest::keyClick(window.findChild<QPushButton*>(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_NE(shownManager, nullptr);
    EXPECT_TRUE(scripted);
    EXPECT_EQ(current(), 2);
}

} // namespace

} // namespace zalvo
