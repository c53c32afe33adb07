// CSizingControlBar: a resizable docking bar (the group bar and the queue
// bar) on QDockWidget.
//
// It keeps three sizes — docked at the top or bottom, docked at the left or
// right, floating — and saves them in the profile section
// "<name>-SCBar-<control id>" (keys sizeHorzCX ... sizeFloatCY; loading keeps
// each at least at its minimum). Its title bar is a gripper strip with a flat
// caption, drawn active while the keyboard focus is inside the bar, and a
// close button that hides the bar. Floating, it never gets smaller than 37 x 32.
// Main thread only.
#pragma once

#include <QDockWidget>
#include <QString>

#include "frame/bar_sizes.h"

class QMainWindow;

namespace vexlo {
class CProfileStore;
}

namespace vexlo::ui {

class CBarCaption;

class CSizingControlBar : public QDockWidget {
    Q_OBJECT
  public:
    // `profileName` ("GroupBar", "QueueBar") and `controlId` (123, 125) name
    // its profile section; the object name is the profile name.
    CSizingControlBar(const QString& title, const QString& profileName, int controlId,
                      QWidget* parent = nullptr);

    const QString& ProfileName() const { return profileName_; }
    int ControlId() const { return controlId_; }

    // The saved sizes, then applied to the bar where the frame has put it.
    void LoadState(const CProfileStore& profile);
    void SaveState(CProfileStore& profile) const;
    const BarSizes& Sizes() const { return sizes_; }
    // Gives the bar the size that belongs to where it stands now.
    void ApplySize();
    bool IsActiveCaption() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    Qt::DockWidgetArea Area() const;
    void UpdateMinimum();

    QString profileName_;
    int controlId_;
    BarSizes sizes_;
    CBarCaption* caption_;
    bool applying_ = false;
};

}  // namespace vexlo::ui
