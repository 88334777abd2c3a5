#include "ActionAccessible.h"

#include "CZalvoDlg.h"
#include "playlist/AudioConfig.h"

#include <QMetaObject>

namespace zalvo {

ActionAccessible::ActionAccessible(CZalvoDlg* window, Action action) : m_window(window), m_action(action) {}

QString ActionAccessible::nameOf(Action action) {
    switch (action) {
    case PLAY_PAUSE:
        return QStringLiteral("Lecture / Pause");
    case STOP:
        return QStringLiteral("Arrêt");
    case NEXT:
        return QStringLiteral("Suivant");
    case PREVIOUS:
        return QStringLiteral("Précédent");
    case REPEAT:
        return QStringLiteral("Répéter");
    case SHUFFLE:
        return QStringLiteral("Aléatoire");
    case VOLUME_UP:
        return QStringLiteral("Volume +");
    case VOLUME_DOWN:
        return QStringLiteral("Volume -");
    case ADD_MUSIC:
        return QStringLiteral("Ajouter un morceau");
    case LOAD_PLAYLIST:
        return QStringLiteral("Charger une liste");
    case SAVE_PLAYLIST:
        return QStringLiteral("Enregistrer la liste");
    case MANAGE_PLAYLIST:
        return QStringLiteral("Gérer la liste");
    case NONE:
        break;
    }
    return {};
}

bool ActionAccessible::isValid() const {
    return !m_window.isNull();
}

QWindow* ActionAccessible::window() const {
    return m_window.isNull() ? nullptr : m_window->windowHandle();
}

QAccessibleInterface* ActionAccessible::parent() const {
    return m_window.isNull() ? nullptr : QAccessible::queryAccessibleInterface(m_window.data());
}

QString ActionAccessible::text(QAccessible::Text type) const {
    return type == QAccessible::Name ? nameOf(m_action) : QString();
}

QRect ActionAccessible::rect() const {
    if (m_window.isNull()) {
        return {};
    }
    const auto& rects = m_window->GetActionRects();
    const auto entry = rects.find(m_action);
    if (entry == rects.end()) {
        return {};
    }
    return {m_window->mapToGlobal(entry->second.topLeft()), entry->second.size()};
}

QAccessible::State ActionAccessible::state() const {
    QAccessible::State state;
    state.invisible = m_window.isNull() || !m_window->isVisible();
    if (isToggle()) {
        const AudioConfig* settings = AudioConfig::getInstance();
        state.checkable = true;
        state.checked = m_action == REPEAT ? settings->isRepeat() : settings->isShuffle();
    }
    return state;
}

void* ActionAccessible::interface_cast(QAccessible::InterfaceType type) {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
}

QStringList ActionAccessible::actionNames() const {
    return {isToggle() ? toggleAction() : pressAction()};
}

void ActionAccessible::doAction(const QString& actionName) {
    if (m_window.isNull() || !actionNames().contains(actionName)) {
        return;
    }
    // The press arrives as a call from the screen reader, which waits for its answer: an action that
    // opens a modal window must run once that answer has gone. A press while a modal window of the
    // player is open goes no further than a click on the ring would.
    const Action action = m_action;
    QMetaObject::invokeMethod(
        m_window.data(),
        [window = m_window.data(), action] {
            if (!window->IsHeldByDialog()) {
                window->DoAction(action);
            }
        },
        Qt::QueuedConnection);
}

bool ActionAccessible::isToggle() const {
    return m_action == REPEAT || m_action == SHUFFLE;
}

} // namespace zalvo
