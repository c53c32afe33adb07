#include "ui/image_list.h"

#include <QHash>
#include <QString>

#include "frame/commands.h"

// The icons live in a static library, whose resource object the linker keeps
// only when it is named; Q_INIT_RESOURCE must stand outside any namespace.
static void InitIconResources() {
    Q_INIT_RESOURCE(vexlo);
}

namespace vexlo::ui {

namespace {

// Loads ":/icons/<name>.svg" once; the SVG engine renders it at any size.
// Main thread only, like every icon.
QIcon Cached(const char* name) {
    static const bool initialised = (InitIconResources(), true);
    (void)initialised;
    static QHash<QString, QIcon> cache;
    const QString key = QString::fromLatin1(name);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.insert(key, QIcon(QStringLiteral(":/icons/%1.svg").arg(key)));
    return *it;
}

// The toolbar's commands and their pictures.
constexpr struct {
    int id;
    const char* name;
} kCommandIcons[] = {
    {ID_SETTINGS, "tool-settings"},
    {ID_VIEW_GROUPBAR, "tool-group-bar"},
    {ID_VIEW_QUEUEBAR, "tool-queue-bar"},
    {ID_VIEW_GRAPHBAR, "tool-graph-bar"},
    {ID_START, "tool-start"},
    {ID_STOP_GRACEFULLY, "tool-stop-gracefully"},
    {ID_STOP_NOW, "tool-stop-now"},
    {ID_HISTORY, "tool-history"},
    {ID_GET_TEXT, "tool-get-text"},
    {ID_GET_DECODE, "tool-get-decode"},
    {ID_SCAN_SELECTED, "tool-scan"},
    {ID_FIND, "tool-find"},
    {ID_NEW_ONLY, "tool-new-only"},
    {ID_FILTER, "tool-filter"},
    {ID_CLEAR_FILTER, "tool-clear-filter"},
    {ID_VIEW_MSG, "tool-messages"},
    {ID_VIEW_BIN, "tool-binaries"},
    {ID_APP_ABOUT, "tool-about"},
};

}  // namespace

QIcon ListIcon(int index) {
    static const char* const kNames[kImageCount] = {
        "list-waiting", "list-running", "list-completed", "list-error", "list-new", "list-old"};
    return index >= 0 && index < kImageCount ? Cached(kNames[index]) : QIcon();
}

QIcon CommandIcon(int commandId) {
    for (const auto& icon : kCommandIcons)
        if (icon.id == commandId) return Cached(icon.name);
    return QIcon();
}

QIcon AppIcon() {
    return Cached("vexlo");
}

QIcon DriveIcon() {
    return Cached("drive");
}

QIcon FolderIcon() {
    return Cached("folder");
}

}  // namespace vexlo::ui
