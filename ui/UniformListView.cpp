#include "UniformListView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace zalvo {

UniformListView::UniformListView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    // The scroll bar counts rows, so that its range stays small however long the list.
    setVerticalScrollMode(ScrollPerItem);
}

int UniformListView::rows() const {
    return model() != nullptr ? model()->rowCount(rootIndex()) : 0;
}

int UniformListView::topRow() const {
    return verticalScrollBar()->value();
}

int UniformListView::rowsShown() const {
    return std::max(1, viewport()->height() / rowHeight);
}

int UniformListView::rowAt(int y) const {
    // Rounded down, so that a point above the first row lies before it.
    const int offset = y >= 0 ? y / rowHeight : (y - rowHeight + 1) / rowHeight;
    return topRow() + offset;
}

QModelIndex UniformListView::indexOfRow(int row) const {
    return model() != nullptr ? model()->index(row, modelColumn(), rootIndex()) : QModelIndex();
}

QRect UniformListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.parent() != rootIndex() || index.column() != modelColumn()) {
        return {};
    }
    return {0, (index.row() - topRow()) * rowHeight, viewport()->width(), rowHeight};
}

QModelIndex UniformListView::indexAt(const QPoint& point) const {
    const int row = rowAt(point.y());
    if (point.x() < 0 || point.x() >= viewport()->width() || row < 0 || row >= rows()) {
        return {};
    }
    return indexOfRow(row);
}

void UniformListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid()) {
        return;
    }
    const int row = index.row();
    const int shown = rowsShown();
    int top = topRow();
    switch (hint) {
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - shown + 1;
        break;
    case PositionAtCenter:
        top = row - shown / 2;
        break;
    case EnsureVisible:
        if (row < top) {
            top = row;
        } else if (row >= top + shown) {
            top = row - shown + 1;
        }
        break;
    }
    verticalScrollBar()->setValue(top);
}

void UniformListView::doItemsLayout() {
    const QModelIndex first = indexOfRow(0);
    rowHeight = std::max(1, first.isValid() ? sizeHintForIndex(first).height() : fontMetrics().height());
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): QListView's would lay every row out.
    QAbstractItemView::doItemsLayout();
}

void UniformListView::updateGeometries() {
    const int shown = rowsShown();
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(1);
    bar->setPageStep(shown);
    bar->setRange(0, std::max(0, rows() - shown));
    horizontalScrollBar()->setRange(0, 0);
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): QListView's would size the scroll bars from its layout.
    QAbstractItemView::updateGeometries();
}

void UniformListView::resizeEvent(QResizeEvent* event) {
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): QListView's may schedule its layout.
    QAbstractItemView::resizeEvent(event);
}

void UniformListView::scrollContentsBy(int dx, int dy) {
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): QListView's reads its layout.
    QAbstractItemView::scrollContentsBy(dx, dy * rowHeight);
}

int UniformListView::horizontalOffset() const {
    return 0;
}

int UniformListView::verticalOffset() const {
    return topRow() * rowHeight;
}

QModelIndex UniformListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers /*modifiers*/) {
    const int count = rows();
    if (count == 0) {
        return {};
    }
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        return indexOfRow(0);
    }
    int row = current.row();
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= rowsShown();
        break;
    case MovePageDown:
        row += rowsShown();
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = count - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break;
    }
    return indexOfRow(std::clamp(row, 0, count - 1));
}

void UniformListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    const int first = std::max(0, rowAt(rect.top()));
    const int last = std::min(rows() - 1, rowAt(rect.bottom()));
    QItemSelection chosen;
    if (first <= last && rect.right() >= 0 && rect.left() < viewport()->width()) {
        chosen.select(indexOfRow(first), indexOfRow(last));
    }
    selectionModel()->select(chosen, command);
}

QRegion UniformListView::visualRegionForSelection(const QItemSelection& selection) const {
    const int top = topRow();
    const int bottom = top + rowsShown();
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex() || range.left() > modelColumn() || range.right() < modelColumn()) {
            continue;
        }
        const int first = std::max(range.top(), top);
        const int last = std::min(range.bottom(), bottom);
        if (first <= last) {
            region += QRect(0, (first - top) * rowHeight, viewport()->width(), (last - first + 1) * rowHeight);
        }
    }
    return region;
}

void UniformListView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const QModelIndex current = currentIndex();
    const bool focused = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const int last = std::min(rows() - 1, rowAt(event->rect().bottom()));
    for (int row = std::max(0, rowAt(event->rect().top())); row <= last; ++row) {
        const QModelIndex index = indexOfRow(row);
        option.rect = visualRect(index);
        option.state = state;
        if (selectionModel() != nullptr && selectionModel()->isSelected(index)) {
            option.state |= QStyle::State_Selected;
        }
        if ((model()->flags(index) & Qt::ItemIsEnabled) == 0) {
            option.state &= ~QStyle::State_Enabled;
        }
        option.palette.setCurrentColorGroup((option.state & QStyle::State_Enabled) != 0 ? QPalette::Normal
                                                                                        : QPalette::Disabled);
        if (focused && index == current) {
            option.state |= QStyle::State_HasFocus;
        }
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void UniformListView::tellScreenReader(QAccessible::Event kind, const QModelIndex& index) {
    if (QAccessible::isActive() && index.isValid()) {
        // A list's rows are its children in order.
        QAccessibleEvent event(this, kind);
        event.setChild(index.row());
        QAccessible::updateAccessibility(&event);
    }
}

void UniformListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    tellScreenReader(QAccessible::Focus, current);
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): QListView's tells the screen reader from its layout.
    QAbstractItemView::currentChanged(current, previous);
}

void UniformListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    // The first row of each, as QListView tells.
    const auto firstOf = [](const QItemSelection& rows) {
        return rows.isEmpty() ? QModelIndex() : QModelIndex(rows.front().topLeft());
    };
    tellScreenReader(QAccessible::SelectionAdd, firstOf(selected));
    tellScreenReader(QAccessible::SelectionRemove, firstOf(deselected));
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): QListView's tells the screen reader from its layout.
    QAbstractItemView::selectionChanged(selected, deselected);
}

} // namespace zalvo
