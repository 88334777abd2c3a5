#pragma once

#include "Action.h"

#include <QAccessibleWidget>

#include <array>

namespace zalvo {

class CZalvoDlg;

// The main window as a screen reader sees it: the twelve icons of the ring as buttons, clockwise from
// 12 o'clock, then "Quitter". The skin itself is left out: it is a picture of those very buttons.
class ZalvoDlgAccessible final : public QAccessibleWidget {
public:
    explicit ZalvoDlgAccessible(CZalvoDlg* window);
    ~ZalvoDlgAccessible() override;
    ZalvoDlgAccessible(const ZalvoDlgAccessible&) = delete;
    ZalvoDlgAccessible& operator=(const ZalvoDlgAccessible&) = delete;

    // For QAccessible::installFactory: this interface for the main window, none for anything else.
    static QAccessibleInterface* factory(const QString& className, QObject* object);

    // The child that stands for an action of the ring.
    QAccessibleInterface* actionChild(Action action) const;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

private:
    CZalvoDlg* mainWindow() const;
    QWidgetList controls() const;

    std::array<QAccessible::Id, 12> m_actionIds{};
};

} // namespace zalvo
