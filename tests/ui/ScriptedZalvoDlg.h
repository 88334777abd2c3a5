#pragma once

#include "CZalvoDlg.h"

#include <QTest>

#include <deque>
#include <string>
#include <vector>

namespace zalvo {

// The main window with its file dialogs answered from a script: each question takes the next answer,
// and an empty answer (or none left) is a cancelled dialog. Where several files can be chosen, an
// answer names them one per line.
class ScriptedZalvoDlg final : public CZalvoDlg {
public:
    std::deque<std::u16string> answers;
    // The `open` flag of every question asked, in order.
    std::vector<bool> questions;

protected:
    std::u16string AskFilePath(bool open) override {
        questions.push_back(open);
        if (answers.empty()) {
            return {};
        }
        std::u16string answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QStringList AskFilePaths() override {
        const QString answer = QString::fromStdU16String(AskFilePath(true));
        return answer.isEmpty() ? QStringList() : answer.split(QLatin1Char('\n'));
    }

    // The address input takes the next answer too; what it offered is kept.
    QString AskAddress(const QString& suggested) override {
        suggestedAddresses.push_back(suggested);
        return QString::fromStdU16String(AskFilePath(true));
    }

public:
    std::vector<QString> suggestedAddresses;
};

// Moves the pointer to a point of the window. Qt drops a move to where the pointer already is, and a
// fresh window can open under the pointer's last place, so the pointer comes from a pixel away.
inline void pointAt(CZalvoDlg& window, QPoint point) {
    QTest::mouseMove(&window, point + QPoint(0, 1));
    QTest::mouseMove(&window, point);
}

// Moves the pointer onto an action's icon and clicks, as a person would.
inline void clickAction(CZalvoDlg& window, Action action) {
    const QPoint centre = window.GetActionRects().at(action).center();
    pointAt(window, centre);
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, centre);
}

} // namespace zalvo
