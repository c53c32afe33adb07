// CGraphBar: the download rate of the last minutes as a line graph, with the
// current and peak rates above it and the server's name in a corner.
//
// It draws into an image the size of its graph area at creation (the image
// keeps that size) and paints the image; the main window calls DrawGraph once
// a second. The rates come from the statistics' rate rings; the arithmetic is
// frame/graph_plot.h, this class only draws it. Main thread only.
#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>

#include "frame/graph_plot.h"

namespace vexlo {
class CAppContext;
}

namespace vexlo::ui {

class CGraphBar : public QWidget {
    Q_OBJECT
  public:
    // The graph area of a 349 x 48 dialog-unit template, in pixels.
    static constexpr int kWidth = 524, kHeight = 78;
    explicit CGraphBar(CAppContext& context, QWidget* parent = nullptr);

    void DrawGraph();
    const QImage& Bitmap() const { return bitmap_; }
    // What the last DrawGraph drew (empty before the first).
    const GraphPlot& LastPlot() const { return plot_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    CAppContext& context_;
    QImage bitmap_;
    QFont smallFont_;
    QFont largeFont_;
    GraphPlot plot_;
};

}  // namespace vexlo::ui
