// CFolderPicker: the "Seleccionar Carpeta" dialog — a tree of the "drives"
// (the root "/" and the user's home folder) and their directories (control
// 1017) with the current node's path below it (1018).
//
// The tree is filled lazily: a node that may hold subdirectories carries one
// placeholder child "*" until it is expanded; expanding lists its
// subdirectories (with the wait cursor), collapsing drops them again and puts
// the placeholder back. A node's path is the texts from its drive down to it
// joined with "/". A preset path is looked up segment by segment, letters
// compared without regard to case, and the node where it ends is selected.
// Main thread only.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QModelIndex;
class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

namespace vexlo::ui {

inline constexpr int kFolderTreeId = 1017;
inline constexpr int kFolderPathTextId = 1018;

class CFolderPicker : public QDialog {
    Q_OBJECT
  public:
    explicit CFolderPicker(const std::string& preset, QWidget* parent = nullptr);

    // The current node's path; "" while none is current (OK is disabled then).
    std::string Path() const;
    QTreeView* Tree() const { return tree_; }
    QStandardItemModel* Model() const { return model_; }
    static QString PathOf(const QStandardItem* item);

  private:
    QStandardItem* AddNode(QStandardItem* parent, const QString& text, const QString& path,
                           bool isDrive);
    // Replaces the placeholder with the subdirectories; nothing when it has none.
    void Fill(QStandardItem* item);
    void Collapse(const QModelIndex& index);
    void SelectPreset(const QString& preset);
    void ShowCurrent();

    QStandardItemModel* model_;
    QTreeView* tree_;
    QLabel* pathText_;
    QPushButton* ok_;
};

}  // namespace vexlo::ui
