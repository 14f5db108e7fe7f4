// The charts of the timing pages drawn with QPainter: value curves over a fixed vertical scale
// with their two axis labels, and percentage bar charts. The drawing is a free function so that a
// print preview can draw the same chart onto its own painter; the widget keeps its own copies of
// the points and reuses their storage, so a paint allocates nothing.
//
// A curve is reduced to one lowest and highest value per pixel column before it is drawn: a
// series of any length costs at most four line points per column, and a single spike stays
// visible at any width.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <span>
#include <vector>

#include "presentation/timing_curve.h"

class QPainter;

namespace orv::gui {

// What one pixel column of a curve covers: the first and last value in x order and the extremes.
struct ColumnSpan {
    double first = 0.0, last = 0.0, low = 0.0, high = 0.0;
    bool any = false;
};

// Reduces `points` (in x order or not) to `columns` pixel columns over [xFrom, xTo]; points
// outside the range are left out. `out` is resized to `columns` and reused.
void decimateToColumns(std::span<const CurvePoint> points, double xFrom, double xTo, int columns,
                       std::vector<ColumnSpan>& out);

struct ChartLine {
    std::span<const CurvePoint> points;
    QColor colour;
};

// Storage a caller keeps between paints so that drawing allocates nothing once warm.
struct ChartScratch {
    std::vector<ColumnSpan> columns;
    std::vector<QPointF> polyline;
};

// Draws the frame, the grid, the scale's two labels on the left and every line over
// [xFrom, xTo] into `area`.
void paintCurve(QPainter& painter, const QRect& area, const CurveScale& scale, double xFrom,
                double xTo, std::span<const ChartLine> lines, ChartScratch& scratch);

// Draws one bar per value (0 to 100 %) side by side, with the value above each non-empty bar.
void paintBars(QPainter& painter, const QRect& area, std::span<const int> percents,
               const QColor& colour);

// A chart widget holding either curves or bars.
class CurveChart : public QWidget {
    Q_OBJECT

  public:
    explicit CurveChart(QWidget* parent = nullptr);

    void setScale(const CurveScale& scale);
    void setXRange(double from, double to);
    // Curve `index` (growing the set as needed); an invisible curve is not drawn.
    void setCurve(int index, const Curve& curve, const QColor& colour);
    void setBars(std::span<const int> percents, const QColor& colour);
    void clear();

    // What is drawn, for tests and print previews.
    const CurveScale& scale() const { return scale_; }
    int curveCount() const { return static_cast<int>(curves_.size()); }
    std::span<const CurvePoint> curvePoints(int index) const;
    bool curveVisible(int index) const;
    std::span<const int> bars() const { return bars_; }

    QSize sizeHint() const override { return {420, 180}; }
    QSize minimumSizeHint() const override { return {160, 80}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Line {
        std::vector<CurvePoint> points;
        QColor colour;
        bool visible = true;
    };

    CurveScale scale_{0, 1, "1", "0"};
    double xFrom_ = 0, xTo_ = 99;
    std::vector<Line> curves_;
    std::vector<int> bars_;
    QColor barColour_;
    bool barMode_ = false;
    std::vector<ChartLine> drawn_;
    ChartScratch scratch_;
};

}  // namespace orv::gui
