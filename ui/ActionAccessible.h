#pragma once

#include "Action.h"

#include <QAccessibleActionInterface>
#include <QAccessibleInterface>
#include <QPointer>

namespace zalvo {

class CZalvoDlg;

// One icon of the ring as a screen reader sees it: a named button over the icon's rectangle, pressed
// through the window's own action path. Repeat and shuffle are toggles whose checked state is the setting.
class ActionAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ActionAccessible(CZalvoDlg* window, Action action);

    Action action() const { return m_action; }
    // The button's name, as the ring's icon would be read aloud.
    static QString nameOf(Action action);

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
    QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text /*type*/, const QString& /*text*/) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& /*actionName*/) const override { return {}; }

private:
    bool isToggle() const;

    QPointer<CZalvoDlg> m_window;
    Action m_action;
};

} // namespace zalvo
