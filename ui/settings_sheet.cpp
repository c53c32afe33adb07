#include "ui/settings_sheet.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/app_context.h"
#include "ui/options_page.h"
#include "ui/server_page.h"
#include "ui/stats_page.h"

namespace vexlo::ui {

namespace {

constexpr const char* kApplyButtonId = "12321";

QPushButton* MakeButton(const char* id, const char* text, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(id);
    return button;
}

// Gives the focus to the first field of `page` that takes it from the keyboard.
void FocusFirstField(QWidget* page) {
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
            w->isVisibleTo(page)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

}  // namespace

void CSettingsSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QWidget* page = tabs_->currentWidget()) FocusFirstField(page);
}

CSettingsSheet::CSettingsSheet(CAppContext& context, bool withServerPage,
                               const SettingsSheetHooks& hooks, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Vexlo Program Settings"));
    tabs_ = new QTabWidget(this);
    if (withServerPage) pages_.push_back(new CPropPage_Server(context, tabs_));
    pages_.push_back(new CPropPage_Options1(context, hooks, tabs_));
    pages_.push_back(new CPropPage_Stats(context.stats, tabs_));
    const char* captions[] = {"Servidor", "Opciones", "Estado"};
    const size_t firstCaption = withServerPage ? 0 : 1;
    for (size_t i = 0; i < pages_.size(); ++i) {
        tabs_->addTab(pages_[i], QString::fromUtf8(captions[firstCaption + i]));
        connect(pages_[i], &CSettingsPage::modified, this, [this] { apply_->setEnabled(true); });
    }

    // A page counts as opened once it has been the current page; the first is
    // current from the start.
    opened_.assign(pages_.size(), false);
    opened_[0] = true;
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0) opened_[static_cast<size_t>(index)] = true;
    });

    QPushButton* ok = MakeButton("1", "Aceptar", this);
    QPushButton* cancel = MakeButton("2", "Cancelar", this);
    apply_ = MakeButton(kApplyButtonId, "Aplicar", this);
    apply_->setEnabled(false);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSettingsSheet::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, &CSettingsSheet::OnApply);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {ok, cancel, apply_}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);
}

bool CSettingsSheet::ApplyPages() {
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (!opened_[i] || pages_[i]->Apply()) continue;
        tabs_->setCurrentIndex(static_cast<int>(i));
        return false;
    }
    return true;
}

void CSettingsSheet::OnOk() {
    if (ApplyPages()) accept();
}

void CSettingsSheet::OnApply() {
    if (ApplyPages()) apply_->setEnabled(false);
}

void RunSettingsSheet(QWidget* parent, CAppContext& context, bool withServerPage,
                      const SettingsSheetHooks& hooks) {
    CSettingsSheet sheet(context, withServerPage, hooks, parent);
    sheet.exec();
}

}  // namespace vexlo::ui
