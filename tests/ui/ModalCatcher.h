#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <vector>

namespace zalvo {

// Stands in for the person in front of modal windows: every message box that comes up is recorded
// and closed with its OK button; any other modal window is handed to `onOtherModal`.
class ModalCatcher final {
public:
    struct Box {
        QString caption;
        QString text;
        qsizetype buttonCount = 0;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    ModalCatcher() {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(pollMilliseconds);
    }

    std::vector<Box> boxes;
    // Message boxes stay open until this holds.
    std::function<bool()> closeWhen;
    std::function<void(QWidget*)> onOtherModal;

private:
    static constexpr int pollMilliseconds = 10;

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            if (onOtherModal) {
                onOtherModal(modal);
            }
            return;
        }
        if (closeWhen && !closeWhen()) {
            return;
        }
        boxes.push_back({box->windowTitle(), box->text(), box->buttons().size(), box->icon()});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
        } else {
            box->reject();
        }
    }

    QTimer timer;
};

} // namespace zalvo
