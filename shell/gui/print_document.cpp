#include "shell/gui/print_document.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

#include "presentation/pcr_curve_data.h"
#include "presentation/pes_curve_data.h"
#include "presentation/report_dialog.h"

namespace orv::gui {
namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string utf8(const QString& s) {
    return s.toStdString();
}

// --- Curve kinds ---

PrintGraph pcrGraph(const PcrCurveData& d) {
    PrintGraph g;
    g.title = utf8(QString::asprintf("节目号:0x%04x  PMT_PID:0x%04x  PCR_PID:0x%04x  PCR抖动",
                                     d.programNumber, d.pmtPid, d.pcrPid));
    const PcrStatistics& s = d.statistics;
    g.notes.push_back(
        utf8(QString::asprintf("当前抖动:%d ns  最大抖动:%d ns  最小抖动:%d ns", s.currentJitterNs,
                               s.largestJitterNs, s.smallestJitterNs)));
    g.notes.push_back(
        utf8(QString::asprintf("当前间隔:%.3f ms  最大间隔:%.3f ms  最小间隔:%.3f ms",
                               s.currentIntervalMs, s.longestIntervalMs, s.shortestIntervalMs)));
    g.unit = "ns";
    g.symmetric = true;
    g.minimumRange = 100.0;  // a clean stream's jitter of a few ns is not blown up to the page
    for (const PcrSample& p : d.samples)
        g.values.push_back(p.jitterNs);
    return g;
}

PrintGraph pesGraph(const PesCurveData& d, const char* curveText, bool dts) {
    PrintGraph g;
    g.title =
        utf8(QString::asprintf("节目号:0x%04x  PID:0x%04x  ", d.programNumber, d.pid)) + curveText;
    g.unit = "ms";
    if (!d.hasPcr) {
        g.notes.push_back("该节目没有PCR");
        return g;
    }
    g.notes.push_back(utf8(QString::asprintf("PCR_PID:0x%04x  PES头数:%d", d.pcrPid,
                                             static_cast<int>(d.samples.size()))));
    for (const PesSample& s : d.samples)
        g.values.push_back(dts ? s.dtsPcrMs : s.ptsPcrMs);
    if (!g.values.empty()) {
        const auto [low, high] = std::minmax_element(g.values.begin(), g.values.end());
        g.notes.push_back(utf8(QString::asprintf("最新值:%.3f ms  最大值:%.3f ms  最小值:%.3f ms",
                                                 g.values.back(), *high, *low)));
    }
    return g;
}

// --- Layout ---

constexpr double kScreenDpi = 96.0;
constexpr int kTabStop = 8;

// Columns of a character in the fixed-pitch font: a CJK character is as wide as two.
int columnsOf(QChar c) {
    return c.unicode() >= 0x1100 ? 2 : 1;
}

QString expandTabs(const QString& line) {
    QString out;
    int column = 0;
    for (const QChar c : line) {
        if (c == QLatin1Char('\t')) {
            const int spaces = kTabStop - column % kTabStop;
            out.append(QString(spaces, QLatin1Char(' ')));
            column += spaces;
        } else {
            out.append(c);
            column += columnsOf(c);
        }
    }
    return out;
}

bool breaksAfter(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char(',') || c.unicode() >= 0x2E80;
}

// Breaks a text into pieces no wider than `width`, after a space, a comma or a CJK character
// where the piece has one, else anywhere; nothing is cut off.
QStringList wrap(const QString& text, const QFontMetricsF& fm, double width) {
    QStringList out;
    QString piece;
    double used = 0.0;
    for (const QChar c : text) {
        const double advance = fm.horizontalAdvance(c);
        if (!piece.isEmpty() && used + advance > width) {
            qsizetype cut = piece.size();
            for (qsizetype i = piece.size() - 1; i > 0; --i) {
                if (breaksAfter(piece[i - 1])) {
                    cut = i;
                    break;
                }
            }
            out << piece.left(cut);
            piece = piece.mid(cut);
            used = fm.horizontalAdvance(piece);
        }
        piece.append(c);
        used += advance;
    }
    out << piece;  // an empty text still takes its line
    return out;
}

struct Cell {
    double x = 0.0;
    QStringList lines;
};

struct Item {
    double height = 0.0;
    std::vector<Cell> cells;  // a text row
    int graph = -1;           // or a graph
    bool header = false;      // the column titles, repeated on every page
};

struct Page {
    std::vector<Item> items;
};

struct Geometry {
    QFont font;
    QFont titleFont;
    double lineHeight = 0.0;
    double ascent = 0.0;
    QRectF page;
    QRectF body;
};

Geometry geometry(QPaintDevice& device) {
    Geometry g;
    g.font = QFont(QStringLiteral("WenQuanYi Zen Hei Mono"));
    g.font.setStyleHint(QFont::TypeWriter);
    g.font.setFixedPitch(true);
    g.font.setPointSizeF(9.0);
    g.titleFont = g.font;
    g.titleFont.setPointSizeF(14.0);
    g.titleFont.setBold(true);
    const QFontMetricsF fm(g.font, &device);
    g.lineHeight = fm.lineSpacing();
    g.ascent = fm.ascent();
    g.page = QRectF(0, 0, device.width(), device.height());
    const QFontMetricsF tm(g.titleFont, &device);
    const double top = g.lineHeight * 1.5 + tm.lineSpacing() * 1.5;
    const double bottom = g.lineHeight * 2.0;
    g.body = g.page.adjusted(0, top, 0, -bottom);
    return g;
}

// The x of each column and the width it may fill: print widths in screen pixels, shrunk together
// when the page is narrower than the table.
std::vector<std::pair<double, double>> columnSpans(const std::vector<PrintColumn>& columns,
                                                   double dpi, double width) {
    const double px = dpi / kScreenDpi;
    double fixed = 0.0;
    int shared = 0;
    for (const PrintColumn& c : columns) {
        fixed += c.width * px;
        if (c.width <= 0) ++shared;
    }
    double share = shared > 0 ? std::max(0.0, width - fixed) / shared : 0.0;
    if (shared > 0 && share < 60 * px) share = 60 * px;
    const double total = fixed + share * shared;
    const double shrink = total > width ? width / total : 1.0;
    std::vector<std::pair<double, double>> spans;
    double x = 0.0;
    for (const PrintColumn& c : columns) {
        const double w = (c.width > 0 ? c.width * px : share) * shrink;
        spans.emplace_back(x, w);
        x += w;
    }
    return spans;
}

std::vector<Page> layout(const PrintDocument& doc, const Geometry& g, QPaintDevice& device) {
    const QFontMetricsF fm(g.font, &device);
    const double width = g.body.width();
    std::vector<Item> items;
    for (const std::string& line : doc.lines) {
        Item item;
        item.cells.push_back({0.0, wrap(expandTabs(qs(line)), fm, width)});
        item.height = g.lineHeight * item.cells.front().lines.size();
        items.push_back(std::move(item));
    }
    Item header;
    if (!doc.columns.empty()) {
        const auto spans = columnSpans(doc.columns, device.logicalDpiX(), width);
        const double gap = fm.horizontalAdvance(QLatin1Char(' '));
        auto row = [&](const std::vector<std::string>& cells) {
            Item item;
            int lines = 1;
            for (std::size_t i = 0; i < spans.size(); ++i) {
                const QString text = i < cells.size() ? expandTabs(qs(cells[i])) : QString();
                Cell cell{spans[i].first, wrap(text, fm, std::max(gap, spans[i].second - gap))};
                lines = std::max(lines, static_cast<int>(cell.lines.size()));
                item.cells.push_back(std::move(cell));
            }
            item.height = g.lineHeight * lines;
            return item;
        };
        std::vector<std::string> titles;
        for (const PrintColumn& c : doc.columns)
            titles.push_back(c.title);
        header = row(titles);
        header.header = true;
        header.height += g.lineHeight * 0.3;
        items.push_back(header);
        for (const std::vector<std::string>& r : doc.rows)
            items.push_back(row(r));
    }
    // Two graphs to a page.
    const double graphHeight = std::max(g.lineHeight * 12, g.body.height() / 2.0 - g.lineHeight);
    for (std::size_t i = 0; i < doc.graphs.size(); ++i) {
        Item item;
        item.graph = static_cast<int>(i);
        item.height = std::min(graphHeight, g.body.height());
        items.push_back(std::move(item));
    }

    std::vector<Page> pages(1);
    double used = 0.0;
    for (Item& item : items) {
        // A row taller than a page is cut to the page rather than lost in an endless break.
        item.height = std::min(item.height, g.body.height());
        if (used > 0.0 && used + item.height > g.body.height()) {
            pages.emplace_back();
            used = 0.0;
            if (!header.cells.empty() && !item.header) {
                pages.back().items.push_back(header);
                used = header.height;
            }
        }
        used += item.height;
        pages.back().items.push_back(std::move(item));
    }
    return pages;
}

// The next round value at or above v, with some room so that a curve at its maximum stays off
// the frame.
double niceCeiling(double v, double minimum) {
    v = std::max(v * 1.05, minimum);
    if (v <= 0.0) return 1.0;
    const double base = std::pow(10.0, std::floor(std::log10(v)));
    for (const double m : {1.0, 1.2, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0}) {
        if (m * base >= v) return m * base;
    }
    return 10.0 * base;
}

// An axis label: up to three decimals, trailing zeros dropped.
QString valueText(double v) {
    QString text = QString::number(v, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

void paintGraph(QPainter& p, const PrintGraph& graph, const QRectF& area, const Geometry& g) {
    const double lh = g.lineHeight;
    QFont bold = g.font;
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(Qt::black);
    p.drawText(QPointF(area.left(), area.top() + g.ascent), qs(graph.title));
    p.setFont(g.font);
    double y = area.top() + lh;
    for (const std::string& note : graph.notes) {
        p.drawText(QPointF(area.left(), y + g.ascent), qs(note));
        y += lh;
    }
    const QFontMetricsF fm(g.font, p.device());
    const double labelWidth = fm.horizontalAdvance(QStringLiteral("-000000 ms "));
    const QRectF plot(area.left() + labelWidth, y + lh * 0.5, area.width() - labelWidth - lh,
                      area.bottom() - y - lh * 2.5);
    if (plot.height() <= lh || plot.width() <= lh) return;
    p.setPen(QPen(Qt::black, 0));
    p.drawRect(plot);
    if (graph.values.empty()) {
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("无数据"));
        return;
    }
    const auto [lowIt, highIt] = std::minmax_element(graph.values.begin(), graph.values.end());
    double low = 0.0, high = 0.0;
    if (graph.symmetric) {
        high = niceCeiling(std::max(std::fabs(*lowIt), std::fabs(*highIt)), graph.minimumRange);
        low = -high;
    } else {
        low = *lowIt < 0.0 ? -niceCeiling(-*lowIt, 0.0) : 0.0;
        high = *highIt > 0.0 ? niceCeiling(*highIt, graph.minimumRange) : 0.0;
        if (high <= low) high = low + 1.0;
    }
    auto yOf = [&](double v) { return plot.bottom() - (v - low) / (high - low) * plot.height(); };
    constexpr int kDivisions = 4;
    const QString unit = qs(graph.unit);
    for (int i = 0; i <= kDivisions; ++i) {
        const double v = low + (high - low) * i / kDivisions;
        const double gy = yOf(v);
        p.setPen(QPen(Qt::gray, 0, v == 0.0 ? Qt::SolidLine : Qt::DotLine));
        if (i > 0 && i < kDivisions)
            p.drawLine(QPointF(plot.left(), gy), QPointF(plot.right(), gy));
        p.setPen(Qt::black);
        const QString label = valueText(v) + QLatin1Char(' ') + unit;
        p.drawText(QRectF(area.left(), gy - lh / 2, labelWidth - lh * 0.3, lh),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    }
    const std::size_t n = graph.values.size();
    const double step = n > 1 ? plot.width() / static_cast<double>(n - 1) : 0.0;
    QPainterPath path;
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF pt(plot.left() + step * static_cast<double>(i), yOf(graph.values[i]));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    p.setPen(QPen(Qt::blue, std::max(1.0, lh / 12.0)));
    p.drawPath(path);
    if (n == 1) p.drawEllipse(path.currentPosition(), lh / 6, lh / 6);
    p.setPen(Qt::black);
    const double ly = plot.bottom() + lh * 0.2;
    p.drawText(QRectF(plot.left(), ly, plot.width(), lh), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("1"));
    p.drawText(QRectF(plot.left(), ly, plot.width(), lh), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("采样点(最早在左)"));
    p.drawText(QRectF(plot.left(), ly, plot.width(), lh), Qt::AlignRight | Qt::AlignTop,
               QString::number(n));
}

}  // namespace

PrintDocument printDocument(const ReportPrintJob& job) {
    PrintDocument doc;
    doc.title = job.title;
    if (job.columns.empty()) {
        doc.lines = job.lines;
        return doc;
    }
    for (const ReportColumn& c : job.columns)
        doc.columns.push_back({c.title, c.printWidth});
    doc.rows = job.rows;
    // What a tabular kind writes before its table (the guide's service texts) is printed above
    // the columns; the table's own lines are drawn from the rows.
    const std::string first = job.columns.front().title;
    for (const std::string& line : job.lines) {
        if (line.starts_with(first)) break;
        doc.lines.push_back(line);
    }
    return doc;
}

std::optional<PrintDocument> graphDocument(const AnalysisContext& ctx, int kind, int curve) {
    PrintDocument doc;
    const ReportKindInfo* info = reportKind(kind);
    if (info == nullptr || !info->printOnly) return std::nullopt;
    const bool dts = curve == 0;
    if (kind == 5) {
        doc.title = reportKindTexts()[4];
        for (const PcrCurveData& d : pcrCurveData(ctx))
            doc.graphs.push_back(pcrGraph(d));
        return doc;
    }
    const bool video = kind == 7;
    const char* curveText = video ? kVideoPesCurves[dts ? 0 : 1] : kAudioPesCurves[dts ? 0 : 1];
    doc.title =
        std::string(reportKindTexts()[static_cast<std::size_t>(kind - 1)]) + " " + curveText;
    for (const PesCurveData& d : pesCurveData(ctx)) {
        if (d.video == video) doc.graphs.push_back(pesGraph(d, curveText, dts));
    }
    return doc;
}

namespace {

void paintPage(QPainter& p, const PrintDocument& doc, const Geometry& g, const Page& page, int n,
               int count) {
    const QFontMetricsF tm(g.titleFont, p.device());
    p.setFont(g.font);
    p.setPen(Qt::black);
    p.drawText(QPointF(g.page.left(), g.page.top() + g.ascent),
               QStringLiteral("打印时间：") +
                   doc.printTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    p.setFont(g.titleFont);
    p.drawText(
        QRectF(g.page.left(), g.page.top() + g.lineHeight * 1.2, g.page.width(), tm.lineSpacing()),
        Qt::AlignHCenter | Qt::AlignTop, qs(doc.title));
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(QPointF(g.page.left(), g.body.top() - g.lineHeight * 0.3),
               QPointF(g.page.right(), g.body.top() - g.lineHeight * 0.3));
    p.setFont(g.font);
    p.drawText(QRectF(g.page.left(), g.page.bottom() - g.lineHeight, g.page.width(), g.lineHeight),
               Qt::AlignHCenter | Qt::AlignBottom,
               QStringLiteral("第 %1 页 / 共 %2 页").arg(n + 1).arg(count));

    double y = g.body.top();
    for (const Item& item : page.items) {
        const QRectF area(g.body.left(), y, g.body.width(), item.height);
        if (item.graph >= 0) {
            paintGraph(p, doc.graphs[static_cast<std::size_t>(item.graph)], area, g);
        } else {
            QFont f = g.font;
            f.setBold(item.header);
            p.setFont(f);
            p.setPen(Qt::black);
            p.setClipRect(area);
            for (const Cell& cell : item.cells) {
                double ly = y + g.ascent;
                for (const QString& line : cell.lines) {
                    p.drawText(QPointF(g.body.left() + cell.x, ly), line);
                    ly += g.lineHeight;
                }
            }
            p.setClipping(false);
            if (item.header) {
                const double ruleY = y + item.height - g.lineHeight * 0.15;
                p.drawLine(QPointF(g.body.left(), ruleY), QPointF(g.body.right(), ruleY));
            }
        }
        y += item.height;
    }
}

}  // namespace

int paintPrintDocument(const PrintDocument& doc, QPagedPaintDevice& device) {
    QPainter p;
    if (!p.begin(&device)) return 0;
    const Geometry g = geometry(device);
    const std::vector<Page> pages = layout(doc, g, device);
    const int count = static_cast<int>(pages.size());
    for (int n = 0; n < count; ++n) {
        if (n > 0) device.newPage();
        paintPage(p, doc, g, pages[static_cast<std::size_t>(n)], n, count);
    }
    p.end();
    return count;
}

int paintPrintPage(const PrintDocument& doc, QPaintDevice& device, int page) {
    QPainter p;
    if (!p.begin(&device)) return 0;
    const Geometry g = geometry(device);
    const std::vector<Page> pages = layout(doc, g, device);
    const int count = static_cast<int>(pages.size());
    if (page >= 0 && page < count)
        paintPage(p, doc, g, pages[static_cast<std::size_t>(page)], page, count);
    p.end();
    return count;
}

int printToPdf(const PrintDocument& doc, const QString& path) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(qs(doc.title));
    writer.setCreator(QStringLiteral("码流分析仪"));
    return paintPrintDocument(doc, writer);
}

}  // namespace orv::gui
