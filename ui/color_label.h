// CColorLabel: a text label with its own colours and font switches, a sunken
// edge or border, blinking text or background, and a link mode.
//
// Defaults: the palette's window-text colour on the dialog face (the parent's
// own, painted by the parent until a colour is set); the font is
// the label's own at construction, changed by the switches. A second
// background colour with a fill mode paints a gradient instead of a solid
// face. Blinking toggles a phase every 500 ms: the text (or the background)
// is hidden in every other phase. In link mode the label shows the link
// cursor and a left click either opens the label's text as a URL, or, when
// the link notifies, emits linkNotify(kLinkNotifyCode, the label's id) for
// the parent to act on. Every setter repaints the label and the parent's area
// under it.
//
// Thread: main thread (a widget).
#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QCursor>
#include <QLabel>

namespace vexlo::ui {

class CColorLabel : public QLabel {
    Q_OBJECT

  public:
    static constexpr int kLinkNotifyCode = 33280;  // 0x8200
    static constexpr int kBlinkPeriodMs = 500;

    enum class Fill { Solid, Horizontal, Vertical };
    enum class Blink { None, Text, Background };

    explicit CColorLabel(const QString& text = {}, QWidget* parent = nullptr);

    CColorLabel& SetTextColor(const QColor& color);
    // A solid face, or a gradient from `color` to `second` when both a second
    // colour and a fill other than Solid are given.
    CColorLabel& SetBkColor(const QColor& color, const QColor& second = {},
                            Fill fill = Fill::Solid);
    CColorLabel& SetFontBold(bool on);
    CColorLabel& SetFontItalic(bool on);
    CColorLabel& SetFontUnderline(bool on);
    CColorLabel& SetFontName(const QString& face);
    CColorLabel& SetFontSize(int points);
    CColorLabel& SetSunken(bool on);
    CColorLabel& SetBorder(bool on);
    CColorLabel& SetBlink(Blink blink);
    // Link mode on or off; `notify` sends linkNotify instead of opening the text.
    CColorLabel& SetLink(bool on, bool notify = false);
    CColorLabel& SetLinkCursor(const QCursor& cursor);

    QColor TextColor() const { return textColor_; }
    QColor BkColor() const { return bkColor_; }
    bool IsLink() const { return link_; }
    Blink BlinkMode() const { return blink_; }
    // False in the blink phase that hides the text or the background.
    bool BlinkVisible() const { return phaseOn_; }

  signals:
    void linkNotify(int code, int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    // Pushes colours, font and frame into the widget and repaints.
    void Restyle();
    CColorLabel& ChangeFont(void (QFont::*set)(bool), bool on);

    QColor textColor_;
    QColor bkColor_;
    QColor bkSecond_;
    bool bkSet_ = false;  // until a face is set, the parent's shows through
    Fill fill_ = Fill::Solid;
    bool sunken_ = false;
    bool border_ = false;
    Blink blink_ = Blink::None;
    bool phaseOn_ = true;
    QBasicTimer blinkTimer_;
    bool link_ = false;
    bool notify_ = false;
    QCursor linkCursor_{Qt::PointingHandCursor};
};

}  // namespace vexlo::ui
