#include "CZalvoApp.h"

#include "CZalvoDlg.h"
#include "MprisService.h"
#include "SessionBus.h"
#include "ZalvoDlgAccessible.h"

#include <memory>
#include <optional>

namespace zalvo {

namespace {

constexpr int handOverAttempts = 3;

} // namespace

CZalvoApp::CZalvoApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Zalvo"));
    setDesktopFileName(QStringLiteral("zalvo"));
    QAccessible::installFactory(&ZalvoDlgAccessible::factory);
}

bool CZalvoApp::InitInstance() {
    // One player per desktop: a second launch gives its files to the first and ends.
    const std::optional<QDBusConnection> bus = SessionBus::connect();
    if (bus && SessionBus::handOver(*bus, m_filesToOpen)) {
        return false;
    }
    CZalvoDlg dialog;
    std::unique_ptr<MprisService> mpris;
    if (bus) {
        mpris = std::make_unique<MprisService>(dialog.GetPlayList(), dialog, dialog.GetShownTrackTags());
        // Launches at the same moment all pass the check above: the bus gives the name to one of them,
        // and the others hand their files to it. One that holds the name may be quitting: then ask again.
        bool ownsName = mpris->publishAsThePlayer(*bus);
        for (int attempt = 0; !ownsName && attempt < handOverAttempts; ++attempt) {
            if (SessionBus::handOver(*bus, m_filesToOpen)) {
                return false;
            }
            ownsName = mpris->publishAsThePlayer(*bus);
        }
        if (!ownsName) {
            mpris->publish(*bus);
        }
        // A quit that still waits for a load to stop leaves the desktop free for the next launch.
        connect(&dialog, &QDialog::finished, mpris.get(), &MprisService::withdraw);
        connect(&dialog, &CZalvoDlg::playbackMayHaveChanged, mpris.get(), &MprisService::refresh);
        connect(&dialog, &CZalvoDlg::playListChanged, mpris.get(), &MprisService::refresh);
    }
    if (!m_filesToOpen.isEmpty()) {
        // Read in the background while the window comes up: the first track starts as soon as the loop
        // runs, rather than after the window's first paint has loaded its fonts.
        dialog.AddFromOutside(m_filesToOpen, true);
    }
    dialog.exec();
    return false;
}

} // namespace zalvo
