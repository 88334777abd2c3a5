#include "ZalvoDlgAccessible.h"

#include "ActionAccessible.h"
#include "CZalvoDlg.h"
#include "SkinView.h"

#include <algorithm>
#include <iterator>

namespace zalvo {

namespace {

// As the icons stand on the ring, clockwise from 12 o'clock.
constexpr std::array<Action, 12> clockwise{VOLUME_UP, SAVE_PLAYLIST, MANAGE_PLAYLIST, NEXT,
                                           REPEAT,    PLAY_PAUSE,    VOLUME_DOWN,     STOP,
                                           SHUFFLE,   PREVIOUS,      ADD_MUSIC,       LOAD_PLAYLIST};

} // namespace

ZalvoDlgAccessible::ZalvoDlgAccessible(CZalvoDlg* window) : QAccessibleWidget(window, QAccessible::Dialog) {
    for (std::size_t index = 0; index < clockwise.size(); ++index) {
        m_actionIds.at(index) =
            QAccessible::registerAccessibleInterface(new ActionAccessible(window, clockwise.at(index)));
    }
}

ZalvoDlgAccessible::~ZalvoDlgAccessible() {
    for (const QAccessible::Id id : m_actionIds) {
        QAccessible::deleteAccessibleInterface(id);
    }
}

QAccessibleInterface* ZalvoDlgAccessible::factory(const QString& /*className*/, QObject* object) {
    auto* window = qobject_cast<CZalvoDlg*>(object);
    return window != nullptr ? new ZalvoDlgAccessible(window) : nullptr;
}

QAccessibleInterface* ZalvoDlgAccessible::actionChild(Action action) const {
    const auto* found = std::find(clockwise.begin(), clockwise.end(), action);
    return found == clockwise.end() ? nullptr : child(static_cast<int>(std::distance(clockwise.begin(), found)));
}

int ZalvoDlgAccessible::childCount() const {
    return static_cast<int>(m_actionIds.size() + static_cast<std::size_t>(controls().size()));
}

QAccessibleInterface* ZalvoDlgAccessible::child(int index) const {
    if (index < 0) {
        return nullptr;
    }
    const auto position = static_cast<std::size_t>(index);
    if (position < m_actionIds.size()) {
        return QAccessible::accessibleInterface(m_actionIds.at(position));
    }
    const QWidgetList widgets = controls();
    const auto control = static_cast<qsizetype>(position - m_actionIds.size());
    return control < widgets.size() ? QAccessible::queryAccessibleInterface(widgets.at(control)) : nullptr;
}

int ZalvoDlgAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (child == nullptr) {
        return -1;
    }
    if (const auto* action = dynamic_cast<const ActionAccessible*>(child)) {
        const auto* found = std::find(clockwise.begin(), clockwise.end(), action->action());
        return static_cast<int>(std::distance(clockwise.begin(), found));
    }
    const qsizetype control = controls().indexOf(qobject_cast<QWidget*>(child->object()));
    return control < 0 ? -1 : static_cast<int>(m_actionIds.size()) + static_cast<int>(control);
}

QAccessibleInterface* ZalvoDlgAccessible::childAt(int x, int y) const {
    const QPoint point = mainWindow()->mapFromGlobal(QPoint(x, y));
    for (QWidget* control : controls()) {
        if (control->geometry().contains(point)) {
            return QAccessible::queryAccessibleInterface(control);
        }
    }
    return actionChild(mainWindow()->ActionAt(point));
}

CZalvoDlg* ZalvoDlgAccessible::mainWindow() const {
    return static_cast<CZalvoDlg*>(widget());
}

QWidgetList ZalvoDlgAccessible::controls() const {
    QWidgetList widgets;
    for (QObject* object : mainWindow()->children()) {
        auto* control = qobject_cast<QWidget*>(object);
        if (control != nullptr && !control->isWindow() && dynamic_cast<SkinView*>(control) == nullptr) {
            widgets.append(control);
        }
    }
    return widgets;
}

} // namespace zalvo
