#include "ErrorBox.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace zalvo {

void showErrorBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace zalvo
