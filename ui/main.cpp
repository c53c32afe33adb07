// vexlo: the desktop program. It works in the directory it is started in,
// or, with --user-dir (the desktop entry's way to start it), in the per-user
// application directory.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "core/app_dirs.h"
#include "ui/app_directory.h"
#include "ui/image_list.h"
#include "ui/vx_app.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("vexlo");
    QApplication::setApplicationVersion(VEXLO_VERSION);
    QApplication::setWindowIcon(vexlo::ui::AppIcon());

    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--user-dir") != 0) continue;
        std::string error;
        if (!vexlo::ui::EnterUserAppDirectory(&error)) {
            std::fprintf(stderr, "vexlo: cannot use the application directory %s\n", error.c_str());
            return 1;
        }
    }
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
