#include "shell/gui/curve_chart.h"
#include "shell/gui/qt_text.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace orv::gui {
namespace {

const QColor kBackground(16, 24, 32);
const QColor kGrid(60, 72, 84);
const QColor kFrame(140, 150, 160);
const QColor kLabel(30, 30, 30);
constexpr int kGridRows = 4;
constexpr int kGridColumns = 10;

}  // namespace

void decimateToColumns(std::span<const CurvePoint> points, double xFrom, double xTo, int columns,
                       std::vector<ColumnSpan>& out) {
    out.assign(static_cast<std::size_t>(std::max(columns, 0)), ColumnSpan{});
    if (columns <= 0) return;
    const double span = xTo - xFrom;
    const double perColumn = span > 0 ? columns / span : 0.0;
    for (const CurvePoint& p : points) {
        const double x = p.x;
        if (x < xFrom || x > xTo || !std::isfinite(p.y)) continue;
        // The right end belongs to the last column, not one past it.
        const auto c = std::min(columns - 1, static_cast<int>((x - xFrom) * perColumn));
        ColumnSpan& s = out[static_cast<std::size_t>(c)];
        if (!s.any) {
            s = {p.y, p.y, p.y, p.y, true};
            continue;
        }
        s.last = p.y;
        s.low = std::min(s.low, p.y);
        s.high = std::max(s.high, p.y);
    }
}

void paintCurve(QPainter& painter, const QRect& area, const CurveScale& scale, double xFrom,
                double xTo, std::span<const ChartLine> lines, ChartScratch& scratch) {
    painter.save();
    const QFontMetrics fm = painter.fontMetrics();
    const QString top = text(scale.topLabel), bottom = text(scale.bottomLabel);
    // Room for the widest label a scale field allows, so that charts above each other align.
    const int labelWidth = std::max({fm.horizontalAdvance(top), fm.horizontalAdvance(bottom),
                                     fm.horizontalAdvance(QStringLiteral("-10000"))}) +
                           6;
    const int half = fm.height() / 2;
    const QRect plot(area.left() + labelWidth, area.top() + half, area.width() - labelWidth - 2,
                     area.height() - 2 * half - 1);
    if (plot.width() < 2 || plot.height() < 2) {
        painter.restore();
        return;
    }

    painter.setPen(kLabel);
    painter.drawText(QRect(area.left(), plot.top() - half, labelWidth - 4, fm.height()),
                     Qt::AlignRight | Qt::AlignVCenter, top);
    painter.drawText(QRect(area.left(), plot.bottom() - half, labelWidth - 4, fm.height()),
                     Qt::AlignRight | Qt::AlignVCenter, bottom);
    painter.fillRect(plot, kBackground);
    painter.setPen(QPen(kGrid, 0, Qt::DotLine));
    for (int i = 1; i < kGridRows; ++i) {
        const int y = plot.top() + plot.height() * i / kGridRows;
        painter.drawLine(plot.left(), y, plot.right(), y);
    }
    for (int i = 1; i < kGridColumns; ++i) {
        const int x = plot.left() + plot.width() * i / kGridColumns;
        painter.drawLine(x, plot.top(), x, plot.bottom());
    }
    const double range = scale.top - scale.bottom;
    // Values beyond the scale are drawn at its edge, so that an excursion is never lost.
    auto yOf = [&](double v) {
        const double f = range > 0 ? (v - scale.bottom) / range : 0.5;
        return plot.bottom() - std::clamp(f, 0.0, 1.0) * (plot.height() - 1);
    };
    if (scale.bottom < 0 && scale.top > 0) {
        painter.setPen(QPen(kFrame, 0, Qt::DashLine));
        const double y = yOf(0);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }

    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const ChartLine& line : lines) {
        decimateToColumns(line.points, xFrom, xTo, plot.width(), scratch.columns);
        scratch.polyline.clear();
        auto add = [&](double x, double v) {
            const QPointF p(x, yOf(v));
            if (scratch.polyline.empty() || scratch.polyline.back() != p)
                scratch.polyline.push_back(p);
        };
        for (std::size_t c = 0; c < scratch.columns.size(); ++c) {
            const ColumnSpan& s = scratch.columns[c];
            if (!s.any) continue;
            const double x = plot.left() + static_cast<double>(c) + 0.5;
            add(x, s.first);
            add(x, s.low);
            add(x, s.high);
            add(x, s.last);
        }
        painter.setPen(QPen(line.colour, 1));
        if (scratch.polyline.size() == 1)
            painter.drawPoint(scratch.polyline.front());
        else if (!scratch.polyline.empty())
            painter.drawPolyline(scratch.polyline.data(),
                                 static_cast<int>(scratch.polyline.size()));
    }
    painter.setPen(kFrame);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    painter.restore();
}

void paintBars(QPainter& painter, const QRect& area, std::span<const int> percents,
               const QColor& colour) {
    painter.save();
    painter.fillRect(area, kBackground);
    const int n = static_cast<int>(percents.size());
    const QFontMetrics fm = painter.fontMetrics();
    const int textHeight = fm.height();
    const int baseline = area.bottom() - 1;
    const int usable = area.height() - textHeight - 3;
    if (n > 0 && usable > 0) {
        const double width = static_cast<double>(area.width()) / n;
        for (int i = 0; i < n; ++i) {
            const int v = std::clamp(percents[static_cast<std::size_t>(i)], 0, 100);
            if (v == 0) continue;
            const int h = std::max(1, usable * v / 100);
            const QRectF bar(area.left() + i * width + width * 0.2, baseline - h + 1, width * 0.6,
                             h);
            painter.fillRect(bar, colour);
            painter.setPen(Qt::white);
            painter.drawText(
                QRectF(area.left() + i * width, bar.top() - textHeight - 1, width, textHeight),
                Qt::AlignCenter, QString::number(v));
        }
    }
    painter.setPen(kFrame);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.restore();
}

CurveChart::CurveChart(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CurveChart::setScale(const CurveScale& scale) {
    if (scale.bottom == scale_.bottom && scale.top == scale_.top &&
        scale.topLabel == scale_.topLabel && scale.bottomLabel == scale_.bottomLabel)
        return;
    scale_ = scale;
    update();
}

void CurveChart::setXRange(double from, double to) {
    if (from == xFrom_ && to == xTo_) return;
    xFrom_ = from;
    xTo_ = to;
    update();
}

void CurveChart::setCurve(int index, const Curve& curve, const QColor& colour) {
    if (index < 0) return;
    if (index >= static_cast<int>(curves_.size()))
        curves_.resize(static_cast<std::size_t>(index) + 1);
    Line& line = curves_[static_cast<std::size_t>(index)];
    const bool same = barMode_ == false && line.visible == curve.visible && line.colour == colour &&
                      std::equal(line.points.begin(), line.points.end(), curve.points.begin(),
                                 curve.points.end(), [](const CurvePoint& a, const CurvePoint& b) {
                                     return a.x == b.x && a.y == b.y;
                                 });
    barMode_ = false;
    if (same) return;
    line.points.assign(curve.points.begin(), curve.points.end());  // reuses the storage
    line.colour = colour;
    line.visible = curve.visible;
    update();
}

void CurveChart::setBars(std::span<const int> percents, const QColor& colour) {
    const bool same = barMode_ && colour == barColour_ &&
                      std::equal(bars_.begin(), bars_.end(), percents.begin(), percents.end());
    barMode_ = true;
    if (same) return;
    bars_.assign(percents.begin(), percents.end());
    barColour_ = colour;
    update();
}

void CurveChart::clear() {
    for (Line& line : curves_)
        line.points.clear();
    std::fill(bars_.begin(), bars_.end(), 0);
    update();
}

std::span<const CurvePoint> CurveChart::curvePoints(int index) const {
    if (index < 0 || index >= static_cast<int>(curves_.size())) return {};
    return curves_[static_cast<std::size_t>(index)].points;
}

bool CurveChart::curveVisible(int index) const {
    return index >= 0 && index < static_cast<int>(curves_.size()) &&
           curves_[static_cast<std::size_t>(index)].visible;
}

void CurveChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (barMode_) {
        paintBars(painter, rect(), bars_, barColour_);
        return;
    }
    drawn_.clear();
    for (const Line& line : curves_)
        if (line.visible) drawn_.push_back({line.points, line.colour});
    paintCurve(painter, rect(), scale_, xFrom_, xTo_, drawn_, scratch_);
}

}  // namespace orv::gui
