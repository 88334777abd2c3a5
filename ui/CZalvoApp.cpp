#include "CZalvoApp.h"

#include "CZalvoDlg.h"

CZalvoApp::CZalvoApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Zalvo"));
    setDesktopFileName(QStringLiteral("zalvo"));
}

bool CZalvoApp::InitInstance() {
    CZalvoDlg dialog;
    dialog.exec();
    return false;
}
