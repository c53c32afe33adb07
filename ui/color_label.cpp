#include "ui/color_label.h"

#include <QDesktopServices>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <QUrl>

namespace vexlo::ui {

CColorLabel::CColorLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent),
      textColor_(palette().color(QPalette::WindowText)),
      bkColor_(palette().color(QPalette::Window)) {
    // The face is painted here, not by the widget's auto-fill.
    setAutoFillBackground(false);
}

CColorLabel& CColorLabel::SetTextColor(const QColor& color) {
    textColor_ = color;
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetBkColor(const QColor& color, const QColor& second, Fill fill) {
    bkColor_ = color;
    bkSet_ = true;
    bkSecond_ = second;
    fill_ = second.isValid() ? fill : Fill::Solid;
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::ChangeFont(void (QFont::*set)(bool), bool on) {
    QFont f = font();
    (f.*set)(on);
    setFont(f);
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetFontBold(bool on) {
    QFont f = font();
    f.setWeight(on ? QFont::Bold : QFont::Normal);
    setFont(f);
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetFontItalic(bool on) {
    return ChangeFont(&QFont::setItalic, on);
}

CColorLabel& CColorLabel::SetFontUnderline(bool on) {
    return ChangeFont(&QFont::setUnderline, on);
}

CColorLabel& CColorLabel::SetFontName(const QString& face) {
    QFont f = font();
    f.setFamily(face);
    setFont(f);
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetFontSize(int points) {
    QFont f = font();
    if (points > 0) f.setPointSize(points);
    setFont(f);
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetSunken(bool on) {
    sunken_ = on;
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetBorder(bool on) {
    border_ = on;
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetBlink(Blink blink) {
    blink_ = blink;
    phaseOn_ = true;
    if (blink == Blink::None)
        blinkTimer_.stop();
    else
        blinkTimer_.start(kBlinkPeriodMs, this);
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetLink(bool on, bool notify) {
    link_ = on;
    notify_ = notify;
    if (on)
        setCursor(linkCursor_);
    else
        unsetCursor();
    Restyle();
    return *this;
}

CColorLabel& CColorLabel::SetLinkCursor(const QCursor& cursor) {
    linkCursor_ = cursor;
    if (link_) setCursor(cursor);
    return *this;
}

void CColorLabel::Restyle() {
    // The hidden text phase draws the text in the face colour.
    QPalette p = palette();
    const bool hideText = blink_ == Blink::Text && !phaseOn_;
    p.setColor(QPalette::WindowText, hideText ? bkColor_ : textColor_);
    setPalette(p);
    if (sunken_)
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
    else if (border_)
        setFrameStyle(QFrame::Box | QFrame::Plain);
    else
        setFrameStyle(QFrame::NoFrame);
    update();
    if (QWidget* parent = parentWidget()) parent->update(geometry());
}

void CColorLabel::paintEvent(QPaintEvent* event) {
    // Without a face of its own, or in the blink phase that hides it, the
    // parent's face shows through.
    const bool faceHidden = blink_ == Blink::Background && !phaseOn_;
    if (bkSet_ && !faceHidden) {
        QPainter painter(this);
        if (fill_ == Fill::Solid) {
            painter.fillRect(rect(), bkColor_);
        } else {
            const QPointF end =
                fill_ == Fill::Horizontal ? QPointF(width(), 0) : QPointF(0, height());
            QLinearGradient gradient(QPointF(0, 0), end);
            gradient.setColorAt(0, bkColor_);
            gradient.setColorAt(1, bkSecond_);
            painter.fillRect(rect(), gradient);
        }
    }
    QLabel::paintEvent(event);
}

void CColorLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (!link_ || event->button() != Qt::LeftButton ||
        !rect().contains(event->position().toPoint())) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    if (notify_)
        emit linkNotify(kLinkNotifyCode, objectName().toInt());
    else
        QDesktopServices::openUrl(QUrl::fromUserInput(text()));
}

void CColorLabel::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blinkTimer_.timerId()) {
        QLabel::timerEvent(event);
        return;
    }
    phaseOn_ = !phaseOn_;
    Restyle();
}

}  // namespace vexlo::ui
