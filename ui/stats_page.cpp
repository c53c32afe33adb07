#include "ui/stats_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "nntp/transfer_stats.h"
#include "ui/color_label.h"

namespace vexlo::ui {

namespace {

constexpr int kFirstValueId = 1019;
const QColor kHeadingText(0, 255, 255);
const QColor kHeadingFace(0, 0, 255);

CColorLabel* MakeHeading(const char* id, const char* text, QWidget* parent) {
    auto* label = new CColorLabel(QString::fromUtf8(text), parent);
    label->setObjectName(id);
    label->setAlignment(Qt::AlignCenter);
    label->SetFontBold(true).SetTextColor(kHeadingText).SetBkColor(kHeadingFace);
    return label;
}

// One group: the headings, then a row per counter kind with its sent and
// received labels (`first` is the index of the group's first value label).
QGroupBox* MakeGroup(const char* title, const char* sentId, const char* receivedId, int first,
                     std::array<QLabel*, 12>& values, QWidget* parent) {
    auto* group = new QGroupBox(QString::fromUtf8(title), parent);
    auto* grid = new QGridLayout(group);
    grid->addWidget(MakeHeading(sentId, "ENVIADO", group), 0, 1);
    grid->addWidget(MakeHeading(receivedId, "RECIBIDO", group), 0, 2);
    const char* rows[] = {"Archivos", "Artículos", "Bytes"};
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(new QLabel(QString::fromUtf8(rows[row]), group), row + 1, 0);
        for (int column = 0; column < 2; ++column) {
            const int index = first + column * 3 + row;
            auto* value = new QLabel(group);
            value->setObjectName(QString::number(kFirstValueId + index));
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            values[static_cast<size_t>(index)] = value;
            grid->addWidget(value, row + 1, column + 1);
        }
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return group;
}

QString Thousands(const CInt96& value) {
    return QString::fromStdString(FormatThousands(value.ToString()));
}

}  // namespace

CPropPage_Stats::CPropPage_Stats(CTransferStats& stats, QWidget* parent)
    : CSettingsPage(parent), stats_(stats) {
    setObjectName("139");
    auto* title = new CColorLabel(QString::fromUtf8("História de Trasmisiones"), this);
    title->setObjectName("1039");
    title->SetFontBold(true);
    auto* refresh = new QPushButton(QString::fromUtf8("&Refrescar"), this);
    refresh->setObjectName("1031");
    refresh->setAutoDefault(false);
    connect(refresh, &QPushButton::clicked, this, &CPropPage_Stats::Refresh);

    auto* top = new QHBoxLayout;
    top->addWidget(title, 1);
    top->addWidget(refresh);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(MakeGroup(" Aplicación ", "1035", "1038", 0, values_, this));
    layout->addWidget(MakeGroup(" Sesión ", "1036", "1037", 6, values_, this));
    layout->addStretch(1);
    Refresh();
}

void CPropPage_Stats::Refresh() {
    const CTransferStats::Counters counters[] = {stats_.AllTime(), stats_.Run()};
    for (size_t group = 0; group < 2; ++group) {
        const CTransferStats::Counters& c = counters[group];
        const CInt96* order[] = {&c.fileXmit, &c.bodyXmit, &c.byteXmit,
                                 &c.fileRecv, &c.bodyRecv, &c.byteRecv};
        for (size_t i = 0; i < 6; ++i) values_[group * 6 + i]->setText(Thousands(*order[i]));
    }
}

}  // namespace vexlo::ui
