#include "CPlayListManagDlg.h"

#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "playlist/AudioConfig.h"
#include "playlist/Music.h"
#include "playlist/PlayList.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace zalvo {

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using namespace std::chrono_literals;

// Runs `step` on the dialog of type T once it is the active modal window, inside the modal loop that
// shows it. Should it never show, every modal window is closed after a while so the test cannot hang.
template <typename T> void whenModal(std::function<void(T*)> step) {
    auto* poll = new QTimer;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    QObject::connect(poll, &QTimer::timeout, [poll, step, deadline] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            step(dialog);
        } else if (std::chrono::steady_clock::now() > deadline) {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "gave up waiting for a " << T::staticMetaObject.className();
                modal->close();
            } else {
                poll->stop();
                poll->deleteLater();
            }
        }
    });
    poll->start(10);
}

class PlayListManagerTest : public testing::Test {
protected:
    void SetUp() override {
        AudioConfig* config = AudioConfig::getInstance();
        if (config->isRepeat()) {
            config->toggleRepeat();
        }
        if (config->isShuffle()) {
            config->toggleShuffle();
        }
        mainDlg.show();
    }

    std::u16string makeTrack(const std::string& name, double seconds = 0.2) {
        const std::filesystem::path file = dir.file(name + ".wav");
        writeToneFile(file, AudioFormat::Wav, ToneShape{.segments = {ToneSegment{440.0, seconds}}});
        return file.u16string();
    }

    // Tracks long enough to go on playing through a whole test.
    std::u16string makeLongTrack(const std::string& name) { return makeTrack(name, 10.0); }

    void add(const std::u16string& path) { ASSERT_TRUE(playList().addMusic(path)); }

    PlayList& playList() { return mainDlg.GetPlayList(); }

    std::vector<Music*> tracks() {
        std::vector<Music*> result;
        for (const auto& music : *playList().getList()) {
            result.push_back(music.get());
        }
        return result;
    }

    int playingCount() {
        int count = 0;
        for (Music* music : tracks()) {
            count += music->isPlaying() ? 1 : 0;
        }
        return count;
    }

    Music* currentTrack() {
        const auto current = playList().getCurrentPosition();
        return current == playList().getList()->end() ? nullptr : current->get();
    }

    void openManager() {
        manager = std::make_unique<CPlayListManagDlg>();
        manager->SetPlayList(&playList());
        manager->SetMainDlg(&mainDlg);
        manager->show();
        QCoreApplication::processEvents();
    }

    QListView* listBox() { return manager->findChild<QListView*>(); }

    QStringList shownPaths() {
        QStringList paths;
        for (int row = 0; row < rowCount(); ++row) {
            paths.append(listBox()->model()->index(row, 0).data().toString());
        }
        return paths;
    }

    QStringList playListPaths() {
        QStringList paths;
        for (Music* music : tracks()) {
            paths.append(QString::fromStdU16String(music->getPath()));
        }
        return paths;
    }

    QList<int> selectedRows() {
        QList<int> rows;
        for (const QModelIndex& index : listBox()->selectionModel()->selectedIndexes()) {
            rows.append(index.row());
        }
        return rows;
    }

    int rowCount() { return listBox()->model()->rowCount(); }

    QPoint rowCentre(int row) { return listBox()->visualRect(listBox()->model()->index(row, 0)).center(); }

    void select(int row) { QTest::mouseClick(listBox()->viewport(), Qt::LeftButton, {}, rowCentre(row)); }

    // QTest's double-click is the second click's event alone: the first click comes before it.
    void doubleClick(int row) {
        QTest::mouseClick(listBox()->viewport(), Qt::LeftButton, {}, rowCentre(row));
        QTest::mouseDClick(listBox()->viewport(), Qt::LeftButton, {}, rowCentre(row));
    }

    void press(const QString& text) { press(manager.get(), text); }

    static void press(QWidget* dialog, const QString& text) {
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == text) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "no button " << text.toStdString();
    }

    SettingsGuard settings;
    TempDir dir;
    ScriptedZalvoDlg mainDlg;
    std::unique_ptr<CPlayListManagDlg> manager;
};

// A caption wider than its button's inside is cut off.
bool showsWholeCaption(QPushButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect inside = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    return button->fontMetrics().horizontalAdvance(button->text()) <= inside.width();
}

TEST_F(PlayListManagerTest, LayoutHasItsCaptionAndButtonsRightOfTheList) {
    openManager();
    EXPECT_EQ(manager->windowTitle(), "Liste de lecture - Zalvo");
    EXPECT_EQ(manager->size(), QSize(533, 322));

    QList<QPushButton*> buttons = manager->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
    QStringList topToBottom;
    QStringList misplaced;
    for (QPushButton* button : buttons) {
        topToBottom.append(button->text());
        const bool inColumn = button->x() > listBox()->geometry().right();
        const bool defaultIfOk = button->isDefault() == (button->text() == "OK");
        if (!inColumn || !defaultIfOk || !showsWholeCaption(button)) {
            misplaced.append(button->text());
        }
    }
    EXPECT_TRUE(misplaced.isEmpty()) << misplaced.join(", ").toStdString();
    EXPECT_EQ(topToBottom, QStringList({"Monter", "Descendre", "Supprimer", "Vider", "Sauvegarder", "Charger", "OK"}));
}

TEST_F(PlayListManagerTest, TabOrderStartsAtOkThenTheList) {
    openManager();
    QWidget* const first = manager->findChild<QPushButton*>("okButton");
    ASSERT_NE(first, nullptr);
    QStringList tabOrder;
    QWidget* widget = first;
    do {
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            tabOrder.append(button->text());
        } else if (widget == listBox()) {
            tabOrder.append("list");
        }
        widget = widget->nextInFocusChain();
    } while (widget != first && tabOrder.size() < 20);
    EXPECT_EQ(tabOrder,
              QStringList({"OK", "list", "Monter", "Descendre", "Supprimer", "Sauvegarder", "Charger", "Vider"}));
}

TEST_F(PlayListManagerTest, ListShowsEveryPathInOrderWithNothingSelected) {
    const std::u16string a = makeTrack("a");
    const std::u16string b = makeTrack(std::string(200, 'b'));
    add(a);
    add(b);
    add(a);
    openManager();
    EXPECT_EQ(shownPaths(), playListPaths());
    EXPECT_EQ(shownPaths().size(), 3);
    EXPECT_TRUE(selectedRows().isEmpty());
    // A long path is cut at the list's right edge rather than scrolled to.
    EXPECT_EQ(listBox()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(listBox()->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST_F(PlayListManagerTest, MovingSwapsWithTheNeighbourAndClearsTheSelection) {
    add(makeTrack("a"));
    add(makeTrack("b"));
    add(makeTrack("c"));
    const std::vector<Music*> before = tracks();
    openManager();

    select(1);
    press("Monter");
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[1], before[0], before[2]}));
    EXPECT_EQ(shownPaths(), playListPaths());
    EXPECT_TRUE(selectedRows().isEmpty());

    press("Monter");
    press("Descendre");
    press("Supprimer");
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[1], before[0], before[2]}));

    select(0);
    press("Descendre");
    EXPECT_EQ(tracks(), before);
    EXPECT_TRUE(selectedRows().isEmpty());
}

TEST_F(PlayListManagerTest, FirstUpAndLastDownChangeNothingNotEvenTheSelection) {
    add(makeTrack("a"));
    add(makeTrack("b"));
    const std::vector<Music*> before = tracks();
    ASSERT_NE(playList().getCurrent(), nullptr);
    openManager();

    select(0);
    press("Monter");
    EXPECT_EQ(tracks(), before);
    EXPECT_EQ(selectedRows(), QList<int>{0});

    select(1);
    press("Descendre");
    EXPECT_EQ(tracks(), before);
    EXPECT_EQ(selectedRows(), QList<int>{1});
    EXPECT_EQ(currentTrack(), before[0]);
}

TEST_F(PlayListManagerTest, MovingAnotherEntryLeavesThePlayingTrackCurrentAndUnderControl) {
    add(makeLongTrack("a"));
    add(makeLongTrack("b"));
    add(makeLongTrack("c"));
    const std::vector<Music*> before = tracks();
    clickAction(mainDlg, PLAY_PAUSE);
    ASSERT_TRUE(before[0]->isPlaying());
    openManager();

    select(2);
    press("Monter");
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[0], before[2], before[1]}));
    EXPECT_EQ(currentTrack(), before[0]);
    EXPECT_TRUE(before[0]->isPlaying());
    EXPECT_EQ(playingCount(), 1);

    clickAction(mainDlg, PLAY_PAUSE);
    EXPECT_TRUE(before[0]->isPaused());
    EXPECT_EQ(playingCount(), 0);

    clickAction(mainDlg, PLAY_PAUSE);
    clickAction(mainDlg, STOP);
    EXPECT_EQ(playingCount(), 0);
}

TEST_F(PlayListManagerTest, MovingThePlayingTrackKeepsItPlayingCurrentAtItsNewPlace) {
    add(makeLongTrack("a"));
    add(makeLongTrack("b"));
    const std::vector<Music*> before = tracks();
    clickAction(mainDlg, PLAY_PAUSE);
    QTest::qWait(100);
    const float playedBefore = before[0]->getElapsedTime();
    openManager();

    select(0);
    press("Descendre");
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[1], before[0]}));
    EXPECT_EQ(currentTrack(), before[0]);
    EXPECT_TRUE(before[0]->isPlaying());
    EXPECT_GE(before[0]->getElapsedTime(), playedBefore);

    // The current entry is now the last one: a step forward wraps to the head.
    clickAction(mainDlg, NEXT);
    EXPECT_TRUE(before[1]->isPlaying());
    EXPECT_EQ(playingCount(), 1);
}

TEST_F(PlayListManagerTest, DeletingTheCurrentTrackMovesPlaybackOn) {
    add(makeLongTrack("a"));
    add(makeLongTrack("b"));
    add(makeLongTrack("c"));
    const std::vector<Music*> before = tracks();
    clickAction(mainDlg, PLAY_PAUSE);
    openManager();

    select(2);
    press("Supprimer");
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[0], before[1]}));
    EXPECT_TRUE(before[0]->isPlaying());

    select(0);
    press("Supprimer");
    EXPECT_EQ(tracks(), std::vector<Music*>{before[1]});
    EXPECT_EQ(shownPaths(), playListPaths());
    EXPECT_TRUE(selectedRows().isEmpty());
    EXPECT_EQ(currentTrack(), before[1]);
    EXPECT_TRUE(before[1]->isPlaying());
}

TEST_F(PlayListManagerTest, ClearingEmptiesPlaylistAndList) {
    add(makeLongTrack("a"));
    add(makeLongTrack("b"));
    clickAction(mainDlg, PLAY_PAUSE);
    openManager();

    select(1);
    press("Vider");
    EXPECT_TRUE(tracks().empty());
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(playList().getCurrent(), nullptr);

    press("Vider");
    press("Monter");
    press("Descendre");
    press("Supprimer");
    EXPECT_TRUE(tracks().empty());
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(PlayListManagerTest, SavingKeepsTheSelectionAndLoadingRefreshesTheList) {
    add(makeTrack("a"));
    add(makeTrack("b"));
    const QStringList saved = playListPaths();
    const std::u16string file = dir.file("list").u16string();
    openManager();

    select(1);
    mainDlg.answers = {file};
    press("Sauvegarder");
    EXPECT_EQ(mainDlg.questions, std::vector<bool>{false});
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(selectedRows(), QList<int>{1});

    press("Vider");
    select(0);
    mainDlg.answers = {file};
    press("Charger");
    EXPECT_EQ(mainDlg.questions, (std::vector<bool>{false, true}));
    EXPECT_EQ(playListPaths(), saved);
    EXPECT_EQ(shownPaths(), saved);
    EXPECT_TRUE(selectedRows().isEmpty());
}

TEST_F(PlayListManagerTest, LoadingCancelledStillRefreshesTheList) {
    add(makeTrack("a"));
    openManager();
    add(makeTrack("b"));
    ASSERT_EQ(rowCount(), 1);

    select(0);
    mainDlg.answers = {u""};
    press("Charger");
    EXPECT_EQ(tracks().size(), 2U);
    EXPECT_EQ(shownPaths(), playListPaths());
    EXPECT_TRUE(selectedRows().isEmpty());
}

TEST_F(PlayListManagerTest, DoubleClickSwitchesTracksOrRestartsTheCurrentOne) {
    add(makeLongTrack("a"));
    add(makeLongTrack("b"));
    const std::vector<Music*> before = tracks();
    clickAction(mainDlg, PLAY_PAUSE);
    QTest::qWait(300);
    const float played = before[0]->getElapsedTime();
    openManager();

    doubleClick(0);
    EXPECT_TRUE(before[0]->isPlaying());
    EXPECT_LT(before[0]->getElapsedTime(), played);
    EXPECT_EQ(selectedRows(), QList<int>{0});

    doubleClick(1);
    EXPECT_TRUE(before[0]->isStopped());
    EXPECT_TRUE(before[1]->isPlaying());
    EXPECT_EQ(currentTrack(), before[1]);
    EXPECT_EQ(selectedRows(), QList<int>{1});
    EXPECT_EQ(tracks(), before);
}

TEST_F(PlayListManagerTest, EntriesWithTheSamePathAreToldApartByPlace) {
    const std::u16string same = makeLongTrack("same");
    add(same);
    add(same);
    add(makeLongTrack("other"));
    const std::vector<Music*> before = tracks();
    openManager();

    doubleClick(1);
    EXPECT_TRUE(before[1]->isPlaying());
    EXPECT_FALSE(before[0]->isPlaying());

    press("Supprimer");
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[0], before[2]}));
    EXPECT_TRUE(before[2]->isPlaying());

    select(1);
    press("Monter");
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[2], before[0]}));
}

TEST_F(PlayListManagerTest, WithoutPlaylistItSaysSoAndStaysOpenEmpty) {
    CPlayListManagDlg orphan;
    QString message;
    int rows = -1;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        message = box->text();
        whenModal<CPlayListManagDlg>([&](CPlayListManagDlg* dialog) {
            auto* list = dialog->findChild<QListView*>();
            for (const char* button : {"Monter", "Descendre", "Supprimer", "Vider", "Charger"}) {
                press(dialog, button);
            }
            rows = list->model()->rowCount();
            dialog->close();
        });
        box->accept();
    });
    orphan.exec();
    EXPECT_EQ(message, "Error - No play list given");
    EXPECT_EQ(rows, 0);
}

TEST_F(PlayListManagerTest, OpenedFromTheMainWindowKeepsEveryChangeHoweverItCloses) {
    const std::vector<std::function<void(CPlayListManagDlg*)>> closings = {
        [](CPlayListManagDlg* dialog) { press(dialog, "OK"); },
        [](CPlayListManagDlg* dialog) { dialog->close(); },
        [](CPlayListManagDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); },
    };
    for (std::size_t i = 0; i < closings.size(); ++i) {
        add(makeTrack("a"));
        add(makeTrack("b"));
        const std::vector<Music*> before = tracks();
        int shown = 0;
        whenModal<CPlayListManagDlg>([&](CPlayListManagDlg* dialog) {
            auto* list = dialog->findChild<QListView*>();
            shown = list->model()->rowCount();
            list->setCurrentIndex(list->model()->index(0, 0));
            press(dialog, "Supprimer");
            closings[i](dialog);
        });
        clickAction(mainDlg, MANAGE_PLAYLIST);
        EXPECT_EQ(shown, 2) << "closing " << i;
        EXPECT_EQ(tracks(), std::vector<Music*>{before[1]}) << "closing " << i;
        playList().clear();
    }
}

TEST_F(PlayListManagerTest, PlaybackMovesOnWhileTheManagerIsOpen) {
    add(makeTrack("a"));
    add(makeLongTrack("b"));
    const std::vector<Music*> before = tracks();
    clickAction(mainDlg, PLAY_PAUSE);
    bool movedOn = false;
    whenModal<CPlayListManagDlg>([&](CPlayListManagDlg* dialog) {
        movedOn = QTest::qWaitFor([&] { return before[1]->isPlaying(); }, 5000);
        dialog->accept();
    });
    clickAction(mainDlg, MANAGE_PLAYLIST);
    EXPECT_TRUE(movedOn);
    EXPECT_EQ(currentTrack(), before[1]);
}

} // namespace

TEST_F(PlayListManagerTest, KeysDeleteMoveAndPlayTheSelectedEntryAndEnterStillCloses) {
    add(makeLongTrack("a"));
    add(makeLongTrack("b"));
    add(makeLongTrack("c"));
    const std::vector<Music*> before = tracks();
    openManager();
    ASSERT_TRUE(QTest::qWaitForWindowActive(manager.get()));
    listBox()->setFocus();

    select(1);
    QTest::keyClick(listBox(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[1], before[0], before[2]}));
    select(1);
    QTest::keyClick(listBox(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[1], before[2], before[0]}));

    select(1);
    QTest::keyClick(listBox(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(before[2]->isPlaying());
    EXPECT_TRUE(manager->isVisible());

    select(0);
    QTest::keyClick(listBox(), Qt::Key_Delete);
    EXPECT_EQ(tracks(), (std::vector<Music*>{before[2], before[0]}));
    EXPECT_EQ(shownPaths(), playListPaths());

    QTest::keyClick(listBox(), Qt::Key_Return);
    EXPECT_FALSE(manager->isVisible());
    EXPECT_EQ(manager->result(), QDialog::Accepted);
}

} // namespace zalvo
