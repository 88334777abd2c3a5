#pragma once

#include "playlist/TrackCollector.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <utility>

class QWidget;

namespace zalvo {

class BackgroundTask;
class PlayList;

// The playlist's files: loads a playlist file in place of the list, saves the list in the format its
// name asks for, and appends what comes from outside (audio files, folders, playlist files). The files
// open off the UI thread, one task at a time. What went wrong is told in a message box over `owner` and
// logged with its cause.
class PlayListFiles final : public QObject {
    Q_OBJECT

public:
    // What a playlist file was read for: to replace the list, or to be appended to it.
    enum class Request { Load, Add };
    // What the user is told about a file; the files of one complaint can share one message.
    enum class Complaint { None, Damaged, NotLoaded, NotSaved };
    // What one read of a playlist file does to the list and tells the user.
    struct Verdict {
        // The tracks read go into the list.
        bool keepTracks = false;
        // The file is no playlist, so it may be an audio file; the complaint holds if it is not one either.
        bool tryAsTrack = false;
        Complaint complaint = Complaint::None;

        bool operator==(const Verdict&) const = default;
    };

    // The one rule for every read of a playlist file.
    static Verdict judge(Request request, const TrackCollector::PlayListResult& result);
    // The message box's text: the complaint's sentence, then the paths one per line.
    static QString message(Complaint complaint, const QStringList& paths);

    PlayListFiles(QWidget* owner, PlayList& playList);
    PlayListFiles(const PlayListFiles&) = delete;
    PlayListFiles& operator=(const PlayListFiles&) = delete;

    // A task runs: the list is not edited meanwhile, since its outcome would undo the edit.
    bool isBusy() const { return m_runningTask != nullptr; }
    // Cancels the task that runs and forgets the additions that wait.
    void cancel();

    // The file's path as the user names it, or empty when the user cancelled.
    using AskPath = std::function<std::u16string()>;

    // Asks for a playlist file and replaces the list with its tracks. Nothing is asked while a task runs.
    void load(const AskPath& askPath);
    // Asks for a file name and writes the list in the format the name asks for.
    void save(const AskPath& askPath);
    // Whether the first track added starts: never, when nothing plays, or in place of what plays.
    enum class Start { Never, WhenIdle, Now };
    // Appends audio files, folders (their audio files, in natural name order) and the tracks of playlist
    // files, starting the first added track as `start` says. Asked while a task runs, it waits for that
    // one to end.
    void add(const QStringList& paths, Start start);
    // Appends one audio file, or says that it does not open.
    void addTrack(const std::u16string& path);

signals:
    // The list changed by a load or an addition.
    void playListChanged();

private:
    // Runs `work` through `task` unless another task runs; false when it did not run to its end.
    bool runTask(BackgroundTask& task, const std::function<void()>& work, const std::function<std::size_t()>& progress);
    bool writeTextPlayList(const std::u16string& path);
    void addPending();
    void tell(Complaint complaint, const QStringList& paths);

    QWidget* m_owner;
    PlayList& m_playList;
    BackgroundTask* m_runningTask = nullptr;
    std::deque<std::pair<QStringList, Start>> m_pendingAdds;
};

} // namespace zalvo
