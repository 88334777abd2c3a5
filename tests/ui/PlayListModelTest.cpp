#include "PlayListModel.h"

#include "CPlayListManagDlg.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "playlist/Music.h"
#include "playlist/PlayList.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QListView>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zalvo {

namespace {

// What a model told its views, one line a signal.
class RowSignals final {
public:
    explicit RowSignals(const QAbstractItemModel& model)
        : moved(&model, &QAbstractItemModel::rowsMoved), inserted(&model, &QAbstractItemModel::rowsInserted),
          removed(&model, &QAbstractItemModel::rowsRemoved), reset(&model, &QAbstractItemModel::modelReset) {}

    QStringList told() const {
        QStringList lines;
        for (const QList<QVariant>& args : moved) {
            lines.append(
                QStringLiteral("moved %1 %2 %3").arg(args[1].toInt()).arg(args[2].toInt()).arg(args[4].toInt()));
        }
        for (const QList<QVariant>& args : inserted) {
            lines.append(QStringLiteral("inserted %1 %2").arg(args[1].toInt()).arg(args[2].toInt()));
        }
        for (const QList<QVariant>& args : removed) {
            lines.append(QStringLiteral("removed %1 %2").arg(args[1].toInt()).arg(args[2].toInt()));
        }
        for (qsizetype i = 0; i < reset.size(); ++i) {
            lines.append(QStringLiteral("reset"));
        }
        return lines;
    }

private:
    QSignalSpy moved;
    QSignalSpy inserted;
    QSignalSpy removed;
    QSignalSpy reset;
};

class PlayListModelTest : public testing::Test {
protected:
    void SetUp() override { fill(); }

    void fill() {
        playList.clear();
        for (const char* name : {"a", "b", "c"}) {
            ASSERT_TRUE(playList.addMusic(track(name)));
        }
    }

    std::u16string track(const std::string& name) {
        const std::filesystem::path file = dir.file(name + ".wav");
        if (!std::filesystem::exists(file)) {
            writeToneFile(file, AudioFormat::Wav, ToneShape{.segments = {ToneSegment{440.0, 0.1}}});
        }
        return file.u16string();
    }

    std::unique_ptr<Music> opened(const std::string& name) {
        auto music = std::make_unique<Music>();
        EXPECT_TRUE(music->open(track(name)));
        return music;
    }

    PlayList::Position at(int row) { return std::next(playList.getList()->begin(), row); }

    static QStringList names(const QAbstractItemModel& model) {
        QStringList shown;
        for (int row = 0; row < model.rowCount(); ++row) {
            shown.append(model.index(row, 0).data().toString().section(QLatin1Char('/'), -1).section('.', 0, 0));
        }
        return shown;
    }

    TempDir dir;
    PlayList playList;
};

TEST_F(PlayListModelTest, EachEditReachesTheViewAsItsRowsWhoeverMakesIt) {
    struct Case {
        const char* what;
        std::function<void()> edit;
        QStringList signal;
        QStringList after;
    };
    const std::vector<Case> cases{
        {"move down",
         [this] {
             const std::scoped_lock lock(playList.mutex);
             playList.getList()->splice(at(3), *playList.getList(), at(1));
         },
         {"moved 1 1 3"},
         {"a", "c", "b"}},
        {"move up",
         [this] {
             const std::scoped_lock lock(playList.mutex);
             playList.getList()->splice(at(0), *playList.getList(), at(2));
         },
         {"moved 2 2 0"},
         {"c", "a", "b"}},
        {"delete",
         [this] {
             auto position = at(1);
             playList.removeMusic(position);
         },
         {"removed 1 1"},
         {"a", "c"}},
        {"insert before",
         [this] {
             const std::scoped_lock lock(playList.mutex);
             playList.getList()->insert(at(0), opened("d"));
         },
         {"inserted 0 0"},
         {"d", "a", "b", "c"}},
        {"insert after",
         [this] { ASSERT_TRUE(playList.addMusic(track("d"))); },
         {"inserted 3 3"},
         {"a", "b", "c", "d"}},
        {"append a batch",
         [this] {
             std::vector<std::unique_ptr<Music>> tracks;
             tracks.push_back(opened("d"));
             tracks.push_back(opened("e"));
             playList.appendTracks(std::move(tracks));
         },
         {"inserted 3 4"},
         {"a", "b", "c", "d", "e"}},
        {"clear", [this] { playList.clear(); }, {"reset"}, {}},
        {"load",
         [this] {
             std::vector<std::unique_ptr<Music>> tracks;
             tracks.push_back(opened("e"));
             tracks.push_back(opened("d"));
             playList.replaceTracks(std::move(tracks));
         },
         {"reset"},
         {"e", "d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fill();
        PlayListModel model;
        model.show(&playList);
        RowSignals heard(model);

        c.edit();
        QCoreApplication::processEvents();

        EXPECT_EQ(heard.told(), c.signal);
        EXPECT_EQ(names(model), c.after);
    }
}

TEST_F(PlayListModelTest, TheManagersSelectionFollowsAnEntryMovedElsewhere) {
    CPlayListManagDlg manager;
    manager.SetPlayList(&playList);
    manager.OnInitDialog();
    auto* view = manager.findChild<QListView*>();
    view->selectionModel()->select(view->model()->index(0, 0), QItemSelectionModel::ClearAndSelect);

    {
        const std::scoped_lock lock(playList.mutex);
        playList.getList()->splice(playList.getList()->end(), *playList.getList(), at(0));
    }
    QCoreApplication::processEvents();

    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front().row(), 2);
    EXPECT_EQ(names(*view->model()), (QStringList{"b", "c", "a"}));
}

} // namespace

} // namespace zalvo
