// The shared 16-pixel image list and the toolbar pictures: our own SVG
// artwork from the resource file, sharp at any screen density.
#pragma once

#include <QIcon>

namespace vexlo::ui {

// Indexes of the shared image list (queue rows, header rows, test rows).
enum ImageIndex : int {
    kImageWaiting = 0,
    kImageRunning = 1,
    kImageCompleted = 2,
    kImageError = 3,
    kImageNewItem = 4,
    kImageOldItem = 5,
    kImageCount
};

// One image of the shared list; an empty icon for an index outside it.
QIcon ListIcon(int index);
// The toolbar picture of a command (ids of frame/commands.h); empty when it has none.
QIcon CommandIcon(int commandId);
// The application's icon (also installed as the desktop icon).
QIcon AppIcon();
// Folder picker pictures: a drive root, a folder.
QIcon DriveIcon();
QIcon FolderIcon();

}  // namespace vexlo::ui
