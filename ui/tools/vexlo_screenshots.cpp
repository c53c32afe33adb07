// vexlo-screenshots: starts the program in an application directory that a
// script prepared (server set, group scanned, downloads queued), drives it as
// a user would and writes PNG pictures of the window and its dialogs.
//
// Usage: vexlo-screenshots APPDIR OUTDIR   (needs a display, e.g. Xvfb)
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "core/app_dirs.h"
#include "frame/commands.h"
#include "groups/group_list.h"
#include "tasks/main_controller.h"
#include "ui/group_bar.h"
#include "ui/header_view.h"
#include "ui/image_list.h"
#include "ui/main_frame.h"
#include "ui/queue_bar.h"
#include "ui/vx_app.h"

namespace {

void Pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool Save(QWidget* widget, const QString& dir, const char* name) {
    QString path = dir + "/" + name;
    bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vexlo-screenshots APPDIR OUTDIR\n");
        return 2;
    }
    QApplication qt(argc, argv);
    QApplication::setApplicationDisplayName("Vexlo");
    QApplication::setWindowIcon(vexlo::ui::AppIcon());
    QString out = QDir(argv[2]).absolutePath();
    QDir().mkpath(out);
    if (::chdir(argv[1]) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    vexlo::ui::CVXApp app(vexlo::ReadAppDirectory());
    if (!app.InitInstance()) return 1;
    vexlo::ui::CMainFrame* frame = app.MainFrame();
    vexlo::CAppContext& context = app.Context();
    // Slow channels keep the queue running long enough to be seen.
    context.settings.SetOption(vexlo::OPT_LIMIT_SPEED, 1);
    context.settings.SetChanMaxBPS(40);
    frame->showNormal();
    frame->resize(1280, 820);
    Pump(500);

    vexlo::CMainController& controller = app.Controller();
    vexlo::CGroupList& groups = controller.Groups();
    int row = groups.FindGroup("alt.binaries.test");
    if (row >= 0) groups.Select(row, true);
    frame->View()->OpenGroup("alt.binaries.test");
    frame->View()->selectRow(1);
    frame->OnCommand(vexlo::ID_START);
    // Until the first downloads show their progress.
    QElapsedTimer timer;
    timer.start();
    auto running = [&] {
        for (size_t i = 0; i < controller.Queue().Count(); ++i)
            if (controller.Queue().Row(i).progressText.find("Line") != std::string::npos)
                return true;
        return false;
    };
    while (!running() && timer.elapsed() < 20000) Pump(100);
    Pump(2500);
    bool ok = Save(frame, out, "main-window.png");

    frame->OnCommand(vexlo::ID_STOP_NOW);
    while (!controller.Agent().IsStopped() && timer.elapsed() < 60000) Pump(100);
    frame->close();
    return ok ? 0 : 1;
}
