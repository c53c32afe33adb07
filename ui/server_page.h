// CPropPage_Server, the settings sheet's "Servidor" page: the news server,
// its port, the number of channels, the encryption (TLS, TlsVerify,
// TlsCaFile), the login, and the Test button that runs the server test dialog
// with what is typed. Main thread only.
#pragma once

#include "ui/settings_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
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
    // The encryption list changed: the port follows from default to default,
    // and the hint and the boxes that depend on it follow.
    void OnEncryptionChanged(int tls);
    void UpdateTlsBoxes();

    CAppContext& context_;
    QLineEdit* server_;
    QLineEdit* port_;
    QComboBox* connections_;
    QCheckBox* login_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* confirm_;
    QComboBox* encryption_;
    QCheckBox* verify_;
    QLineEdit* caFile_;
    QLabel* portHint_;
    int shownTls_ = 0;  // the encryption the port box was last matched to
};

}  // namespace vexlo::ui
