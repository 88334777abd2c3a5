#include "MainWindowKeys.h"

#include "playlist/PlayList.h"

#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <array>
#include <mutex>

namespace zalvo {

namespace {

constexpr float seekSeconds = 5.0F;

struct KeyAction {
    Qt::Key key;
    bool control;
    Action action;
};

// The keys that run an icon's action. "+" takes Shift on most layouts, so Shift is not looked at.
constexpr std::array keyActions{
    KeyAction{Qt::Key_Z, false, PREVIOUS},
    KeyAction{Qt::Key_B, false, NEXT},
    KeyAction{Qt::Key_V, false, STOP},
    KeyAction{Qt::Key_Up, false, VOLUME_UP},
    KeyAction{Qt::Key_Plus, false, VOLUME_UP},
    KeyAction{Qt::Key_Down, false, VOLUME_DOWN},
    KeyAction{Qt::Key_Minus, false, VOLUME_DOWN},
    KeyAction{Qt::Key_R, false, REPEAT},
    KeyAction{Qt::Key_S, false, SHUFFLE},
    KeyAction{Qt::Key_O, true, ADD_MUSIC},
    KeyAction{Qt::Key_L, true, LOAD_PLAYLIST},
    KeyAction{Qt::Key_S, true, SAVE_PLAYLIST},
    KeyAction{Qt::Key_P, true, MANAGE_PLAYLIST},
    // Most keyboards have one play key that sends "play" whether or not a track plays: it toggles.
    KeyAction{Qt::Key_MediaPlay, false, PLAY_PAUSE},
    KeyAction{Qt::Key_MediaTogglePlayPause, false, PLAY_PAUSE},
    KeyAction{Qt::Key_MediaStop, false, STOP},
    KeyAction{Qt::Key_MediaNext, false, NEXT},
    KeyAction{Qt::Key_MediaPrevious, false, PREVIOUS},
};

} // namespace

void MainWindowKeys::watch(QWidget* window, QWidget* button) {
    m_button = button;
    window->installEventFilter(this);
    button->installEventFilter(this);
}

bool MainWindowKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == m_button && (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select)) {
        return true;
    }
    return event->type() == QEvent::KeyPress && press(*key);
}

bool MainWindowKeys::press(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (modifiers != Qt::NoModifier && modifiers != Qt::ControlModifier) {
        return false;
    }
    const bool control = modifiers == Qt::ControlModifier;
    const auto key = static_cast<Qt::Key>(event.key());
    const bool steps = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down ||
                       key == Qt::Key_Plus || key == Qt::Key_Minus;
    const auto run = [&](const std::function<void()>& work) {
        // A held key repeats only the steps of volume and position: toggles and dialogs would flicker.
        if (!event.isAutoRepeat() || steps) {
            work();
        }
        return true;
    };
    const auto* found = std::find_if(keyActions.begin(), keyActions.end(), [key, control](const KeyAction& entry) {
        return entry.key == key && entry.control == control;
    });
    if (found != keyActions.end()) {
        return run([this, found] { m_runAction(found->action); });
    }
    if (control) {
        switch (key) {
        case Qt::Key_U:
            return run(m_openers.address);
        case Qt::Key_V:
            return run(m_openers.paste);
        default:
            return false;
        }
    }
    switch (key) {
    case Qt::Key_X:
        return run([this] { play(); });
    case Qt::Key_C:
    case Qt::Key_MediaPause:
        return run([this] { pauseOrResume(); });
    case Qt::Key_Left:
        return run([this] { seekBy(-seekSeconds); });
    case Qt::Key_Right:
        return run([this] { seekBy(seekSeconds); });
    case Qt::Key_J:
        return run(m_openers.jump);
    default:
        return false;
    }
}

void MainWindowKeys::play() {
    {
        const std::scoped_lock lock(m_playList.mutex);
        const Music* music = m_playList.getCurrent();
        if (music != nullptr && !music->isPlaying()) {
            m_playList.playPause();
        }
    }
    m_moved();
}

void MainWindowKeys::pauseOrResume() {
    {
        const std::scoped_lock lock(m_playList.mutex);
        const Music* music = m_playList.getCurrent();
        if (music != nullptr && !music->isStopped()) {
            m_playList.playPause();
        }
    }
    m_moved();
}

void MainWindowKeys::seekBy(float seconds) {
    {
        const std::scoped_lock lock(m_playList.mutex);
        Music* music = m_playList.getCurrent();
        // A stopped track has no place to move from; past its end it ends, and the next tick moves on.
        if (music != nullptr && !music->isStopped()) {
            music->seek(std::max(0.0F, music->getElapsedTime() + seconds));
        }
    }
    m_moved();
}

} // namespace zalvo
