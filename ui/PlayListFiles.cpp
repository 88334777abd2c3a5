#include "PlayListFiles.h"

#include "BackgroundTask.h"
#include "ErrorBox.h"
#include "LocalPath.h"
#include "LogCategories.h"
#include "base/StreamUrl.h"
#include "base/TextEncoding.h"
#include "formats/Archive.h"
#include "formats/PlayListFile.h"
#include "playlist/CueSheetFile.h"
#include "playlist/PlayList.h"
#include "playlist/StationPlayList.h"
#include "tags/TrackTags.h"
#include "tags/TrackTagsOnce.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <variant>
#include <vector>

namespace zalvo {

namespace {

QString fromPath(const std::u16string& path) {
    return QString::fromStdU16String(path);
}

// The path as the user reads it: a name that is not UTF-8 shows its bytes as Windows-1252.
QString shown(const std::u16string& path) {
    return QString::fromStdU16String(TextEncoding::readable(path));
}

// Why a file did not open, as far as its directory entry tells; `otherwise` when it looks fine.
QString causeOf(const QString& path, const char* otherwise) {
    if (!LocalPath::exists(path)) {
        return QStringLiteral("no such file");
    }
    if (!LocalPath::isFile(path)) {
        return QStringLiteral("not a regular file");
    }
    if (!LocalPath::isReadable(path)) {
        return QStringLiteral("permission denied");
    }
    return QString::fromLatin1(otherwise);
}

// Once per read of a playlist file, on whatever thread read it.
void logRead(const QString& file, const TrackCollector::PlayListResult& result) {
    const QString path = LocalPath::readable(file);
    const std::size_t skipped = result.entries - result.opened;
    switch (result.status) {
    case ReadStatus::Ok:
        if (result.entries > 0 && result.opened == 0) {
            qCWarning(lcUi).noquote() << QStringLiteral("%1 not loaded: read as a playlist, none of its %2 entries is "
                                                        "a local file that opens")
                                             .arg(path)
                                             .arg(result.entries);
        } else if (skipped > 0) {
            qCWarning(lcUi).noquote() << QStringLiteral("Playlist %1: %2 of its %3 entries skipped, not local or not "
                                                        "opening")
                                             .arg(path)
                                             .arg(skipped)
                                             .arg(result.entries);
        } else {
            qCDebug(lcUi).noquote() << QStringLiteral("Playlist %1: %2 tracks").arg(path).arg(result.opened);
        }
        return;
    case ReadStatus::Damaged:
        qCWarning(lcUi).noquote()
            << QStringLiteral("Playlist %1 is damaged: it breaks off after %2 entries").arg(path).arg(result.entries);
        return;
    case ReadStatus::Unrecognised:
        qCWarning(lcUi).noquote() << QStringLiteral("Playlist %1 not loaded: %2")
                                         .arg(path, causeOf(file, "no playlist format the player reads"));
        return;
    case ReadStatus::Unreadable:
        qCWarning(lcUi).noquote()
            << QStringLiteral("Playlist %1 not loaded: %2").arg(path, causeOf(file, "it does not open"));
        return;
    case ReadStatus::Cancelled:
        qCDebug(lcUi).noquote() << QStringLiteral("Playlist %1: reading cancelled").arg(path);
        return;
    }
}

void logNotAdded(const QString& path) {
    qCWarning(lcUi).noquote() << QStringLiteral("Not added: %1: %2")
                                     .arg(LocalPath::readable(path), causeOf(path, "no audio the player decodes"));
}

bool notSaved(const QString& path, const QString& cause) {
    qCWarning(lcUi).noquote() << QStringLiteral("Playlist %1 not saved: %2").arg(path, cause);
    return false;
}

// The content is written in full beside the target and then renamed over it, so an existing file is
// either replaced whole or left as it was.
bool writeAtomically(const QString& path, const std::string& bytes) {
    const auto size = static_cast<qint64>(bytes.size());
    QSaveFile file(path);
    // Unbuffered: through Qt's write buffer a short write (a full disk) goes unnoticed and commit would
    // put the truncated file in place. Without commit the temporary file is thrown away.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes.data(), size) == size &&
        file.commit()) {
        return true;
    }
    return notSaved(path, file.errorString());
}

bool writeArchive(PlayList& playList, const std::u16string& path) {
    std::ostringstream content;
    try {
        Archive archive(content);
        playList.Serialize(archive);
        archive.flush();
    } catch (const std::exception& error) {
        return notSaved(shown(path), QString::fromUtf8(error.what()));
    }
    return writeAtomically(fromPath(path), std::move(content).str());
}

// A name in a folder, as the folder lists it.
struct FolderEntry {
    std::u16string path;
    QString shown;
    bool isFolder = false;
};

std::string normalPath(const std::u16string& path) {
    return std::filesystem::path(TextEncoding::toUtf8(path).value_or(std::string())).lexically_normal().string();
}

// The audio files the folder's cue sheets cut into tracks: an album ripped to one file lists as its
// sheet's tracks only.
std::set<std::string> coveredBySheets(const std::vector<FolderEntry>& entries) {
    std::set<std::string> covered;
    for (const FolderEntry& entry : entries) {
        if (entry.isFolder || !entry.shown.endsWith(QStringLiteral(".cue"), Qt::CaseInsensitive)) {
            continue;
        }
        const auto sheet = CueSheetFile::read(entry.path);
        if (const auto* tracks = std::get_if<std::vector<CueSheetFile::Located>>(&sheet)) {
            for (const CueSheetFile::Located& track : *tracks) {
                covered.insert(normalPath(track.audio));
            }
        }
    }
    return covered;
}

// A folder's audio files, hidden ones left out, in the order a person reads their names ("2" before
// "10"), each subfolder in its place among them. Files that do not open are passed over: a folder holds
// covers and notes beside its tracks.
void addFolder(TrackCollector& collector, const BackgroundTask& task, const QString& folder) {
    // Listed through the core's names, not QDir's, which would lose the bytes of a name that is not UTF-8.
    const std::optional<std::string> native = TextEncoding::toUtf8(folder.toStdU16String());
    if (!native) {
        return;
    }
    std::vector<FolderEntry> entries;
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
    std::sort(entries.begin(), entries.end(), [&collator](const FolderEntry& a, const FolderEntry& b) {
        return collator.compare(a.shown, b.shown) < 0;
    });
    const std::set<std::string> covered = coveredBySheets(entries);
    for (const FolderEntry& entry : entries) {
        if (task.isCancelled()) {
            return;
        }
        if (!entry.isFolder && covered.contains(normalPath(entry.path))) {
            continue;
        }
        if (entry.isFolder) {
            addFolder(collector, task, QString::fromStdU16String(entry.path));
        } else if (!collector.addAudioFile(entry.path)) {
            qCDebug(lcUi).noquote() << QStringLiteral("Skipped in a folder, no audio: %1").arg(shown(entry.path));
        }
    }
}

// Collects the tracks one path from outside names; what the user is to be told about it.
PlayListFiles::Complaint collect(TrackCollector& collector, const BackgroundTask& task, const QString& path) {
    if (LocalPath::isFolder(path)) {
        addFolder(collector, task, path);
        return PlayListFiles::Complaint::None;
    }
    const std::u16string file = path.toStdU16String();
    // Unless its name says it is a playlist, what plays is a track: tried first, it is spared the
    // playlist readers' opening of the file.
    const bool namedAsPlayList = StreamUrl::isStream(file)
                                     ? StationPlayList::named(file)
                                     : PlayListFile::formatForName(file) != PlayListFile::Format::Archive;
    if (!namedAsPlayList && collector.addAudioFile(file)) {
        return PlayListFiles::Complaint::None;
    }
    const TrackCollector::PlayListResult result = collector.addPlayListFile(file);
    // What was read stays in the collector: a verdict that keeps no tracks comes of a read that opened none.
    const PlayListFiles::Verdict verdict = PlayListFiles::judge(PlayListFiles::Request::Add, result);
    if (!verdict.tryAsTrack) {
        logRead(path, result);
        return verdict.complaint;
    }
    if (namedAsPlayList && collector.addAudioFile(file)) {
        return PlayListFiles::Complaint::None;
    }
    logNotAdded(path);
    return verdict.complaint;
}

void appendTracks(PlayList& playList, std::vector<std::unique_ptr<Music>> tracks, PlayListFiles::Start start) {
    const auto added = static_cast<std::ptrdiff_t>(tracks.size());
    playList.appendTracks(std::move(tracks));
    if (start == PlayListFiles::Start::Never || added == 0) {
        return;
    }
    const std::scoped_lock lock(playList.mutex);
    const Music* playing = playList.getCurrent();
    if (start == PlayListFiles::Start::Now || playing == nullptr || !playing->isPlaying()) {
        auto first = std::prev(playList.getList()->end(), added);
        playList.playAt(first);
    }
}

} // namespace

PlayListFiles::Verdict PlayListFiles::judge(Request request, const TrackCollector::PlayListResult& result) {
    switch (result.status) {
    case ReadStatus::Ok:
        // A playlist none of whose entries opens would only empty the list.
        if (result.entries > 0 && result.opened == 0) {
            return {false, false, Complaint::NotLoaded};
        }
        return {true, false, Complaint::None};
    case ReadStatus::Damaged:
        // The tracks read before the damage stay.
        return {true, false, Complaint::Damaged};
    case ReadStatus::Unrecognised:
        // Asked for a playlist, the user gave something that is none.
        return request == Request::Load ? Verdict{false, false, Complaint::Damaged}
                                        : Verdict{false, true, Complaint::NotLoaded};
    case ReadStatus::Unreadable:
        // A playlist that does not open ends the load in silence, as a cancelled file dialog does.
        return request == Request::Load ? Verdict{} : Verdict{false, true, Complaint::NotLoaded};
    case ReadStatus::Cancelled:
        return {};
    }
    return {};
}

QString PlayListFiles::message(Complaint complaint, const QStringList& paths) {
    switch (complaint) {
    case Complaint::None:
        return {};
    case Complaint::Damaged:
        return QStringLiteral("Error - Play list is damaged ! Path : ") + paths.join(QLatin1Char('\n'));
    case Complaint::NotLoaded:
        return QStringLiteral("Error - Music has not been loaded ! Path : ") + paths.join(QLatin1Char('\n'));
    case Complaint::NotSaved:
        return QStringLiteral("Error - Play list has not been saved ! Path : ") + paths.join(QLatin1Char('\n'));
    }
    return {};
}

PlayListFiles::PlayListFiles(QWidget* owner, PlayList& playList) : m_owner(owner), m_playList(playList) {}

void PlayListFiles::cancel() {
    if (m_runningTask != nullptr) {
        m_runningTask->cancel();
    }
    m_pendingAdds.clear();
}

bool PlayListFiles::runTask(BackgroundTask& task, const std::function<void()>& work,
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

void PlayListFiles::tell(Complaint complaint, const QStringList& paths) {
    if (complaint != Complaint::None && !paths.isEmpty()) {
        showErrorBox(m_owner, message(complaint, paths));
    }
}

void PlayListFiles::load(const AskPath& askPath) {
    if (m_runningTask != nullptr) {
        return;
    }
    const std::u16string path = askPath();
    if (path.empty()) {
        return;
    }
    BackgroundTask task(m_owner, QStringLiteral("Chargement de la liste de lecture…"));
    TrackCollector collector(task.cancelledFlag());
    TrackCollector::PlayListResult result;
    if (!runTask(
            task, [&] { result = collector.addPlayListFile(path); }, [&collector] { return collector.trackCount(); })) {
        return;
    }
    const QString name = shown(path);
    logRead(fromPath(path), result);
    const Verdict verdict = judge(Request::Load, result);
    if (verdict.keepTracks) {
        m_playList.replaceTracks(collector.takeTracks());
        if (result.status == ReadStatus::Damaged) {
            // Nothing is current after a damaged load: what the list starts with may be cut short.
            m_playList.setCurrentPosition(m_playList.getList()->end());
        }
        emit playListChanged();
    }
    tell(verdict.complaint, {name});
}

void PlayListFiles::add(const QStringList& paths, Start start) {
    if (m_runningTask != nullptr) {
        m_pendingAdds.emplace_back(paths, start);
        return;
    }
    BackgroundTask task(m_owner, QStringLiteral("Ajout des morceaux…"));
    TrackCollector collector(task.cancelledFlag());
    QStringList damaged;
    QStringList notLoaded;
    const bool completed = runTask(
        task,
        [&] {
            for (const QString& path : paths) {
                if (task.isCancelled()) {
                    return;
                }
                const Complaint complaint = collect(collector, task, path);
                if (complaint == Complaint::Damaged) {
                    damaged.append(LocalPath::readable(path));
                } else if (complaint == Complaint::NotLoaded) {
                    notLoaded.append(LocalPath::readable(path));
                }
            }
        },
        [&collector] { return collector.trackCount(); });
    if (completed) {
        appendTracks(m_playList, collector.takeTracks(), start);
        emit playListChanged();
        for (const QString& path : damaged) {
            tell(Complaint::Damaged, {path});
        }
        tell(Complaint::NotLoaded, notLoaded);
    }
    if (!m_pendingAdds.empty()) {
        QMetaObject::invokeMethod(this, &PlayListFiles::addPending, Qt::QueuedConnection);
    }
}

void PlayListFiles::addPending() {
    if (m_pendingAdds.empty() || m_runningTask != nullptr) {
        return;
    }
    const auto [paths, start] = std::move(m_pendingAdds.front());
    m_pendingAdds.pop_front();
    add(paths, start);
}

void PlayListFiles::addTrack(const std::u16string& path) {
    if (!m_playList.addMusic(path)) {
        logNotAdded(fromPath(path));
        tell(Complaint::NotLoaded, {shown(path)});
    }
}

void PlayListFiles::save(const AskPath& askPath) {
    if (m_runningTask != nullptr) {
        return;
    }
    const std::u16string path = askPath();
    if (path.empty()) {
        return;
    }
    const bool saved = PlayListFile::formatForName(path) == PlayListFile::Format::Archive
                           ? writeArchive(m_playList, path)
                           : writeTextPlayList(path);
    if (!saved) {
        tell(Complaint::NotSaved, {shown(path)});
    }
}

// Reading every file's title takes a while on a long playlist, so the file is written off the UI thread.
// A cancelled save writes nothing and says nothing.
bool PlayListFiles::writeTextPlayList(const std::u16string& path) {
    // A title read costs about 80 µs, opening a track at its load a few: past this many entries only the
    // titles already known are written, so that saving a whole library takes no longer than loading it.
    constexpr std::size_t titlesReadUpTo = 10'000;
    const bool readTitles = m_playList.getList()->size() <= titlesReadUpTo;
    std::vector<SavedTrack> tracks;
    // The tags of tracks already read for playing or showing them are not read again.
    std::vector<std::shared_ptr<const TrackTagsOnce>> knownTags;
    tracks.reserve(m_playList.getList()->size());
    knownTags.reserve(m_playList.getList()->size());
    for (const std::unique_ptr<Music>& track : *m_playList.getList()) {
        // Absolute, so that the file names the track from wherever it is read.
        const QString absolute = LocalPath::absolute(QString::fromStdU16String(track->getEntry()));
        tracks.push_back({absolute.toStdU16String(), track->getDuration(), {}});
        // A cue track's title is its sheet's, which its tags hold.
        knownTags.push_back(track->getCueTrack() != nullptr ? track->getTags() : track->knownTags());
    }
    const QString target = fromPath(path);
    BackgroundTask task(m_owner, QStringLiteral("Sauvegarde de la liste de lecture…"));
    std::atomic<std::size_t> titled = 0;
    bool written = false;
    const bool completed = runTask(
        task,
        [&] {
            for (std::size_t index = 0; index < tracks.size(); ++index) {
                if (task.isCancelled()) {
                    return;
                }
                SavedTrack& track = tracks[index];
                const TrackTagsOnce* const known = knownTags[index].get();
                if (readTitles) {
                    track.title = known != nullptr ? known->get().title : TrackTags::read(track.path).title;
                } else if (const TrackTags* const read = known != nullptr ? known->ifRead() : nullptr) {
                    track.title = read->title;
                }
                ++titled;
            }
            std::ostringstream content;
            const std::u16string folder = QFileInfo(target).absolutePath().toStdU16String();
            if (!PlayListFile::write(content, PlayListFile::formatForName(path), tracks, folder)) {
                notSaved(target, QStringLiteral("its text could not be written"));
                return;
            }
            written = writeAtomically(target, std::move(content).str());
        },
        [&titled] { return titled.load(); });
    if (!completed) {
        qCDebug(lcUi).noquote() << QStringLiteral("Playlist %1: saving cancelled").arg(target);
    }
    return !completed || written;
}

} // namespace zalvo
