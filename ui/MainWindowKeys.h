#pragma once

#include "Action.h"

#include <QObject>

#include <functional>
#include <utility>

class QKeyEvent;
class QWidget;

namespace zalvo {

class PlayList;

// The main window's keys: each runs an icon's action, or one of the moves the icons lack (play without
// pausing, pause or resume without starting, moving within the track, jumping to a track found by name,
// adding a station's address, pasting what was copied).
class MainWindowKeys final : public QObject {
    Q_OBJECT

public:
    // What the keys open or take in rather than run on the playlist.
    struct Openers {
        // J: the jump to a track.
        std::function<void()> jump;
        // Ctrl+U: the input of a station's address.
        std::function<void()> address;
        // Ctrl+V: the files or the address the clipboard holds.
        std::function<void()> paste;
    };

    // `runAction` runs an icon's action; `moved` follows every other move.
    MainWindowKeys(PlayList& playList, std::function<void(Action)> runAction, std::function<void()> moved,
                   Openers openers)
        : m_playList(playList), m_runAction(std::move(runAction)), m_moved(std::move(moved)),
          m_openers(std::move(openers)) {}

    // Takes the keys that reach `window`, and those that reach its `button` first, since the button holds
    // the focus. Space, which would press the button, does nothing.
    void watch(QWidget* window, QWidget* button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // False when the key is not one of the window's.
    bool press(const QKeyEvent& event);
    void play();
    void pauseOrResume();
    void seekBy(float seconds);

    PlayList& m_playList;
    std::function<void(Action)> m_runAction;
    std::function<void()> m_moved;
    Openers m_openers;
    QObject* m_button = nullptr;
};

} // namespace zalvo
