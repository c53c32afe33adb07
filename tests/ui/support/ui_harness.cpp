#include "support/ui_harness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "support/inn_fixture.h"

namespace vexlo::test {

CUiHarness::CUiHarness() {
    context_ = std::make_unique<CAppContext>(dir_.Path(), box_);
    context_->Start();
    RegisterStandardHandlers(handlers_);
}

CUiHarness::~CUiHarness() {
    controller_.reset();
}

CMainController& CUiHarness::Controller() {
    if (!controller_) controller_ = std::make_unique<CMainController>(*context_, handlers_);
    return *controller_;
}

void CUiHarness::Restart() {
    controller_.reset();
    context_ = std::make_unique<CAppContext>(dir_.Path(), box_);
    context_->Start();
}

void CUiHarness::UseInnServer(int conn) {
    const InnServer& inn = Inn();
    context_->settings.SetServer(inn.host);
    context_->settings.SetPort(inn.anonPort);
    context_->settings.SetConn(conn);
}

std::vector<std::string> CUiHarness::TakeTexts() {
    auto texts = box_.Texts();
    box_.Clear();
    return texts;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace vexlo::test
