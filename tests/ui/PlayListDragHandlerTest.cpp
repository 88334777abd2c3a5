#include "PlayListDragHandler.h"

#include "CPlayListManagDlg.h"
#include "ModalCatcher.h"
#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "TempDir.h"
#include "ToneFile.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zalvo {

namespace {

// Entries dragged within the manager's list, and files dropped on it from outside.
class ManagerDragTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c", "d"}) {
            const std::filesystem::path file = dir.file(std::string(name) + ".wav");
            writeToneFile(file, AudioFormat::Wav, ToneShape{.segments = {ToneSegment{440.0, 30.0}}});
            window.GetPlayList().addMusic(file.u16string());
        }
        manager.SetPlayList(&window.GetPlayList());
        manager.SetMainDlg(&window);
        manager.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&manager));
        view = manager.findChild<QAbstractItemView*>();
        ASSERT_TRUE(QTest::qWaitFor([this] { return view->model()->rowCount() == 4; }));
    }

    // The names of the entries, in the playlist's order.
    std::string order() {
        std::string names;
        for (const auto& track : *window.GetPlayList().getList()) {
            names += std::filesystem::path(track->getPath()).stem().string();
        }
        return names;
    }

    Music* track(int index) { return std::next(window.GetPlayList().getList()->begin(), index)->get(); }

    // Drops `data` onto a row's upper or lower half, or below every row.
    bool dropOn(const QMimeData& data, int row, bool lowerHalf) {
        QPoint point(5, view->viewport()->height() - 2);
        if (row < view->model()->rowCount()) {
            const QRect rect = view->visualRect(view->model()->index(row, 0));
            point = QPoint(rect.center().x(), lowerHalf ? rect.bottom() : rect.top());
        }
        QDragEnterEvent enter(point, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(QPointF(point), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &dropped);
        return true;
    }

    static void entry(QMimeData& data, qint64 pid, const Music* track) {
        data.setData(QString::fromLatin1(PlayListDragHandler::entryFormat),
                     QByteArray::number(pid) + ' ' + QByteArray::number(track->getId()));
    }

    SettingsGuard settings;
    TempDir dir;
    ScriptedZalvoDlg window;
    CPlayListManagDlg manager;
    ModalCatcher catcher;
    QAbstractItemView* view = nullptr;
};

TEST_F(ManagerDragTest, ADraggedEntryMovesWhileTheCurrentTrackPlaysOn) {
    window.GetPlayList().next(true);
    window.GetPlayList().next(true);
    Music* playing = window.GetPlayList().getCurrent();
    ASSERT_TRUE(playing->isPlaying());

    struct Move {
        int from;
        int row;
        bool lowerHalf;
        std::string order;
    };
    const std::vector<Move> moves{
        {0, 2, true, "bcad"}, {3, 0, false, "dbca"}, {1, 4, false, "dcab"}, {2, 2, false, "dcab"}, {2, 1, true, "dcab"},
    };
    for (const Move& move : moves) {
        QMimeData data;
        entry(data, QCoreApplication::applicationPid(), track(move.from));
        EXPECT_TRUE(dropOn(data, move.row, move.lowerHalf));
        EXPECT_EQ(order(), move.order);
        EXPECT_EQ(view->model()->rowCount(), 4);
        EXPECT_EQ(window.GetPlayList().getCurrent(), playing) << "the current track stays current";
        EXPECT_TRUE(playing->isPlaying()) << "and plays on";
    }

    QMimeData foreign;
    entry(foreign, QCoreApplication::applicationPid() + 1, track(0));
    EXPECT_FALSE(dropOn(foreign, 3, true)) << "another player's entry means nothing here";
    EXPECT_EQ(order(), "dcab");
}

TEST_F(ManagerDragTest, FilesDroppedFromOutsideAreAppended) {
    const std::filesystem::path file = dir.file("e.wav");
    writeToneFile(file, AudioFormat::Wav);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    EXPECT_TRUE(dropOn(data, 0, false));
    EXPECT_EQ(order(), "abcde");
    EXPECT_TRUE(QTest::qWaitFor([this] { return view->model()->rowCount() == 5; }));
}

} // namespace

} // namespace zalvo
