#pragma once

#include <QApplication>

// The player's start-up: prepares the toolkit, runs the main window modally and lets the program end
// when it closes. Nothing is read at start or stored at exit.
class CZalvoApp final : public QApplication {
    Q_OBJECT

public:
    CZalvoApp(int& argc, char** argv);

    // Always false: there is nothing left to run once the main window has closed.
    bool InitInstance();
};
