#include "ui/sizing_bar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QToolButton>

#include "ui/fonts.h"

namespace vexlo::ui {

// The gripper strip: the bar's title in the caption font (Tahoma, else
// Arial), highlighted while the focus is inside the bar, and a close button.
class CBarCaption : public QWidget {
  public:
    explicit CBarCaption(QDockWidget* bar) : QWidget(bar), bar_(bar) {
        setObjectName("caption");
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(4, 1, 1, 1);
        layout->setSpacing(2);
        layout->addStretch();
        auto* close = new QToolButton(this);
        close->setObjectName("closeButton");
        close->setAutoRaise(false);
        close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
        close->setIconSize(QSize(8, 8));
        close->setFixedSize(14, 14);
        close->setToolTip(QStringLiteral("Ocultar"));
        close->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(close);
        connect(close, &QToolButton::clicked, bar, &QWidget::hide);
        QFont font = NamedFont("Tahoma", 8);
        setFont(font);
        setMinimumHeight(std::max(16, QFontMetrics(font).height() + 4));
        connect(qApp, &QApplication::focusChanged, this, [this] { Refresh(); });
    }

    bool IsActive() const { return active_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPalette& pal = palette();
        p.fillRect(rect(), active_ ? pal.color(QPalette::Highlight) : pal.color(QPalette::Button));
        p.setPen(active_ ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::ButtonText));
        p.setFont(font());
        QRect text = rect().adjusted(5, 0, -20, 0);
        p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, bar_->windowTitle());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        // A double click on the strip docks or floats the bar, as a frame's caption does.
        bar_->setFloating(!bar_->isFloating());
        event->accept();
    }

  private:
    void Refresh() {
        QWidget* focus = QApplication::focusWidget();
        bool active = focus && (focus == bar_ || bar_->isAncestorOf(focus));
        if (active != active_) {
            active_ = active;
            update();
        }
    }

    QDockWidget* bar_;
    bool active_ = false;
};

CSizingControlBar::CSizingControlBar(const QString& title, const QString& profileName,
                                     int controlId, QWidget* parent)
    : QDockWidget(title, parent), profileName_(profileName), controlId_(controlId) {
    setObjectName(profileName);
    caption_ = new CBarCaption(this);
    setTitleBarWidget(caption_);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    connect(this, &QDockWidget::topLevelChanged, this, [this] {
        UpdateMinimum();
        ApplySize();
    });
    connect(this, &QDockWidget::dockLocationChanged, this, [this] { ApplySize(); });
    UpdateMinimum();
}

bool CSizingControlBar::IsActiveCaption() const {
    return caption_->IsActive();
}

Qt::DockWidgetArea CSizingControlBar::Area() const {
    auto* frame = qobject_cast<QMainWindow*>(parentWidget());
    return frame ? frame->dockWidgetArea(const_cast<CSizingControlBar*>(this))
                 : Qt::NoDockWidgetArea;
}

void CSizingControlBar::UpdateMinimum() {
    const BarSize& min = isFloating() ? kBarMinFloat : kBarMinHorz;
    setMinimumSize(min.cx, min.cy);
}

void CSizingControlBar::LoadState(const CProfileStore& profile) {
    LoadBarSizes(profile, profileName_.toStdString(), controlId_, sizes_);
    ApplySize();
}

void CSizingControlBar::SaveState(CProfileStore& profile) const {
    SaveBarSizes(profile, profileName_.toStdString(), controlId_, sizes_);
}

void CSizingControlBar::ApplySize() {
    auto* frame = qobject_cast<QMainWindow*>(parentWidget());
    applying_ = true;
    if (isFloating()) {
        BarSize size = ClampFloatingSize(sizes_.floating);
        resize(size.cx, size.cy);
    } else if (frame) {
        Qt::DockWidgetArea area = Area();
        if (area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea)
            frame->resizeDocks({this}, {sizes_.horz.cy}, Qt::Vertical);
        else if (area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea)
            frame->resizeDocks({this}, {sizes_.vert.cx}, Qt::Horizontal);
    }
    applying_ = false;
}

void CSizingControlBar::resizeEvent(QResizeEvent* event) {
    QDockWidget::resizeEvent(event);
    // Before the frame is shown every size is a layout guess, not the user's.
    if (applying_ || !isVisible() || !window()->isVisible()) return;
    BarSize now{event->size().width(), event->size().height()};
    if (isFloating()) {
        sizes_.floating = ClampFloatingSize(now);
        return;
    }
    switch (Area()) {
        case Qt::TopDockWidgetArea:
        case Qt::BottomDockWidgetArea:
            sizes_.horz = now;
            break;
        case Qt::LeftDockWidgetArea:
        case Qt::RightDockWidgetArea:
            sizes_.vert = now;
            break;
        default:
            break;
    }
}

}  // namespace vexlo::ui
