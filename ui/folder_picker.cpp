#include "ui/folder_picker.h"
#include "ui/dialog_buttons.h"

#include <QDir>
#include <QDirIterator>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "ui/group_dialogs.h"
#include "ui/wait_cursor.h"

namespace vexlo::ui {
namespace {

// Hidden directories are listed too: a preset may lie inside one.
constexpr QDir::Filters kSubdirectories = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden;
// Marks the placeholder child; its text "*" alone could be a directory's name.
constexpr int kPlaceholderRole = Qt::UserRole + 1;

bool HasSubdirectories(const QString& path) {
    return QDirIterator(path, kSubdirectories).hasNext();
}

bool IsPlaceholder(const QStandardItem* item) {
    return item->data(kPlaceholderRole).toBool();
}

bool HoldsPlaceholder(const QStandardItem* item) {
    return item->rowCount() == 1 && IsPlaceholder(item->child(0));
}

void AddPlaceholder(QStandardItem* item) {
    auto* placeholder = new QStandardItem(QStringLiteral("*"));
    placeholder->setData(true, kPlaceholderRole);
    placeholder->setEditable(false);
    item->appendRow(placeholder);
}

}  // namespace

CFolderPicker::CFolderPicker(const std::string& preset, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Seleccionar Carpeta"));
    setModal(true);

    model_ = new QStandardItemModel(this);
    tree_ = new QTreeView(this);
    tree_->setObjectName(QString::number(kFolderTreeId));
    tree_->setModel(model_);
    tree_->setHeaderHidden(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    pathText_ = new QLabel(this);
    pathText_->setObjectName(QString::number(kFolderPathTextId));
    pathText_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    pathText_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QHBoxLayout* buttons = MakeOkCancelRow(this, &ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree_, 1);
    layout->addWidget(pathText_);
    layout->addLayout(buttons);
    resize(340, 400);

    connect(tree_, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { Fill(model_->itemFromIndex(index)); });
    connect(tree_, &QTreeView::collapsed, this, &CFolderPicker::Collapse);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CFolderPicker::ShowCurrent);

    AddNode(nullptr, QStringLiteral("/"), QStringLiteral("/"), true);
    const QString home = QDir::homePath();
    if (home != QLatin1String("/") && QDir(home).exists()) AddNode(nullptr, home, home, true);
    SelectPreset(QString::fromStdString(preset));
    ShowCurrent();
}

QStandardItem* CFolderPicker::AddNode(QStandardItem* parent, const QString& text,
                                      const QString& path, bool isDrive) {
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    QStyle::StandardPixmap icon = QStyle::SP_DirIcon;
    if (isDrive)
        icon = text == QLatin1String("/") ? QStyle::SP_DriveHDIcon : QStyle::SP_DirHomeIcon;
    item->setIcon(style()->standardIcon(icon));
    if (HasSubdirectories(path)) AddPlaceholder(item);
    if (parent)
        parent->appendRow(item);
    else
        model_->appendRow(item);
    return item;
}

QString CFolderPicker::PathOf(const QStandardItem* item) {
    QStringList texts;
    for (const QStandardItem* at = item; at; at = at->parent()) texts.prepend(at->text());
    QString path = texts.takeFirst();
    for (const QString& text : texts) {
        if (!path.endsWith('/')) path += '/';
        path += text;
    }
    return path;
}

void CFolderPicker::Fill(QStandardItem* item) {
    if (!item || !HoldsPlaceholder(item)) return;
    CWaitCursor wait;
    item->removeRow(0);
    const QDir dir(PathOf(item));
    for (const QString& name : dir.entryList(kSubdirectories, QDir::Name | QDir::IgnoreCase))
        AddNode(item, name, dir.filePath(name), false);
}

void CFolderPicker::Collapse(const QModelIndex& index) {
    QStandardItem* item = model_->itemFromIndex(index);
    if (!item || HoldsPlaceholder(item) || item->rowCount() == 0) return;
    item->removeRows(0, item->rowCount());
    AddPlaceholder(item);
}

void CFolderPicker::SelectPreset(const QString& preset) {
    if (preset.isEmpty()) return;
    const QString path = QDir::cleanPath(preset);
    // The longer drive first, so a preset in the home folder is found under it
    // rather than under "/".
    std::vector<QStandardItem*> drives;
    for (int row = 0; row < model_->rowCount(); ++row) drives.push_back(model_->item(row));
    std::stable_sort(drives.begin(), drives.end(), [](QStandardItem* a, QStandardItem* b) {
        return a->text().size() > b->text().size();
    });
    QStandardItem* node = nullptr;
    QString rest;
    for (QStandardItem* drive : drives) {
        const QString root = drive->text();
        const QString prefix = root.endsWith('/') ? root : root + '/';
        if (path.compare(root, Qt::CaseInsensitive) == 0 ||
            path.startsWith(prefix, Qt::CaseInsensitive)) {
            node = drive;
            rest = path.mid(prefix.size());
            break;
        }
    }
    if (!node) return;
    for (const QString& segment : rest.split('/', Qt::SkipEmptyParts)) {
        Fill(node);
        QStandardItem* match = nullptr;
        for (int row = 0; row < node->rowCount() && !match; ++row) {
            QStandardItem* child = node->child(row);
            if (!IsPlaceholder(child) && child->text().compare(segment, Qt::CaseInsensitive) == 0)
                match = child;
        }
        if (!match) return;
        tree_->expand(node->index());
        node = match;
    }
    tree_->setCurrentIndex(node->index());
    tree_->scrollTo(node->index());
}

void CFolderPicker::ShowCurrent() {
    QStandardItem* item = model_->itemFromIndex(tree_->currentIndex());
    const QString path = item && !IsPlaceholder(item) ? PathOf(item) : QString();
    pathText_->setText(path);
    ok_->setEnabled(!path.isEmpty());
}

std::string CFolderPicker::Path() const {
    return pathText_->text().toStdString();
}

bool RunFolderPicker(QWidget* parent, const std::string& preset, std::string& path) {
    CFolderPicker picker(preset, parent);
    if (picker.exec() != QDialog::Accepted) return false;
    path = picker.Path();
    return true;
}

}  // namespace vexlo::ui
