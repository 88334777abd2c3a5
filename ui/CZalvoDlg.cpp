#include "CZalvoDlg.h"

#include "Archive.h"
#include "AudioConfig.h"
#include "BackgroundTask.h"
#include "CPlayListManagDlg.h"
#include "DroppedFiles.h"
#include "ErrorBox.h"
#include "LocalPath.h"
#include "PlayListFile.h"
#include "SkinView.h"
#include "TextEncoding.h"
#include "TrackCollector.h"
#include "TrackTags.h"

#include <QApplication>
#include <QCollator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
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
    return QString::fromLatin1(message) + QString::fromStdU16String(TextEncoding::readable(path));
}

// The content is written in full beside the target and then renamed over it, so an existing file is
// either replaced whole or left as it was.
bool writeAtomically(const QString& path, const std::string& bytes) {
    const auto size = static_cast<qint64>(bytes.size());
    QSaveFile file(path);
    // Unbuffered: through Qt's write buffer a short write (a full disk) goes unnoticed and commit would
    // put the truncated file in place. Without commit the temporary file is thrown away.
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes.data(), size) == size &&
           file.commit();
}

bool writePlayListFile(PlayList& playList, const std::u16string& path) {
    std::ostringstream content;
    try {
        Archive archive(content);
        playList.Serialize(archive);
        archive.flush();
    } catch (const std::exception&) {
        return false;
    }
    return writeAtomically(QString::fromStdU16String(path), std::move(content).str());
}

// A folder's audio files, hidden ones left out, in the order a person reads their names ("2" before
// "10"), each subfolder in its place among them. Files that do not open are passed over in silence.
// Listed through the core's names, not QDir's, which would lose the bytes of a name that is not UTF-8.
void addFolder(TrackCollector& collector, const BackgroundTask& task, const QString& folder) {
    struct Entry {
        std::u16string path;
        QString shown;
        bool isFolder = false;
    };
    const std::optional<std::string> native = TextEncoding::toUtf8(folder.toStdU16String());
    if (!native) {
        return;
    }
    std::vector<Entry> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(*native, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code statusError;
        const bool isFolder = it->is_directory(statusError);
        // Hidden files stay out, and so does a link back up the tree, which would never end.
        if (name.starts_with('.') || (isFolder && it->is_symlink(statusError)) ||
            (!isFolder && !it->is_regular_file(statusError))) {
            continue;
        }
        entries.push_back({TextEncoding::fromFileSystem(it->path().string()),
                           QString::fromStdU16String(TextEncoding::readable(TextEncoding::fromFileSystem(name))),
                           isFolder});
    }
    // The C locale's collation compares code points, numeric mode or not.
    const QLocale locale = QLocale::system().language() == QLocale::C ? QLocale(QLocale::English) : QLocale::system();
    QCollator collator(locale);
    collator.setNumericMode(true);
    std::sort(entries.begin(), entries.end(),
              [&collator](const Entry& a, const Entry& b) { return collator.compare(a.shown, b.shown) < 0; });
    for (const Entry& entry : entries) {
        if (task.isCancelled()) {
            return;
        }
        if (entry.isFolder) {
            addFolder(collector, task, QString::fromStdU16String(entry.path));
        } else {
            collector.addAudioFile(entry.path);
        }
    }
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
    // The list is not edited while a load runs: the load's outcome would undo it.
    if (m_runningTask != nullptr) {
        return;
    }
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

void CZalvoDlg::done(int result) {
    if (m_runningTask != nullptr) {
        m_runningTask->cancel();
    }
    m_pendingAdds.clear();
    QDialog::done(result);
}

bool CZalvoDlg::RunTask(BackgroundTask& task, const std::function<void()>& work,
                        const std::function<std::size_t()>& progress) {
    if (m_runningTask != nullptr) {
        return false;
    }
    m_runningTask = &task;
    bool completed = false;
    try {
        completed = task.run(work, progress);
    } catch (...) {
        m_runningTask = nullptr;
        throw;
    }
    m_runningTask = nullptr;
    return completed;
}

void CZalvoDlg::AddFromOutside(const QStringList& paths, bool play) {
    AddTracks(paths, play ? Start::WhenIdle : Start::Never);
}

void CZalvoDlg::PlayFromOutside(const QString& path) {
    AddTracks({path}, Start::Now);
}

void CZalvoDlg::AddTracks(const QStringList& paths, Start start) {
    if (m_runningTask != nullptr) {
        m_pendingAdds.emplace_back(paths, start);
        return;
    }
    BackgroundTask task(this, QStringLiteral("Ajout des morceaux…"));
    TrackCollector collector(task.cancelledFlag());
    QStringList failed;
    QStringList damaged;
    const bool completed = RunTask(
        task,
        [&] {
            for (const QString& path : paths) {
                if (task.isCancelled()) {
                    return;
                }
                if (LocalPath::isFolder(path)) {
                    addFolder(collector, task, path);
                    continue;
                }
                const std::u16string file = path.toStdU16String();
                const TrackCollector::PlayListResult result = collector.addPlayListFile(file);
                if (result.status == ReadStatus::Damaged) {
                    damaged.append(LocalPath::readable(path));
                } else if (result.status == ReadStatus::Ok && result.entries > 0 && result.opened == 0) {
                    failed.append(LocalPath::readable(path));
                } else if ((result.status == ReadStatus::Unrecognised || result.status == ReadStatus::Unreadable) &&
                           !collector.addAudioFile(file)) {
                    failed.append(LocalPath::readable(path));
                }
            }
        },
        [&collector] { return collector.trackCount(); });
    if (completed) {
        std::vector<std::unique_ptr<Music>> tracks = collector.takeTracks();
        const auto added = static_cast<std::ptrdiff_t>(tracks.size());
        m_playList.appendTracks(std::move(tracks));
        if (start != Start::Never && added > 0) {
            const std::scoped_lock lock(m_playList.mutex);
            const Music* playing = m_playList.getCurrent();
            if (start == Start::Now || playing == nullptr || !playing->isPlaying()) {
                PlayList::Position first = std::prev(m_playList.getList()->end(), added);
                m_playList.playAt(first);
            }
        }
        emit playListChanged();
        for (const QString& path : damaged) {
            showErrorBox(this, QStringLiteral("Error - Play list is damaged ! Path : ") + path);
        }
        if (!failed.isEmpty()) {
            showErrorBox(this, QStringLiteral("Error - Music has not been loaded ! Path : ") +
                                   failed.join(QLatin1Char('\n')));
        }
    }
    if (!m_pendingAdds.empty()) {
        QMetaObject::invokeMethod(this, &CZalvoDlg::AddPendingFromOutside, Qt::QueuedConnection);
    }
}

void CZalvoDlg::AddPendingFromOutside() {
    if (m_pendingAdds.empty() || m_runningTask != nullptr) {
        return;
    }
    const auto [paths, start] = std::move(m_pendingAdds.front());
    m_pendingAdds.pop_front();
    AddTracks(paths, start);
}

void CZalvoDlg::LoadPlayList() {
    if (m_runningTask != nullptr) {
        return;
    }
    const std::u16string path = AskFilePath(true);
    if (path.empty()) {
        return;
    }
    BackgroundTask task(this, QStringLiteral("Chargement de la liste de lecture…"));
    TrackCollector collector(task.cancelledFlag());
    TrackCollector::PlayListResult result;
    if (!RunTask(
            task, [&] { result = collector.addPlayListFile(path); }, [&collector] { return collector.trackCount(); })) {
        return;
    }
    switch (result.status) {
    case ReadStatus::Unreadable:
    case ReadStatus::Cancelled:
        return;
    case ReadStatus::Unrecognised:
        // Nothing of the playlist goes before the file shows that it is one.
        showErrorBox(this, withPath("Error - Play list is damaged ! Path : ", path));
        return;
    case ReadStatus::Ok:
        if (result.entries > 0 && result.opened == 0) {
            showErrorBox(this, withPath("Error - Music has not been loaded ! Path : ", path));
            return;
        }
        m_playList.replaceTracks(collector.takeTracks());
        emit playListChanged();
        return;
    case ReadStatus::Damaged:
        // The tracks read before the damage stay, and none is current.
        m_playList.replaceTracks(collector.takeTracks());
        m_playList.setCurrentPosition(m_playList.getList()->end());
        emit playListChanged();
        showErrorBox(this, withPath("Error - Play list is damaged ! Path : ", path));
        return;
    }
}

void CZalvoDlg::SavePlayList() {
    if (m_runningTask != nullptr) {
        return;
    }
    const std::u16string path = AskFilePath(false);
    if (path.empty()) {
        return;
    }
    const bool saved = PlayListFile::formatForName(path) == PlayListFile::Format::Archive
                           ? writePlayListFile(m_playList, path)
                           : WriteTextPlayList(path);
    if (!saved) {
        showErrorBox(this, withPath("Error - Play list has not been saved ! Path : ", path));
    }
}

// Reading every file's title takes a while on a long playlist, so the file is written off the UI thread.
// A cancelled save writes nothing and says nothing.
bool CZalvoDlg::WriteTextPlayList(const std::u16string& path) {
    std::vector<SavedTrack> tracks;
    tracks.reserve(m_playList.getList()->size());
    for (const std::unique_ptr<Music>& track : *m_playList.getList()) {
        // Absolute, so that the file names the track from wherever it is read.
        const QString absolute = LocalPath::absolute(QString::fromStdU16String(track->getPath()));
        tracks.push_back({absolute.toStdU16String(), track->getDuration(), {}});
    }
    const QString target = QString::fromStdU16String(path);
    BackgroundTask task(this, QStringLiteral("Sauvegarde de la liste de lecture…"));
    std::atomic<std::size_t> titled = 0;
    bool written = false;
    const bool completed = RunTask(
        task,
        [&] {
            for (SavedTrack& track : tracks) {
                if (task.isCancelled()) {
                    return;
                }
                track.title = TrackTags::read(track.path).title;
                ++titled;
            }
            std::ostringstream content;
            const std::u16string folder = QFileInfo(target).absolutePath().toStdU16String();
            if (!PlayListFile::write(content, PlayListFile::formatForName(path), tracks, folder)) {
                return;
            }
            written = writeAtomically(target, std::move(content).str());
        },
        [&titled] { return titled.load(); });
    return !completed || written;
}

void CZalvoDlg::OpenPlayListManager() {
    if (m_runningTask != nullptr) {
        return;
    }
    CPlayListManagDlg manager;
    manager.SetPlayList(&m_playList);
    manager.SetMainDlg(this);
    manager.exec();
}
