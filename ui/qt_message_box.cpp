#include "ui/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace vexlo::ui {

QString MessageBoxText(std::string_view text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

MessageAnswer CQtMessageBox::Show(std::string_view text, MessageIcon icon, MessageButtons buttons) {
    QMessageBox box(parent_ ? parent_.data() : QApplication::activeWindow());
    // Qt would add a display name to every caption; the boxes carry the program's.
    box.setWindowTitle(QStringLiteral("Vexlo"));
    box.setText(MessageBoxText(text));
    switch (icon) {
        case MessageIcon::Stop:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MessageButtons::RetryCancel:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            break;
    }
    // A box shown under the wait cursor must still be clickable.
    int overrides = 0;
    while (QApplication::overrideCursor()) {
        QApplication::restoreOverrideCursor();
        ++overrides;
    }
    int answer = box.exec();
    for (int i = 0; i < overrides; ++i) QApplication::setOverrideCursor(Qt::WaitCursor);
    switch (answer) {
        case QMessageBox::Cancel:
            return MessageAnswer::Cancel;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        case QMessageBox::Retry:
            return MessageAnswer::Retry;
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        default:
            // Closed with Esc or the close box: the negative answer.
            return NegativeAnswer(buttons);
    }
}

}  // namespace vexlo::ui
