#include "ui/about_box.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/app_context.h"
#include "ui/color_label.h"
#include "ui/image_list.h"

namespace vexlo::ui {

namespace {

constexpr const char* kHomePage = "https://vexlo.example.org";
constexpr int kIconSize = 48;

}  // namespace

CAboutBox::CAboutBox(const CAppContext& context, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Acerca de Vexlo"));
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(kIconSize, kIconSize));

    auto* name = new CColorLabel(QStringLiteral("Vexlo " VEXLO_VERSION), this);
    name->setObjectName("name");
    name->SetFontBold(true).SetFontSize(name->font().pointSize() + 4);
    auto* what = new QLabel(
        QString::fromUtf8("Descarga y decodifica archivos binarios de los grupos de noticias "
                          "Usenet."),
        this);
    what->setWordWrap(true);
    auto* dir =
        new QLabel(QString::fromUtf8("Directorio de la aplicación: %1")
                       .arg(QDir::toNativeSeparators(QString::fromStdString(context.AppDir()))),
                   this);
    dir->setObjectName("appDir");
    dir->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* link = new CColorLabel(QString::fromUtf8(kHomePage), this);
    link->setObjectName("link");
    link->SetTextColor(QColor(0, 0, 255)).SetFontUnderline(true).SetLink(true);

    auto* ok = new QPushButton(QString::fromUtf8("Aceptar"), this);
    ok->setObjectName("1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{name, what, dir, link}) texts->addWidget(w);
    auto* body = new QHBoxLayout;
    body->addWidget(icon, 0, Qt::AlignTop);
    body->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ShowAboutBox(QWidget* parent, const CAppContext& context) {
    CAboutBox box(context, parent);
    box.exec();
}

}  // namespace vexlo::ui
