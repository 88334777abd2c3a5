#include "CZalvoDlg.h"
#include "SettingsGuard.h"
#include "ZalvoDlgAccessible.h"
#include "playlist/AudioConfig.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace zalvo {

namespace {

// The main window whose file dialogs are real modal windows that stay open while `whileOpen` runs,
// as a person would leave one open while a screen reader presses on.
class DialogHoldingWindow final : public CZalvoDlg {
public:
    int dialogsOpened = 0;
    std::function<void()> whileOpen;

protected:
    std::u16string AskFilePath(bool /*open*/) override {
        hold();
        return {};
    }
    QStringList AskFilePaths() override {
        hold();
        return {};
    }

private:
    void hold() {
        ++dialogsOpened;
        QDialog dialog(this);
        QTimer::singleShot(0, &dialog, [this, &dialog] {
            if (whileOpen) {
                whileOpen();
            }
            // The presses are queued calls: they run here, inside the dialog's loop.
            QCoreApplication::processEvents();
            dialog.reject();
        });
        dialog.exec();
    }
};

void press(CZalvoDlg& window, Action action) {
    auto* windowInterface = dynamic_cast<ZalvoDlgAccessible*>(QAccessible::queryAccessibleInterface(&window));
    ASSERT_NE(windowInterface, nullptr);
    QAccessibleActionInterface* button = windowInterface->actionChild(action)->actionInterface();
    button->doAction(button->actionNames().front());
}

TEST(ActionAccessibleTest, PressesWhileADialogOfThePlayerIsOpenGoNoFurtherThanAClick) {
    SettingsGuard settingsGuard;
    DialogHoldingWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const float volume = AudioConfig::getInstance()->getVolume();
    window.whileOpen = [&window] {
        for (const Action action : {ADD_MUSIC, ADD_MUSIC, LOAD_PLAYLIST, SAVE_PLAYLIST, VOLUME_DOWN}) {
            press(window, action);
        }
    };
    press(window, ADD_MUSIC);
    QTRY_COMPARE(window.dialogsOpened, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.dialogsOpened, 1) << "no dialog opened over the first";
    EXPECT_EQ(AudioConfig::getInstance()->getVolume(), volume) << "nothing else ran either";

    window.whileOpen = nullptr;
    press(window, LOAD_PLAYLIST);
    QTRY_COMPARE(window.dialogsOpened, 2);
}

} // namespace

} // namespace zalvo
