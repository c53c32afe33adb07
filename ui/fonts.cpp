#include "ui/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace vexlo::ui {
namespace {

// Installed families that stand in for the named ones, nearest first.
QStringList StandIns(const QString& family) {
    if (family == "Arial") return {"Arial", "Liberation Sans", "Arimo", "DejaVu Sans"};
    if (family == "Courier New")
        return {"Courier New", "Liberation Mono", "Cousine", "DejaVu Sans Mono"};
    if (family == "Tahoma") return {"Tahoma", "Arial", "Liberation Sans", "DejaVu Sans"};
    if (family == "Arial Black") return {"Arial Black", "Liberation Sans", "Arimo", "DejaVu Sans"};
    return {family};
}

}  // namespace

QFont NamedFont(const QString& family, int pointSize, QFont::Weight weight) {
    const QStringList installed = QFontDatabase::families();
    QFont font;
    for (const QString& candidate : StandIns(family)) {
        if (installed.contains(candidate, Qt::CaseInsensitive)) {
            font.setFamily(candidate);
            break;
        }
    }
    if (font.family().isEmpty()) font.setFamily(family);
    font.setPointSize(pointSize);
    // Arial Black is a heavy face; its stand-ins get their heaviest weight.
    font.setWeight(family == "Arial Black" && !font.family().contains("Black") ? QFont::Black
                                                                               : weight);
    return font;
}

QFont ListFont() {
    return NamedFont("Arial", 8);
}

}  // namespace vexlo::ui
