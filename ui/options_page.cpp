#include "ui/options_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/app_context.h"
#include "frame/settings_rules.h"

namespace vexlo::ui {

namespace {

constexpr int kMaxRetriesText = 9;
constexpr int kMaxSpeedText = 3;
constexpr int kMaxTitleText = 32;

QLineEdit* MakeEdit(const char* id, const std::string& text, int maxLength, QWidget* parent) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setObjectName(id);
    edit->setMaxLength(maxLength);
    return edit;
}

}  // namespace

QCheckBox* CPropPage_Options1::MakeBox(const char* id, const char* text, bool checked) {
    auto* box = new QCheckBox(QString::fromUtf8(text), this);
    box->setObjectName(id);
    box->setChecked(checked);
    return box;
}

CPropPage_Options1::CPropPage_Options1(CAppContext& context, const SettingsSheetHooks& hooks,
                                       QWidget* parent)
    : CSettingsPage(parent), context_(context), hooks_(hooks) {
    setObjectName("144");
    const OptionsPageValues v = OptionsPageFromSettings(context_.settings);

    fullRowGroup_ = MakeBox("1048", "Selección Fila Completa en Ventana Grupo", v.fullRowGroup);
    fullRowQueue_ = MakeBox("1049", "Selección Fila Completa en Ventana Cola", v.fullRowQueue);
    fullRowHeader_ =
        MakeBox("1050", "Selección Fila Completa Ventana Cabecera Artículo", v.fullRowHeader);
    autoRemove_ = MakeBox("1051", "Auto-Quitar Elementos Completados en Cola", v.autoRemoveDone);
    rename_ = MakeBox("1058", "¿Renombrar Archivo(s) Binario(s) si ya existen?", v.renameExisting);
    scanToTop_ = MakeBox("1066", "Añadir Tareas a ESCANEAR a lo más ALTO de la Cola", v.scanToTop);
    noDownloadDialog_ = MakeBox("1067", "Nunca Mostrar Diálogo de Descarga", v.noDownloadDialog);
    decodeYenc_ = MakeBox("1083", "Decodificar Mensajes yEnc", v.decodeYenc);
    autoSave_ = MakeBox("1059", "Auto-Guardar Cola:", v.autoSaveQueue);

    interval_ = new QComboBox(this);
    interval_->setObjectName("1061");
    interval_->addItem(QString::fromUtf8(kSelectIntervalText));
    for (const SaveQueueInterval& entry : kSaveQueueIntervals)
        interval_->addItem(QString::fromUtf8(entry.text));
    interval_->setCurrentIndex(v.interval);
    interval_->setEnabled(v.autoSaveQueue);

    retries_ = MakeEdit("1065", v.retries, kMaxRetriesText, this);
    limitSpeed_ = MakeBox("1053", "Limitar Velocidad de Descarga a:", v.limitSpeed);
    speed_ = MakeEdit("1055", v.speed, kMaxSpeedText, this);
    speed_->setEnabled(v.limitSpeed);
    title_ = MakeEdit("1073", v.appTitle, kMaxTitleText, this);

    auto* layout = new QVBoxLayout(this);
    for (QCheckBox* box : {fullRowGroup_, fullRowQueue_, fullRowHeader_, autoRemove_, rename_,
                           scanToTop_, noDownloadDialog_, decodeYenc_})
        layout->addWidget(box);
    auto* grid = new QGridLayout;
    grid->addWidget(autoSave_, 0, 0);
    grid->addWidget(interval_, 0, 1);
    grid->addWidget(retries_, 1, 0, Qt::AlignRight);
    grid->addWidget(new QLabel(QString::fromUtf8("Máximos Reintentos Para Tareas Fallidas"), this),
                    1, 1);
    grid->addWidget(limitSpeed_, 2, 0);
    grid->addWidget(speed_, 2, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QString::fromUtf8("Máximos KBytes/Segundo Por Canal"), this), 3, 1);
    grid->setColumnStretch(1, 1);
    layout->addSpacing(8);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addWidget(new QLabel(
        QString::fromUtf8("Texto Prefijo en la Barra de Título de la Ventana de la Aplicación:"),
        this));
    layout->addWidget(title_);
    layout->addStretch(1);

    connect(autoSave_, &QCheckBox::toggled, interval_, &QWidget::setEnabled);
    connect(limitSpeed_, &QCheckBox::toggled, speed_, &QWidget::setEnabled);
    for (QCheckBox* box : {fullRowGroup_, fullRowQueue_, fullRowHeader_, autoRemove_, rename_,
                           scanToTop_, noDownloadDialog_, decodeYenc_, autoSave_, limitSpeed_})
        WatchChanges(box);
    WatchChanges(interval_);
    for (QLineEdit* edit : {retries_, speed_, title_}) WatchChanges(edit);
}

OptionsPageValues CPropPage_Options1::Values() const {
    OptionsPageValues v;
    v.fullRowGroup = fullRowGroup_->isChecked();
    v.fullRowQueue = fullRowQueue_->isChecked();
    v.fullRowHeader = fullRowHeader_->isChecked();
    v.autoRemoveDone = autoRemove_->isChecked();
    v.renameExisting = rename_->isChecked();
    v.scanToTop = scanToTop_->isChecked();
    v.noDownloadDialog = noDownloadDialog_->isChecked();
    v.autoSaveQueue = autoSave_->isChecked();
    v.limitSpeed = limitSpeed_->isChecked();
    v.decodeYenc = decodeYenc_->isChecked();
    v.interval = interval_->currentIndex();
    v.retries = retries_->text().toStdString();
    v.speed = speed_->text().toStdString();
    v.appTitle = title_->text().toStdString();
    return v;
}

bool CPropPage_Options1::Apply() {
    const char* refusal = ApplyOptionsPage(Values(), context_.settings);
    // The full-row options are the first step: they are stored even when a
    // later step refuses, and the lists show them at once.
    if (hooks_.applyFullRow) hooks_.applyFullRow();
    if (refusal) {
        context_.messageBox.Show(refusal, MessageIcon::Stop);
        return false;
    }
    if (hooks_.updateTitle) hooks_.updateTitle();
    return true;
}

}  // namespace vexlo::ui
