#pragma once

class QString;
class QWidget;

namespace zalvo {

// Shows an error the way the player reports every failure: the application's name as caption,
// the text, one OK button, no icon. Returns when the user closes it.
void showErrorBox(QWidget* owner, const QString& text);

} // namespace zalvo
