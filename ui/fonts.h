// Fonts named by family: the first installed of the wanted family and its
// stand-ins (Arial -> Liberation Sans, Courier New -> Liberation Mono, ...),
// else the closest match the font system picks.
#pragma once

#include <QFont>
#include <QString>

namespace vexlo::ui {

// `pointSize` in points; `weight` QFont::Normal, QFont::Bold ...
QFont NamedFont(const QString& family, int pointSize, QFont::Weight weight = QFont::Normal);
// Arial 8 point: the font of the group and queue lists.
QFont ListFont();

}  // namespace vexlo::ui
