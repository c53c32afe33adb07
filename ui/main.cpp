// vexlo: the desktop program. It works in the directory it is started in.
#include <QApplication>
#include <cstdio>

#include "core/app_dirs.h"
#include "ui/image_list.h"
#include "ui/vx_app.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("vexlo");
    QApplication::setApplicationDisplayName("Vexlo");
    QApplication::setApplicationVersion(VEXLO_VERSION);
    QApplication::setWindowIcon(vexlo::ui::AppIcon());

    std::string appDir = vexlo::ReadAppDirectory();
    if (appDir.empty()) {
        std::fprintf(stderr, "vexlo: cannot read the current directory\n");
        return 1;
    }
    vexlo::ui::CVXApp app(appDir);
    if (!app.InitInstance()) return 1;
    // The window's close saves everything; the loop ends when it is gone.
    QApplication::setQuitOnLastWindowClosed(true);
    return QApplication::exec();
}
