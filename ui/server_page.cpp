#include "ui/server_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "core/app_context.h"
#include "core/number_readers.h"
#include "frame/settings_rules.h"
#include "nntp/server_test_thread.h"
#include "ui/server_test_dialog.h"
#include "ui/wait_cursor.h"

namespace vexlo::ui {

namespace {

constexpr int kMaxServerText = 64;
constexpr int kMaxPortText = 5;
constexpr int kMaxLoginText = 64;
constexpr int kMaxCaFileText = 259;

QLineEdit* MakeEdit(const char* id, const std::string& text, int maxLength, QWidget* parent,
                    bool password = false) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setObjectName(id);
    edit->setMaxLength(maxLength);
    if (password) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

}  // namespace

CPropPage_Server::CPropPage_Server(CAppContext& context, QWidget* parent)
    : CSettingsPage(parent), context_(context) {
    setObjectName("107");
    const ServerPageValues values = ServerPageFromSettings(context_.settings);

    server_ = MakeEdit("1005", values.server, kMaxServerText, this);
    port_ = MakeEdit("1006", values.port, kMaxPortText, this);
    connections_ = new QComboBox(this);
    connections_->setObjectName("1011");
    for (int i = 1; i <= kMaxConnections; ++i) connections_->addItem(QString::number(i));
    connections_->setCurrentIndex(values.connections);
    auto* test = new QPushButton(QString::fromUtf8("Probar ..."), this);
    test->setObjectName("1012");
    test->setAutoDefault(false);
    connect(test, &QPushButton::clicked, this, &CPropPage_Server::OnTest);

    // Encryption: list 1080, verification 1081, CA file 1082.
    shownTls_ = values.tls;
    encryption_ = new QComboBox(this);
    encryption_->setObjectName("1080");
    for (const char* text : kTlsModeTexts) encryption_->addItem(QString::fromUtf8(text));
    encryption_->setCurrentIndex(values.tls);
    verify_ = new QCheckBox(QString::fromUtf8(kTlsVerifyText), this);
    verify_->setObjectName("1081");
    verify_->setChecked(values.tlsVerify);
    caFile_ = MakeEdit("1082", values.tlsCaFile, kMaxCaFileText, this);
    portHint_ = new QLabel(QString::fromStdString(DefaultPortHint(values.tls)), this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QString::fromUtf8("Servidor:"), this), 0, 0);
    grid->addWidget(server_, 0, 1, 1, 3);
    grid->addWidget(new QLabel(QString::fromUtf8("Puerto:"), this), 1, 0);
    grid->addWidget(port_, 1, 1);
    grid->addWidget(portHint_, 1, 2, 1, 2);
    grid->addWidget(new QLabel(QString::fromUtf8("Conexiones:"), this), 2, 0);
    grid->addWidget(connections_, 2, 1);
    grid->addWidget(test, 2, 3);
    grid->addWidget(new QLabel(QString::fromUtf8("Cifrado:"), this), 3, 0);
    grid->addWidget(encryption_, 3, 1, 1, 2);
    grid->addWidget(verify_, 4, 1, 1, 3);
    grid->addWidget(new QLabel(QString::fromUtf8(kTlsCaFileLabel), this), 5, 0);
    grid->addWidget(caFile_, 5, 1, 1, 3);
    grid->setColumnStretch(2, 1);

    login_ = new QCheckBox(QString::fromUtf8("El Servidor Requiere &Autenticación:"), this);
    login_->setObjectName("1007");
    login_->setChecked(values.login);
    user_ = MakeEdit("1008", values.user, kMaxLoginText, this);
    password_ = MakeEdit("1009", values.password, kMaxLoginText, this, true);
    confirm_ = MakeEdit("1010", values.confirm, kMaxLoginText, this, true);
    auto* loginGrid = new QGridLayout;
    loginGrid->addWidget(login_, 0, 0, 1, 2);
    loginGrid->addWidget(new QLabel(QString::fromUtf8("Usuario:"), this), 1, 0);
    loginGrid->addWidget(user_, 1, 1);
    loginGrid->addWidget(new QLabel(QString::fromUtf8("Contraseña:"), this), 2, 0);
    loginGrid->addWidget(password_, 2, 1);
    loginGrid->addWidget(new QLabel(QString::fromUtf8("Confirmar:"), this), 3, 0);
    loginGrid->addWidget(confirm_, 3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(12);
    layout->addLayout(loginGrid);
    layout->addStretch(1);

    UpdateTlsBoxes();
    for (QLineEdit* edit : {server_, port_, user_, password_, confirm_, caFile_})
        WatchChanges(edit);
    WatchChanges(login_);
    WatchChanges(connections_);
    WatchChanges(encryption_);
    WatchChanges(verify_);
    connect(encryption_, &QComboBox::currentIndexChanged, this,
            &CPropPage_Server::OnEncryptionChanged);
    connect(verify_, &QCheckBox::toggled, this, &CPropPage_Server::UpdateTlsBoxes);
}

void CPropPage_Server::OnEncryptionChanged(int tls) {
    port_->setText(
        QString::fromStdString(PortForEncryption(port_->text().toStdString(), shownTls_, tls)));
    shownTls_ = tls;
    portHint_->setText(QString::fromStdString(DefaultPortHint(tls)));
    UpdateTlsBoxes();
}

void CPropPage_Server::UpdateTlsBoxes() {
    const ServerPageValues values = Values();
    verify_->setEnabled(TlsVerifyEnabled(values));
    caFile_->setEnabled(TlsCaFileEnabled(values));
}

ServerPageValues CPropPage_Server::Values() const {
    ServerPageValues values;
    values.server = server_->text().toStdString();
    values.port = port_->text().toStdString();
    values.user = user_->text().toStdString();
    values.password = password_->text().toStdString();
    values.confirm = confirm_->text().toStdString();
    values.connections = connections_->currentIndex();
    values.login = login_->isChecked();
    values.tls = std::max(encryption_->currentIndex(), 0);
    values.tlsVerify = verify_->isChecked();
    values.tlsCaFile = caFile_->text().toStdString();
    return values;
}

bool CPropPage_Server::Apply() {
    if (const char* refusal = ApplyServerPage(Values(), context_.settings)) {
        context_.messageBox.Show(refusal, MessageIcon::Stop);
        return false;
    }
    return true;
}

void CPropPage_Server::OnTest() {
    const ServerPageValues values = Values();
    ServerLogin login;
    {
        CWaitCursor wait;
        if (const char* refusal = CheckServerPage(values)) {
            context_.messageBox.Show(refusal, MessageIcon::Stop);
            return;
        }
        if (!ResolveServerAddress(values.server, &login.address)) {
            context_.messageBox.Show(kResolveFailedText, MessageIcon::Stop);
            return;
        }
    }
    login.port = static_cast<uint16_t>(ReadLenientInt(values.port));
    login.useLogin = values.login ? 1 : 0;
    login.user = values.user;
    login.password = values.password;
    login.tls = TlsFromServerPage(values);
    login.tls.log = &context_.log;
    CServerTestDialog dialog(context_, login, values.server, values.connections + 1, this);
    dialog.exec();
}

}  // namespace vexlo::ui
