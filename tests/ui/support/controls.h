// Finding and driving a window's controls by their ids (the object names), as
// the window tests do: fill fields, click buttons, read lists and menus, and
// answer the next modal dialog.
//
// Main thread only (QtTest runs the test functions there).
#pragma once

#include <QAbstractItemModel>
#include <QMenu>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <utility>

namespace vexlo::test {

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
// The display texts of column `column`, row by row.
QStringList Column(const QAbstractItemModel& model, int column = 0);
// The items' texts, "-" for a separator.
QStringList MenuTexts(const QMenu& menu);
// Once the next modal dialog runs: `fill` gets it, then its OK is clicked.
void AnswerNextDialog(std::function<void(QWidget&)> fill);

}  // namespace vexlo::test
