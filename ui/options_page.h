// CPropPage_Options1, the settings sheet's "Opciones" page: the option boxes,
// the queue auto-save interval, retries, the speed limit and the caption's
// prefix, and the yEnc box. Its two boxes "Auto-Guardar Cola:" and "Limitar Velocidad de
// Descarga a:" enable the interval list and the speed box. Main thread only.
#pragma once

#include "ui/settings_page.h"
#include "ui/settings_sheet.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vexlo {
class CAppContext;
struct OptionsPageValues;
}  // namespace vexlo

namespace vexlo::ui {

class CPropPage_Options1 : public CSettingsPage {
    Q_OBJECT

  public:
    CPropPage_Options1(CAppContext& context, const SettingsSheetHooks& hooks,
                       QWidget* parent = nullptr);

    // Stores the values step by step; a refused step shows its message (stop
    // icon) and keeps what was stored before it. The full-row options reach
    // the lists at once; the caption is rebuilt after a complete apply.
    bool Apply() override;

  private:
    OptionsPageValues Values() const;
    QCheckBox* MakeBox(const char* id, const char* text, bool checked);

    CAppContext& context_;
    SettingsSheetHooks hooks_;
    QCheckBox* fullRowGroup_;
    QCheckBox* fullRowQueue_;
    QCheckBox* fullRowHeader_;
    QCheckBox* autoRemove_;
    QCheckBox* rename_;
    QCheckBox* scanToTop_;
    QCheckBox* noDownloadDialog_;
    QCheckBox* decodeYenc_;
    QCheckBox* autoSave_;
    QComboBox* interval_;
    QLineEdit* retries_;
    QCheckBox* limitSpeed_;
    QLineEdit* speed_;
    QLineEdit* title_;
};

}  // namespace vexlo::ui
