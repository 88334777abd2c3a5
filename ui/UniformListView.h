#pragma once

#include <QAccessible>
#include <QListView>

namespace zalvo {

// A list view of one-line rows of one height whose place is their number times that height, so that
// showing, editing or scrolling a list of a million rows costs only the rows on screen. QListView lays
// every row out again after each insertion, removal or move; this view never runs that layout, and
// replaces each of QListView's methods that would read it. It stays a QListView for the screen reader,
// which presents it as a list.
class UniformListView final : public QListView {
    Q_OBJECT

public:
    explicit UniformListView(QWidget* parent = nullptr);

    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    int rows() const;
    int topRow() const;
    // The rows wholly inside the viewport, at least one.
    int rowsShown() const;
    // The row under a point of the viewport, which may lie past the last.
    int rowAt(int y) const;
    QModelIndex indexOfRow(int row) const;
    void tellScreenReader(QAccessible::Event kind, const QModelIndex& index);

    int rowHeight = 1;
};

} // namespace zalvo
