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
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/main_controller.h"
#include "tasks/task_handlers.h"

namespace vexlo::test {

class CUiHarness {
  public:
    CUiHarness();
    ~CUiHarness();

    const std::string& AppDir() const { return dir_.Path(); }
    CAppContext& Context() { return *context_; }
    CRecordingMessageBox& Box() { return box_; }
    // Created on first use (it reads the settings then).
    CMainController& Controller();
    // A second start in the same directory: a new context (settings and
    // statistics read again) and a new controller.
    void Restart();
    // Points the settings at the anonymous INN fixture with `conn` channels.
    void UseInnServer(int conn = 1);
    // The texts shown so far, "|" between them, and then forgets them.
    QString TakeTexts();

  private:
    CTempDir dir_;
    CRecordingMessageBox box_;
    std::unique_ptr<CAppContext> context_;
    CTaskHandlers handlers_;
    std::unique_ptr<CMainController> controller_;
};

// Pumps the Qt event loop until `done()` holds or `timeoutMs` passed.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// The child of `root` named `id`; ends the test program when there is none.
template <typename T = QWidget>
T* Find(const QObject& root, int id) {
    T* child = root.findChild<T*>(QString::number(id));
    if (!child) qFatal("control %d missing", id);
    return child;
}

// Sets controls by id: a line edit's text (a string), a check box's tick (a
// bool), a combo box's index (an int).
void Fill(QWidget& root, std::initializer_list<std::pair<int, QVariant>> values);
// Clicks button `id` (1 is OK, 2 Cancel).
void Click(QWidget& root, int id);
// One character per control of `ids`: "1" when it is enabled, else "0".
QString Enabled(QWidget& root, std::initializer_list<int> ids);
// The display texts of column `column`, row by row: of a model, or of the
// item view `id` of `root`.
QStringList Column(const QAbstractItemModel& model, int column = 0);
QStringList Column(QWidget& root, int id, int column = 0);
// The items' texts, "-" for a separator.
QStringList MenuTexts(const QMenu& menu);
// Once the next modal dialog runs: `fill` gets it, then its OK is clicked.
void AnswerNextDialog(std::function<void(QWidget&)> fill);

}  // namespace vexlo::test
