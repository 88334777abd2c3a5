#include "CZalvoApp.h"

#include "CZalvoDlg.h"
#include "MprisService.h"
#include "SessionBus.h"
#include "ZalvoDlgAccessible.h"

#include <QTimer>

#include <memory>
#include <optional>

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
        mpris = std::make_unique<MprisService>(dialog.GetPlayList(), dialog);
        mpris->publish(*bus);
        connect(&dialog, &CZalvoDlg::playbackMayHaveChanged, mpris.get(), &MprisService::refresh);
        connect(&dialog, &CZalvoDlg::playListChanged, mpris.get(), &MprisService::refresh);
    }
    if (!m_filesToOpen.isEmpty()) {
        QTimer::singleShot(0, &dialog, [&dialog, files = m_filesToOpen] { dialog.AddFromOutside(files, true); });
    }
    dialog.exec();
    return false;
}
