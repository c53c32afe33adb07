// What every window test needs: a temporary application directory with its
// context (settings, profile, statistics), a message box that records what
// would have been shown and answers from a script, the standard task
// handlers and a controller over them; and the helpers that find and drive
// a window's controls by their ids (the object names) as a user would: fill
// fields, click buttons, read lists and menus, answer the next modal dialog.
//
// Construct one harness per test function (QtTest runs them on the main
// thread, the only one these helpers may be used on). Settings may be
// changed before Controller() is first called.
#pragma once

#include <QtTest>
#include <QtWidgets>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "core/app_context.h"
#include "support/inn_fixture.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/main_controller.h"
#include "tasks/task_handlers.h"

namespace vexlo::test {

class CUiHarness {
  public:
    CUiHarness() {
        Restart();
        RegisterStandardHandlers(handlers_);
    }

    const std::string& AppDir() const { return dir_.Path(); }
    CAppContext& Context() { return *context_; }
    CRecordingMessageBox& Box() { return box_; }
    // Created on first use (it reads the settings then).
    CMainController& Controller() {
        if (!controller_) controller_ = std::make_unique<CMainController>(*context_, handlers_);
        return *controller_;
    }
    // A second start in the same directory: a new context (settings and
    // statistics read again) and a new controller.
    void Restart() {
        controller_.reset();
        context_ = std::make_unique<CAppContext>(dir_.Path(), box_);
        context_->Start();
    }
    // Points the settings at the anonymous INN fixture with `conn` channels.
    void UseInnServer(int conn = 1) {
        context_->settings.SetServer(Inn().host);
        context_->settings.SetPort(Inn().anonPort);
        context_->settings.SetConn(conn);
    }
    // The texts shown so far, "|" between them, and then forgets them.
    QString TakeTexts() {
        QStringList texts;
        for (const std::string& text : box_.Texts()) texts << QString::fromStdString(text);
        box_.Clear();
        return texts.join('|');
    }

  private:
    CTempDir dir_;
    CRecordingMessageBox box_;
    std::unique_ptr<CAppContext> context_;
    CTaskHandlers handlers_;
    std::unique_ptr<CMainController> controller_;  // ends first: it uses all the above
};

// Pumps the Qt event loop until `done()` holds or `timeoutMs` passed.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// The child of `root` named `id`; ends the test program when there is none.
template <typename T = QWidget>
T* Find(const QObject& root, int id) {
    T* child = root.findChild<T*>(QString::number(id));
    if (!child) qFatal("control %d missing", id);
    return child;
}

// Sets controls by id: a line edit's text (a string), a check box's tick (a
// bool), a combo box's index (an int).
inline void Fill(QWidget& root, std::initializer_list<std::pair<int, QVariant>> values) {
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

// Clicks button `id` (1 is OK, 2 Cancel).
inline void Click(QWidget& root, int id) {
    Find<QAbstractButton>(root, id)->click();
}

// One character per control of `ids`: "1" when it is enabled, else "0".
inline QString Enabled(QWidget& root, std::initializer_list<int> ids) {
    QString states;
    for (int id : ids) states += Find(root, id)->isEnabled() ? '1' : '0';
    return states;
}

// The display texts of column `column`, row by row: of a model, or of the
// item view `id` of `root`.
inline QStringList Column(const QAbstractItemModel& model, int column = 0) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data().toString();
    return texts;
}
inline QStringList Column(QWidget& root, int id, int column = 0) {
    return Column(*Find<QAbstractItemView>(root, id)->model(), column);
}

// The items' texts, "-" for a separator.
inline QStringList MenuTexts(const QMenu& menu) {
    QStringList texts;
    for (QAction* action : menu.actions()) texts << (action->isSeparator() ? "-" : action->text());
    return texts;
}

// Once the next modal dialog runs: `fill` gets it, then its OK is clicked.
inline void AnswerNextDialog(std::function<void(QWidget&)> fill) {
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
