// The server test dialog "Prueba de Conexión del Servidor": opens the given
// number of connections to the server one after another and shows, per
// channel, the server's greeting or the connection's error text. The
// connections stay open until OK, so the rows show whether the server takes
// that many simultaneous logins.
//
// CServerTest decides everything; the dialog starts it when built, pumps its
// worker's notices from the event loop and shows its rows. Cancel stops the
// tests after the running one; the close box acts as OK only while OK is
// enabled, and Esc acts as Cancel. Main thread only.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "nntp/server_test.h"

class QLineEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace vexlo {
class CAppContext;
}

namespace vexlo::ui {

class CServerTestModel;

class CServerTestDialog : public QDialog {
    Q_OBJECT

  public:
    // Starts the test of `connections` connections to `server` (resolved);
    // `serverText` is the name the user typed.
    CServerTestDialog(CAppContext& context, const ServerLogin& server,
                      const std::string& serverText, int connections, QWidget* parent = nullptr);
    ~CServerTestDialog() override;

    const CServerTest& Test() const { return *test_; }

  protected:
    void reject() override;  // Esc: the Cancel button
    void closeEvent(QCloseEvent* event) override;

  private:
    void OnOk();
    void OnCancel();
    // Follows the test's row and button changes.
    void OnChange(int row);

    std::unique_ptr<CServerTest> test_;
    CServerTestModel* model_;
    QLineEdit* title_;
    QTreeView* list_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QTimer* pump_;
};

}  // namespace vexlo::ui
