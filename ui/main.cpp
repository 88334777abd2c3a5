#include "CZalvoApp.h"

int main([[maybe_unused]] int argc, char* argv[]) {
    // The player takes no options: the toolkit sees the program's name only.
    int toolkitArgc = 1;
    CZalvoApp app(toolkitArgc, argv);
    app.InitInstance();
    return 0;
}
