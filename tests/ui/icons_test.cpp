// Every picture of the shared image list and the toolbar loads from the
// resources and draws something at its size.
#include <QtTest>

#include "frame/commands.h"
#include "ui/image_list.h"

using namespace vexlo;

namespace {

// True when the icon has at least one non-transparent pixel at size x size.
bool Draws(const QIcon& icon, int size) {
    if (icon.isNull()) return false;
    const QImage image = icon.pixmap(size, size).toImage();
    if (image.size() != QSize(size, size)) return false;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (qAlpha(image.pixel(x, y)) != 0) return true;
    return false;
}

}  // namespace

class IconsTest : public QObject {
    Q_OBJECT
  private slots:
    void everyPictureDraws() {
        for (int index = 0; index < ui::kImageCount; ++index)
            QVERIFY2(Draws(ui::ListIcon(index), 16), QByteArray::number(index));
        QVERIFY(ui::ListIcon(ui::kImageCount).isNull());
        for (int id : {ID_SETTINGS, ID_VIEW_GROUPBAR, ID_VIEW_QUEUEBAR, ID_VIEW_GRAPHBAR, ID_START,
                       ID_STOP_GRACEFULLY, ID_STOP_NOW, ID_HISTORY, ID_GET_TEXT, ID_GET_DECODE,
                       ID_SCAN_SELECTED, ID_FIND, ID_NEW_ONLY, ID_FILTER, ID_CLEAR_FILTER,
                       ID_VIEW_MSG, ID_VIEW_BIN, ID_APP_ABOUT})
            QVERIFY2(Draws(ui::CommandIcon(id), 20), QByteArray::number(id));
        QVERIFY(ui::CommandIcon(ID_APP_EXIT).isNull());
        QVERIFY(Draws(ui::AppIcon(), 48));
        QVERIFY(Draws(ui::DriveIcon(), 16));
        QVERIFY(Draws(ui::FolderIcon(), 16));
    }
};

QTEST_MAIN(IconsTest)
#include "icons_test.moc"
