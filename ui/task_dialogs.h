// The task dialogs: get and decode ("Obtener Y Decodificar"), join parts
// ("Unir Partes"), channel affinity ("Ajustar Canal de Afinidad"), task
// information ("Información Tarea") and the header filter ("Ajustar Filtro").
//
// Each is a QDialog with public fields the caller fills before and reads after
// a modal run: the controls are filled from the fields when the dialog is
// first shown, and the fields are read back by OK. Control ids are the
// widgets' object names ("1014"; OK is "1", Cancel "2"). The rules behind
// them are in frame/task_dialog_rules.h. Messages go to the application's
// message box. Main thread only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableView;

namespace vexlo {
class CAppContext;
class CTask;
}  // namespace vexlo

namespace vexlo::ui {

class CJoinPartsModel;

// The eight channel boxes "&1" to "&8" (1064 to 1071) of an affinity mask.
class CChannelBoxes : public QWidget {
    Q_OBJECT
  public:
    explicit CChannelBoxes(QWidget* parent = nullptr);
    // Enabled for the configured channels (`channelMask`), checked by `mask`.
    void Show(uint32_t mask, uint32_t channelMask);
    // The mask of the checked boxes.
    uint32_t Read() const;

  private:
    QCheckBox* boxes_[8] = {};
};

// A dialog whose controls are filled from its fields when it is first shown.
class CTaskDialog : public QDialog {
    Q_OBJECT
  protected:
    explicit CTaskDialog(QWidget* parent);
    void showEvent(QShowEvent* event) override;
    virtual void Start() = 0;
    // OK "Aceptar" (1) and Cancel "Cancelar" (2) in a row, wired to accept/reject.
    QLayout* MakeOkCancel();

  private:
    bool started_ = false;
};

class CGetDecodeDialog : public CTaskDialog {
    Q_OBJECT
  public:
    CGetDecodeDialog(QWidget* parent, CAppContext& context);

    int addToTop = 0;
    uint32_t affinity = 0;
    std::string directory;

    void accept() override;

  protected:
    void Start() override;

  private:
    void Browse();

    CAppContext& context_;
    QLineEdit* directoryEdit_;
    QLineEdit* subfolderEdit_;
    QCheckBox* subfolderBox_;
    QCheckBox* topBox_;
    CChannelBoxes* channels_;
};

class CJoinPartsDialog : public CTaskDialog {
    Q_OBJECT
  public:
    explicit CJoinPartsDialog(QWidget* parent);
    ~CJoinPartsDialog() override;

    // Four parallel lists, one entry per part, in the order of the rows.
    std::vector<std::string> subjects;
    std::vector<uint32_t> articles;
    std::vector<uint32_t> lines;
    std::vector<uint32_t> bytes;
    int queueAtTop = 0;

    void accept() override;

  protected:
    void Start() override;

  private:
    int SelectedRow() const;
    void UpdateButtons();
    void Move(int move);

    CJoinPartsModel* model_;
    QTableView* list_;
    QPushButton* moveButtons_[4] = {};  // up, down, to the top, to the bottom
    QCheckBox* topBox_;
};

class CAffinityDialog : public CTaskDialog {
    Q_OBJECT
  public:
    CAffinityDialog(QWidget* parent, CAppContext& context);

    uint32_t affinity = 0;

    void accept() override;

  protected:
    void Start() override;

  private:
    CAppContext& context_;
    CChannelBoxes* channels_;
};

class CTaskInfoDialog : public CTaskDialog {
    Q_OBJECT
  public:
    CTaskInfoDialog(QWidget* parent, const CTask& task);
    ~CTaskInfoDialog() override;

  protected:
    void Start() override;

  private:
    std::unique_ptr<CTask> task_;  // the caller's task as it was when the dialog opened
    QTableView* list_;
};

class CFilterDialog : public CTaskDialog {
    Q_OBJECT
  public:
    explicit CFilterDialog(QWidget* parent);

    int showOnlyNew = 0;
    std::string filter;

    void accept() override;

  protected:
    void Start() override;

  private:
    QLineEdit* edit_;
    QCheckBox* newBox_;
};

// The affinity dialog for the selected queue rows; true (with the mask read
// from the boxes, possibly 0 after "Affinity Not Set!") unless cancelled.
bool RunAffinityDialog(QWidget* parent, CAppContext& context, uint32_t& mask);

// The task information dialog on a copy of `task`.
void ShowTaskInfoDialog(QWidget* parent, const CTask& task);

}  // namespace vexlo::ui
