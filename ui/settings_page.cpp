#include "ui/settings_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace vexlo::ui {

void CSettingsPage::WatchChanges(QLineEdit* edit) {
    connect(edit, &QLineEdit::textChanged, this, &CSettingsPage::modified);
}

void CSettingsPage::WatchChanges(QCheckBox* box) {
    connect(box, &QCheckBox::toggled, this, &CSettingsPage::modified);
}

void CSettingsPage::WatchChanges(QComboBox* list) {
    connect(list, &QComboBox::currentIndexChanged, this, &CSettingsPage::modified);
}

}  // namespace vexlo::ui
