// vexlo-screenshots: starts the program in an application directory that a
// script prepared (server set, group scanned, downloads queued), drives it as
// a user would and writes PNG pictures of the window and its dialogs.
//
// Usage: vexlo-screenshots APPDIR OUTDIR   (needs a display, e.g. Xvfb)
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "core/app_dirs.h"
#include "frame/commands.h"
#include "groups/group_list.h"
#include "tasks/main_controller.h"
#include "ui/about_box.h"
#include "ui/group_bar.h"
#include "ui/header_view.h"
#include "ui/image_list.h"
#include "ui/main_frame.h"
#include "ui/queue_bar.h"
#include "ui/server_groups_dialog.h"
#include "ui/server_test_dialog.h"
#include "ui/settings_sheet.h"
#include "ui/task_dialogs.h"
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
    // The status panes follow the idle update, which a pumped loop never reaches.
    if (auto* frame = qobject_cast<vexlo::ui::CMainFrame*>(widget)) frame->UpdateCommandUi();
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

    // The dialogs, each shown over the window as a user opens it.
    auto shoot = [&](QDialog& dialog, const char* name) {
        dialog.show();
        Pump(400);
        ok = Save(&dialog, out, name) && ok;
        dialog.hide();
    };
    {
        vexlo::ui::CGetDecodeDialog dialog(frame, context);
        dialog.directory = context.AppDir() + "downloads/";
        dialog.affinity = context.settings.GetChannelMask();
        shoot(dialog, "get-decode-dialog.png");
    }
    {
        vexlo::ui::CJoinPartsDialog dialog(frame);
        for (uint32_t part = 1; part <= 3; ++part) {
            dialog.subjects.push_back("broken.bin (" + std::to_string(part * 2 - 1) + "/5)");
            dialog.articles.push_back(40 + part * 2);
            dialog.lines.push_back(1104);
            dialog.bytes.push_back(68560);
        }
        shoot(dialog, "join-parts-dialog.png");
    }
    {
        vexlo::ui::CSettingsSheet sheet(context, true, {}, frame);
        const char* names[] = {"settings-server.png", "settings-options.png",
                               "settings-statistics.png"};
        sheet.show();
        for (int page = 0; page < 3; ++page) {
            sheet.Tabs()->setCurrentIndex(page);
            Pump(300);
            ok = Save(&sheet, out, names[page]) && ok;
        }
        sheet.hide();
    }
    {
        vexlo::ServerLogin login;
        vexlo::ResolveServerAddress(context.settings.GetServer(), &login.address);
        login.port = static_cast<uint16_t>(context.settings.GetPort());
        vexlo::ui::CServerTestDialog dialog(context, login, context.settings.GetServer(), 4, frame);
        dialog.show();
        for (int i = 0; i < 100 && !dialog.Test().IsFinished(); ++i) Pump(100);
        Pump(300);
        ok = Save(&dialog, out, "server-test-dialog.png") && ok;
        dialog.hide();
    }
    {
        vexlo::ui::CServerGroupsDialog dialog(context, groups, frame);
        shoot(dialog, "server-groups-dialog.png");
    }
    {
        vexlo::ui::CAboutBox about(context, frame);
        shoot(about, "about-box.png");
    }

    frame->OnCommand(vexlo::ID_STOP_NOW);
    while (!controller.Agent().IsStopped() && timer.elapsed() < 60000) Pump(100);
    frame->close();
    return ok ? 0 : 1;
}
