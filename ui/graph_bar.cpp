#include "ui/graph_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <cstdint>

#include "core/app_context.h"
#include "ui/fonts.h"

namespace vexlo::ui {

namespace {

// The graph's colours are kept as 0x00BBGGRR values: red is the low byte.
QColor FromBgr(uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

constexpr uint32_t kStartingColour = 0xDFDFDF;
constexpr uint32_t kBetaColour = 0x404040;
constexpr uint32_t kBandColour = 0x800000;  // dark blue
constexpr uint32_t kGridColour = 0x008000;  // green
constexpr uint32_t kMinuteColour = 0x606060;
constexpr uint32_t kRateColour = 0xFFFF00;  // cyan
constexpr uint32_t kServerColour = 0xC0C0C0;
// One dotted line a minute: 120 pixels at two pixels a second.
constexpr int kMinuteLines[] = {123, 243, 363, 483};

// Fonts without smoothing, so every pixel has one of the graph's colours.
QFont Crisp(QFont font) {
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// A painter on the image with exact, unsmoothed pixels.
void Prepare(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
}

// Writes `text` with its top-left corner at (x, y).
void TextAt(QPainter& painter, int x, int y, const QString& text) {
    painter.drawText(x, y + painter.fontMetrics().ascent(), text);
}

// A horizontal or vertical line that leaves out its last pixel, so joined
// edges meet once.
void LineTo(QPainter& painter, QPoint from, QPoint to) {
    const QPoint step((to.x() > from.x()) - (to.x() < from.x()),
                      (to.y() > from.y()) - (to.y() < from.y()));
    if (from != to) painter.drawLine(from, to - step);
}

}  // namespace

CGraphBar::CGraphBar(CAppContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      bitmap_(kWidth, kHeight, QImage::Format_RGB32),
      smallFont_(Crisp(NamedFont("Courier New", 8))),
      largeFont_(Crisp(NamedFont("Arial Black", 28))) {
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    bitmap_.fill(Qt::black);
    QPainter painter(&bitmap_);
    Prepare(painter);
    painter.setFont(Crisp(font()));
    painter.setPen(FromBgr(kStartingColour));
    TextAt(painter, 4, kHeight / 2 - 12, QStringLiteral("Starting ..."));
}

void CGraphBar::DrawGraph() {
    CTransferStats::Ring sent{}, received{};
    context_.stats.GetRateHistory(sent, received);

    const int w = bitmap_.width(), h = bitmap_.height();
    QPainter painter(&bitmap_);
    Prepare(painter);
    painter.fillRect(bitmap_.rect(), Qt::black);

    painter.setFont(largeFont_);
    painter.setPen(FromBgr(kBetaColour));
    TextAt(painter, 4, h - painter.fontMetrics().height(), QStringLiteral("BETA 4.1"));

    painter.setFont(smallFont_);
    plot_ = PlotRates(sent, received, w, h, painter.fontMetrics().height());
    const int textHeight = plot_.plotTop - 2;
    painter.fillRect(0, 0, w, textHeight, FromBgr(kBandColour));
    painter.setPen(Qt::white);
    TextAt(painter, 4, 0, QString::fromStdString(plot_.currentText));
    TextAt(painter, w / 2, 0, QString::fromStdString(plot_.peakText));

    const int top = plot_.plotTop, bottom = plot_.plotBottom;
    LineTo(painter, {4, bottom}, {w - 4, bottom});
    LineTo(painter, {w - 4, bottom}, {w - 4, top});

    painter.setPen(FromBgr(kGridColour));
    const int quarter = (h - textHeight - 4) / 4;
    for (int k = 0; k < 4; ++k) LineTo(painter, {4, top + k * quarter}, {w - 4, top + k * quarter});

    // Dotted: every other pixel, from the bottom edge up.
    painter.setPen(FromBgr(kMinuteColour));
    for (int offset : kMinuteLines)
        for (int y = bottom; y > top; y -= 2) painter.drawPoint(w - offset, y);

    painter.setPen(FromBgr(kRateColour));
    QPolygon line;
    for (const GraphPoint& point : plot_.line) line << QPoint(point.x, point.y);
    painter.drawPolyline(line);

    painter.setPen(FromBgr(kServerColour));
    TextAt(painter, 4, top, QString::fromStdString(GraphServerText(context_.settings.GetServer())));
    painter.end();
    update();
}

void CGraphBar::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), bitmap_, event->rect());
}

}  // namespace vexlo::ui
