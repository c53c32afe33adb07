// CPropPage_Server, the settings sheet's "Servidor" page: the news server,
// its port, the number of channels, the login, and the Test button that runs
// the server test dialog with what is typed. Main thread only.
#pragma once

#include "ui/settings_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vexlo {
class CAppContext;
struct ServerPageValues;
}  // namespace vexlo

namespace vexlo::ui {

class CPropPage_Server : public CSettingsPage {
    Q_OBJECT

  public:
    CPropPage_Server(CAppContext& context, QWidget* parent = nullptr);

    // Refused values show their message (stop icon); nothing is stored then.
    bool Apply() override;

  private:
    ServerPageValues Values() const;
    // The Test button: the checks of Apply and the name's resolution under the
    // wait cursor, then the server test dialog, modal. Nothing is stored.
    void OnTest();

    CAppContext& context_;
    QLineEdit* server_;
    QLineEdit* port_;
    QComboBox* connections_;
    QCheckBox* login_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* confirm_;
};

}  // namespace vexlo::ui
