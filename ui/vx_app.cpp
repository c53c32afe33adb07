#include "ui/vx_app.h"

#include <QApplication>
#include <QScreen>

#include "frame/commands.h"
#include "frame/frame_texts.h"
#include "tasks/main_controller.h"
#include "ui/main_frame.h"

namespace vexlo::ui {

CVXApp::CVXApp(std::string appDir) : context_(std::move(appDir), box_) {
    RegisterStandardHandlers(handlers_);
}

CVXApp::~CVXApp() {
    frame_.reset();
    controller_.reset();
}

bool CVXApp::InitInstance() {
    // DATA and LOGS, the profile, the debug log, settings and statistics.
    if (!context_.Start()) return false;
    controller_ = std::make_unique<CMainController>(context_, handlers_);
    frame_ = std::make_unique<CMainFrame>(context_, *controller_);
    box_.SetParent(frame_.get());

    frame_->setWindowTitle(kStartupCaption);
    if (QScreen* screen = frame_->screen()) {
        QRect area = screen->availableGeometry();
        // A first start has no saved size: most of the screen, as a new
        // desktop window gets.
        if (!frame_->HasSavedSize()) frame_->resize(area.size() * 0.8);
        QRect rect = frame_->frameGeometry();
        rect.moveCenter(area.center());
        frame_->move(rect.topLeft());
    }
    if (context_.settings.TestOptions(OPT_START_MAXIMIZED))
        frame_->showMaximized();
    else
        frame_->show();
    frame_->repaint();

    frame_->PostRefreshTitle();
    if (context_.settings.GetServer().empty()) {
        CMainFrame* frame = frame_.get();
        QMetaObject::invokeMethod(
            frame, [frame] { frame->OnCommand(ID_SETTINGS); }, Qt::QueuedConnection);
    }
    return true;
}

}  // namespace vexlo::ui
