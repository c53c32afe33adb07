// The settings sheet "Vexlo Program Settings": the Server, Options and
// Statistics pages (the Server page left out while the agent runs), the
// server test dialog the Server page opens, and what applying the Options
// page changes at once in the window.
//
// "Aceptar" and "Aplicar" apply every page the user opened, in page order;
// a page that refuses shows why, becomes the current page and keeps the
// sheet open. "Aplicar" is enabled by any change on a page. Main thread only.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

class QPushButton;
class QTabWidget;

namespace vexlo {
class CAppContext;
}

namespace vexlo::ui {

class CSettingsPage;

struct SettingsSheetHooks {
    // The Options page applied: the caption is rebuilt.
    std::function<void()> updateTitle;
    // The Options page applied: the three lists take the full-row options.
    std::function<void()> applyFullRow;
};

class CSettingsSheet : public QDialog {
    Q_OBJECT

  public:
    CSettingsSheet(CAppContext& context, bool withServerPage, const SettingsSheetHooks& hooks,
                   QWidget* parent = nullptr);

    QTabWidget* Tabs() const { return tabs_; }

  protected:
    // The keyboard starts in the page's first field, not on the tabs.
    void showEvent(QShowEvent* event) override;

  private:
    // Applies the opened pages; false when one refused (it is then shown).
    bool ApplyPages();
    void OnOk();
    void OnApply();

    QTabWidget* tabs_;
    QPushButton* apply_;
    std::vector<CSettingsPage*> pages_;
    std::vector<bool> opened_;
};

// Runs the sheet modally. The caller saves the settings afterwards, however
// the sheet closed.
void RunSettingsSheet(QWidget* parent, CAppContext& context, bool withServerPage,
                      const SettingsSheetHooks& hooks);

}  // namespace vexlo::ui
