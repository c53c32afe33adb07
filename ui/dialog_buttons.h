// The "Aceptar" (id 1, default) and "Cancelar" (id 2) buttons of a dialog,
// right-aligned in a row, wired to accept and reject. Main thread only.
#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace vexlo::ui {

// The row of the two buttons; *ok (when given) receives the OK button.
inline QHBoxLayout* MakeOkCancelRow(QDialog* dialog, QPushButton** ok = nullptr) {
    auto* accept = new QPushButton(QStringLiteral("Aceptar"), dialog);
    accept->setObjectName("1");
    accept->setDefault(true);
    QObject::connect(accept, &QPushButton::clicked, dialog, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancelar"), dialog);
    cancel->setObjectName("2");
    cancel->setAutoDefault(false);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(accept);
    row->addWidget(cancel);
    if (ok) *ok = accept;
    return row;
}

}  // namespace vexlo::ui
