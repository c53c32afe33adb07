#include "support/ui_harness.h"

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

QString CUiHarness::TakeTexts() {
    QStringList texts;
    for (const std::string& text : box_.Texts()) texts << QString::fromStdString(text);
    box_.Clear();
    return texts.join('|');
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

void Fill(QWidget& root, std::initializer_list<std::pair<int, QVariant>> values) {
    for (const auto& [id, value] : values) {
        QWidget* control = Find(root, id);
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->setText(value.toString());
        else if (auto* box = qobject_cast<QComboBox*>(control))
            box->setCurrentIndex(value.toInt());
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            button->setChecked(value.toBool());
        else
            qFatal("control %d cannot be filled", id);
    }
}

void Click(QWidget& root, int id) {
    Find<QAbstractButton>(root, id)->click();
}

QString Enabled(QWidget& root, std::initializer_list<int> ids) {
    QString states;
    for (int id : ids) states += Find(root, id)->isEnabled() ? '1' : '0';
    return states;
}

QStringList Column(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data().toString();
    return texts;
}

QStringList Column(QWidget& root, int id, int column) {
    return Column(*Find<QAbstractItemView>(root, id)->model(), column);
}

QStringList MenuTexts(const QMenu& menu) {
    QStringList texts;
    for (QAction* action : menu.actions()) texts << (action->isSeparator() ? "-" : action->text());
    return texts;
}

void AnswerNextDialog(std::function<void(QWidget&)> fill) {
    // Polled: the dialog may open only after some work of the caller.
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, fill] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        timer->stop();
        timer->deleteLater();
        fill(*dialog);
        Click(*dialog, 1);
    });
    timer->start(10);
}

}  // namespace vexlo::test
