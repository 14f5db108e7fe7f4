// The printed stream information report: what one print job holds (the title, the text lines or
// the columns of a tabular kind, and the graphs of the curve kinds) and how it is laid out on
// pages. Painting goes through QPainter on any paged device, so the print preview, the printer
// and a PDF file share one layout.
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "presentation/report_table_text.h"
#include "presentation/report_writers.h"

class QPaintDevice;
class QPagedPaintDevice;

namespace orv::gui {

// One curve printed as a graph: the values in sample order (oldest first) against their place.
struct PrintGraph {
    std::string title;               // the program and the stream the curve belongs to
    std::vector<std::string> notes;  // statistics printed under the title
    std::string unit;                // of the values, for the axis labels
    std::vector<double> values;
    bool symmetric = false;     // the scale is centred on 0 (jitter)
    double minimumRange = 0.0;  // the least top of the scale
};

struct PrintColumn {
    std::string title;
    int width = 0;  // screen pixels; 0 shares what the others leave
};

struct PrintDocument {
    std::string title;
    std::vector<std::string> lines;
    std::vector<PrintColumn> columns;  // empty: the lines are printed as they are
    std::vector<std::vector<std::string>> rows;
    std::vector<PrintGraph> graphs;
    QDateTime printTime = QDateTime::currentDateTime();

    bool empty() const { return lines.empty() && rows.empty() && graphs.empty(); }
};

// The document of a text kind's print job.
PrintDocument printDocument(const ReportPrintJob& job);

// The graphs of the print-only kinds: 5 the PCR jitter of every program that carries PCRs, 7 the
// chosen video delay (0 DTS/PCR, 1 PTS/PCR) of every program's video stream, 8 the same for every
// audio stream. Reads the analysis: call it under ctx.mutex. nullopt for any other kind.
std::optional<PrintDocument> graphDocument(const AnalysisContext& ctx, int kind, int curve);

// Lays the document out on the device's pages and paints it; returns the number of pages
// (0 when the device could not be painted on).
int paintPrintDocument(const PrintDocument& doc, QPagedPaintDevice& device);

// Paints one page of the document as the paged device would get it (a page image, a thumbnail);
// returns the number of pages of the layout on this device.
int paintPrintPage(const PrintDocument& doc, QPaintDevice& device, int page);

// Prints the document into a PDF file (A4); the pages written, 0 on failure.
int printToPdf(const PrintDocument& doc, const QString& path);

}  // namespace orv::gui
