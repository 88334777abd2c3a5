#include "CZalvoDlg.h"

#include "Archive.h"
#include "AudioConfig.h"
#include "CPlayListManagDlg.h"
#include "DroppedFiles.h"
#include "ErrorBox.h"
#include "PlayListFile.h"
#include "SkinView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <exception>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

// The resources live in a static library: nothing would pull them into the program unless asked for.
static void initResources() {
    Q_INIT_RESOURCE(art);
}

namespace {

constexpr QSize skinSize{500, 500};
constexpr QRect quitButtonGeometry{0, 475, 75, 23};
constexpr int tickMilliseconds = 100;

// PLAY_PAUSE and STOP win the squares they share with REPEAT and SHUFFLE.
constexpr std::array searchOrder{PLAY_PAUSE, STOP,        NEXT,      PREVIOUS,      SHUFFLE,       REPEAT,
                                 VOLUME_UP,  VOLUME_DOWN, ADD_MUSIC, LOAD_PLAYLIST, SAVE_PLAYLIST, MANAGE_PLAYLIST};

// Right and bottom edges are outside the rectangle.
QRect fromEdges(int left, int top, int right, int bottom) {
    return {QPoint(left, top), QPoint(right - 1, bottom - 1)};
}

QIcon loadAppIcon() {
    initResources();
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        icon.addFile(QStringLiteral(":/icons/zalvo-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QString withPath(const char* message, const std::u16string& path) {
    return QString::fromLatin1(message) + QString::fromStdU16String(path);
}

// The content is written in full beside the target and then renamed over it, so an existing file is
// either replaced whole or left as it was.
bool writePlayListFile(PlayList& playList, const std::u16string& path) {
    std::ostringstream content;
    try {
        Archive archive(content);
        playList.Serialize(archive);
        archive.flush();
    } catch (const std::exception&) {
        return false;
    }
    const std::string bytes = std::move(content).str();
    const auto size = static_cast<qint64>(bytes.size());
    QSaveFile file(QString::fromStdU16String(path));
    // Unbuffered: through Qt's write buffer a short write (a full disk) goes unnoticed and commit would
    // put the truncated file in place. Without commit the temporary file is thrown away.
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes.data(), size) == size &&
           file.commit();
}

} // namespace

CZalvoDlg::CZalvoDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_icon(loadAppIcon()) {
    setWindowTitle(QStringLiteral("Zalvo"));
    setFixedSize(skinSize);
    setMouseTracking(true);
    setAcceptDrops(true);

    auto* skin = new SkinView(this);
    skin->setGeometry(QRect(QPoint(0, 0), skinSize));

    m_quitButton = new QPushButton(QStringLiteral("Quitter"), this);
    m_quitButton->setGeometry(quitButtonGeometry);
    m_quitButton->setDefault(true);
    connect(m_quitButton, &QPushButton::clicked, this, &QDialog::accept);
}

CZalvoDlg::~CZalvoDlg() = default;

void CZalvoDlg::showEvent(QShowEvent* event) {
    if (m_actionRects.empty()) {
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CZalvoDlg::OnInitDialog() {
    setWindowIcon(m_icon);
    InitActionRects();
    startTimer(tickMilliseconds);
}

void CZalvoDlg::InitActionRects() {
    m_actionRects[PLAY_PAUSE] = fromEdges(300, 355, 370, 435);
    m_actionRects[STOP] = fromEdges(130, 365, 195, 425);
    m_actionRects[NEXT] = fromEdges(390, 210, 460, 290);
    m_actionRects[PREVIOUS] = fromEdges(40, 210, 105, 290);
    m_actionRects[SHUFFLE] = fromEdges(70, 300, 135, 370);
    m_actionRects[REPEAT] = fromEdges(365, 305, 430, 370);
    m_actionRects[VOLUME_UP] = fromEdges(210, 40, 290, 110);
    m_actionRects[VOLUME_DOWN] = fromEdges(210, 390, 290, 460);
    m_actionRects[ADD_MUSIC] = fromEdges(60, 125, 135, 205);
    m_actionRects[LOAD_PLAYLIST] = fromEdges(135, 65, 205, 140);
    m_actionRects[SAVE_PLAYLIST] = fromEdges(300, 65, 365, 140);
    m_actionRects[MANAGE_PLAYLIST] = fromEdges(365, 130, 435, 205);
}

void CZalvoDlg::HitTest(const QPoint& point) {
    for (const Action action : searchOrder) {
        const auto entry = m_actionRects.find(action);
        if (entry != m_actionRects.end() && entry->second.contains(point)) {
            m_hoveredAction = action;
            return;
        }
    }
    m_hoveredAction = NONE;
}

void CZalvoDlg::DoAction() {
    switch (m_hoveredAction) {
    case PLAY_PAUSE:
        TogglePlayPause();
        break;
    case STOP:
        StopMusic();
        break;
    case NEXT:
        m_playList.next(true);
        break;
    case PREVIOUS:
        m_playList.previous();
        break;
    case REPEAT:
        AudioConfig::getInstance()->toggleRepeat();
        break;
    case SHUFFLE:
        AudioConfig::getInstance()->toggleShuffle();
        break;
    case VOLUME_UP:
        AudioConfig::getInstance()->volumeUp();
        break;
    case VOLUME_DOWN:
        AudioConfig::getInstance()->volumeDown();
        break;
    case ADD_MUSIC:
        AddMusic();
        break;
    case LOAD_PLAYLIST:
        LoadPlayList();
        break;
    case SAVE_PLAYLIST:
        SavePlayList();
        break;
    case MANAGE_PLAYLIST:
        OpenPlayListManager();
        break;
    case NONE:
        break;
    }
    emit playbackMayHaveChanged();
}

void CZalvoDlg::mouseMoveEvent(QMouseEvent* event) {
    // Qt also sends here the moves that "Quitter" ignores and, while a mouse button is held, every move
    // wherever the pointer goes: only moves over the picture count.
    const QPoint point = event->position().toPoint();
    if (rect().contains(point) && !m_quitButton->geometry().contains(point)) {
        OnMouseMove(point);
    }
    QDialog::mouseMoveEvent(event);
}

void CZalvoDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown();
    }
    QDialog::mousePressEvent(event);
}

void CZalvoDlg::timerEvent(QTimerEvent* event) {
    OnTimer();
    QDialog::timerEvent(event);
}

void CZalvoDlg::OnMouseMove(const QPoint& point) {
    HitTest(point);
}

void CZalvoDlg::OnLButtonDown() {
    if (m_hoveredAction != NONE) {
        DoAction();
    }
}

void CZalvoDlg::OnTimer() {
    m_playList.advanceIfFinished();
    emit playbackMayHaveChanged();
}

void CZalvoDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles::paths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CZalvoDlg::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedFiles::paths(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    AddFromOutside(paths, false);
}

void CZalvoDlg::Quit() {
    // Each modal window runs a loop nested in the click that opened it: closing them all lets every
    // loop end, down to the main window's own.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog != nullptr && dialog != this && dialog->isVisible() && dialog->isModal()) {
            dialog->reject();
        }
    }
    accept();
}

void CZalvoDlg::Raise() {
    showNormal();
    raise();
    activateWindow();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
}

std::u16string CZalvoDlg::AskFilePath(bool open) {
    const QString path = open ? QFileDialog::getOpenFileName() : QFileDialog::getSaveFileName();
    return path.toStdU16String();
}

QStringList CZalvoDlg::AskFilePaths() {
    return QFileDialog::getOpenFileNames();
}

void CZalvoDlg::TogglePlayPause() {
    const std::scoped_lock lock(m_playList.mutex);
    if (Music* music = m_playList.getCurrent()) {
        music->playPause();
    }
}

void CZalvoDlg::StopMusic() {
    const std::scoped_lock lock(m_playList.mutex);
    if (Music* music = m_playList.getCurrent()) {
        music->stop();
    }
}

void CZalvoDlg::AddMusic() {
    const QStringList paths = AskFilePaths();
    if (paths.size() > 1) {
        AddFromOutside(paths, false);
        return;
    }
    if (paths.isEmpty() || paths.front().isEmpty()) {
        return;
    }
    const std::u16string path = paths.front().toStdU16String();
    if (!m_playList.addMusic(path)) {
        showErrorBox(this, withPath("Error - Music has not been loaded ! Path : ", path));
    }
}

void CZalvoDlg::AddFromOutside(const QStringList& paths, bool play) {
    std::vector<std::u16string> trackPaths;
    QStringList failed;
    for (const QString& path : paths) {
        // An audio file is no playlist, whatever the playlist reader makes of its bytes.
        if (Music probe; probe.open(path.toStdU16String())) {
            trackPaths.push_back(path.toStdU16String());
            continue;
        }
        const PlayListFile::Contents contents = PlayListFile::read(path.toStdU16String());
        if (contents.status == PlayListFile::Status::Ok || contents.status == PlayListFile::Status::Damaged) {
            trackPaths.insert(trackPaths.end(), contents.paths.begin(), contents.paths.end());
        } else {
            trackPaths.push_back(path.toStdU16String());
        }
    }
    std::vector<std::unique_ptr<Music>> tracks;
    for (const std::u16string& path : trackPaths) {
        auto track = std::make_unique<Music>();
        if (track->open(path)) {
            tracks.push_back(std::move(track));
        } else {
            failed.append(QString::fromStdU16String(path));
        }
    }
    Music* first = tracks.empty() ? nullptr : tracks.front().get();
    m_playList.appendTracks(std::move(tracks));
    if (play && first != nullptr) {
        const Music* playing = m_playList.getCurrent();
        if (playing == nullptr || !playing->isPlaying()) {
            PlayList::Position position = std::find_if(m_playList.getList()->begin(), m_playList.getList()->end(),
                                                       [first](const auto& track) { return track.get() == first; });
            m_playList.playAt(position);
        }
    }
    emit playListChanged();
    if (!failed.isEmpty()) {
        QString message;
        for (const QString& path : failed) {
            message += QStringLiteral("Error - Music has not been loaded ! Path : ") + path + QLatin1Char('\n');
        }
        showErrorBox(this, message.trimmed());
    }
}

void CZalvoDlg::LoadPlayList() {
    const std::u16string path = AskFilePath(true);
    if (path.empty()) {
        return;
    }
    std::ifstream file(QFile::encodeName(QString::fromStdU16String(path)).toStdString(), std::ios::binary);
    if (!file.is_open()) {
        return;
    }
    // The playlist keeps the tracks read before the damage; the player goes on with them.
    try {
        Archive archive(file);
        m_playList.Serialize(archive);
    } catch (const std::exception&) {
        showErrorBox(this, withPath("Error - Play list is damaged ! Path : ", path));
    }
}

void CZalvoDlg::SavePlayList() {
    const std::u16string path = AskFilePath(false);
    if (path.empty()) {
        return;
    }
    if (!writePlayListFile(m_playList, path)) {
        showErrorBox(this, withPath("Error - Play list has not been saved ! Path : ", path));
    }
}

void CZalvoDlg::OpenPlayListManager() {
    CPlayListManagDlg manager;
    manager.SetPlayList(&m_playList);
    manager.SetMainDlg(this);
    manager.exec();
}
