#pragma once

#include <QApplication>
#include <QStringList>

namespace zalvo {

// The player's start-up: prepares the toolkit, hands the files to a player already running on the
// desktop or runs the main window modally, and lets the program end when it closes. Nothing is read at
// start or stored at exit.
class CZalvoApp final : public QApplication {
    Q_OBJECT

public:
    CZalvoApp(int& argc, char** argv);

    // Files named on the command line, added once the window shows.
    void SetFilesToOpen(const QStringList& files) { m_filesToOpen = files; }

    // Always false: there is nothing left to run once the main window has closed.
    bool InitInstance();

private:
    QStringList m_filesToOpen;
};

} // namespace zalvo
