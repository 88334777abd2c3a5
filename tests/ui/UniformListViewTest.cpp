#include "UniformListView.h"

#include <QAbstractListModel>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zalvo {

namespace {

// Rows named by their first number, however many and wherever they are removed.
class NumberedRows final : public QAbstractListModel {
public:
    explicit NumberedRows(int count) : count(count) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : count; }
    QVariant data(const QModelIndex& index, int role) const override {
        return role == Qt::DisplayRole ? QVariant(QString::number(index.row())) : QVariant();
    }
    void removeOne(int row) {
        beginRemoveRows({}, row, row);
        --count;
        endRemoveRows();
    }

private:
    int count;
};

class UniformListViewTest : public testing::Test {
protected:
    void SetUp() override { show(1'000'000); }

    void show(int rows) {
        model = std::make_unique<NumberedRows>(rows);
        view.setModel(model.get());
        view.resize(300, 200);
        view.show();
        QCoreApplication::processEvents();
    }

    QModelIndex row(int number) const { return model->index(number, 0); }
    bool inView(int number) const { return view.viewport()->rect().contains(view.visualRect(row(number))); }

    UniformListView view;
    std::unique_ptr<NumberedRows> model;
};

TEST_F(UniformListViewTest, ARowScrolledToIsWhollyShownAndFoundUnderItsPlace) {
    struct Case {
        int row;
        QAbstractItemView::ScrollHint hint;
    };
    const std::vector<Case> cases{
        {0, QAbstractItemView::PositionAtTop},          {500'000, QAbstractItemView::EnsureVisible},
        {499'990, QAbstractItemView::EnsureVisible},    {700'000, QAbstractItemView::PositionAtCenter},
        {999'999, QAbstractItemView::PositionAtBottom}, {999'999, QAbstractItemView::PositionAtTop}};
    for (const auto& [number, hint] : cases) {
        view.scrollTo(row(number), hint);
        EXPECT_TRUE(inView(number)) << number;
        EXPECT_EQ(view.indexAt(view.visualRect(row(number)).center()), row(number)) << number;
    }
    EXPECT_FALSE(view.indexAt(view.viewport()->rect().bottomLeft() + QPoint(0, 1)).isValid());
}

TEST_F(UniformListViewTest, KeysMoveTheCurrentRowAndKeepItShown) {
    const int page = view.viewport()->height() / view.visualRect(row(0)).height();
    struct Case {
        Qt::Key key;
        int from;
        int to;
    };
    const std::vector<Case> cases{
        {Qt::Key_Down, 41, 42},    {Qt::Key_Up, 0, 0},         {Qt::Key_PageDown, 10, 10 + page},
        {Qt::Key_End, 3, 999'999}, {Qt::Key_Home, 999'999, 0}, {Qt::Key_PageUp, 999'999, 999'999 - page}};
    for (const auto& [key, from, to] : cases) {
        view.setCurrentIndex(row(from));
        QTest::keyClick(&view, key);
        EXPECT_EQ(view.currentIndex().row(), to) << from;
        EXPECT_TRUE(inView(to)) << from;
    }
}

TEST_F(UniformListViewTest, ARowRemovedAboveLeavesTheViewWhereItWasAndTheCurrentOnItsRow) {
    view.scrollTo(row(600'000), QAbstractItemView::PositionAtTop);
    view.setCurrentIndex(row(600'003));
    model->removeOne(10);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.verticalScrollBar()->value(), 600'000);
    EXPECT_EQ(view.currentIndex().row(), 600'002);
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 999'999 - view.verticalScrollBar()->pageStep());
}

TEST_F(UniformListViewTest, AClickSelectsTheRowUnderItAndBelowTheLastSelectsNothing) {
    show(3);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(row(1)).center());
    EXPECT_EQ(view.selectionModel()->selectedIndexes(), QModelIndexList{row(1)});
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.viewport()->rect().bottomLeft());
    EXPECT_TRUE(view.selectionModel()->selectedIndexes().isEmpty());
}

} // namespace

} // namespace zalvo
