// CSettingsPage: one page of the settings sheet. The page fills its controls
// from the settings when it is built, says when the user changed something
// (the sheet then enables "Aplicar"), and stores its controls when the sheet
// applies. Main thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vexlo::ui {

class CSettingsPage : public QWidget {
    Q_OBJECT

  public:
    using QWidget::QWidget;

    // Validates and stores the page's values. False (after the page showed its
    // refusal) keeps the sheet open on this page.
    virtual bool Apply() { return true; }

  signals:
    // An edit, check box or list of the page changed.
    void modified();

  protected:
    // Every later change of these controls marks the page modified; call after
    // the controls were filled.
    void WatchChanges(QLineEdit* edit);
    void WatchChanges(QCheckBox* box);
    void WatchChanges(QComboBox* list);
};

}  // namespace vexlo::ui
