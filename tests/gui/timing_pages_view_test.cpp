// The PCR and PES analysis pages over a real run of the bundled sample (program 1: PMT 0x0100,
// PCR in its video PID 0x0101, audio 0x0102; program 2: PMT 0x0200, PCR on PID 0x0210, video
// 0x0201, audio 0x0202): lists, selection, scale rules, the replay from the buttons, the replay
// flags at a page switch and the stop. And the column reduction of the chart: a lone spike
// survives at any width.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <numeric>
#include <vector>

#include "shell/gui/curve_chart.h"
#include "shell/gui/main_window.h"
#include "shell/gui/page_catalogue.h"
#include "shell/gui/pcr_page_view.h"
#include "shell/gui/pes_page_view.h"
#include "tests/gui/gui_test_support.h"

using namespace orv;
using namespace orv::gui;

namespace {

const QString kSample = QStringLiteral(ORV_SAMPLE_STREAM);

std::vector<CurvePoint> pointsOf(std::span<const CurvePoint> s) {
    return {s.begin(), s.end()};
}

bool samePoints(std::span<const CurvePoint> a, std::span<const CurvePoint> b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(),
        [](const CurvePoint& p, const CurvePoint& q) { return p.x == q.x && p.y == q.y; });
}

void enter(QLineEdit* field, const QString& text) {
    field->setText(text);
    QTest::keyClick(field, Qt::Key_Return);
}

// A window with the sample analysed to its end; the page shown is the TR 101 290 page.
struct AnalysedWindow {
    AnalysisSession session;
    MainWindow window{session};

    bool start() {
        window.show();
        window.analyseFile(kSample);
        return test::waitForPass(session);
    }
    PcrPageView* pcr() { return qobject_cast<PcrPageView*>(window.pageView(kPagePcr)); }
    PesPageView* pes() { return qobject_cast<PesPageView*>(window.pageView(kPagePes)); }
};

}  // namespace

class TimingPagesViewTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;

  private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(kSample)) QSKIP("the bundled sample was not generated");
    }

    // 100 000 points at 0 with one spike: at every width the spike is the extreme of exactly
    // the column its x falls into, and no column between the first and last point is empty.
    void decimationKeepsASpike_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("at");
        QTest::addColumn<double>("value");
        for (int width : {1, 2, 3, 7, 100, 333, 1024, 4096, 99'999, 100'000})
            for (int at : {0, 12'345, 99'999})
                QTest::addRow("w%d at %d up", width, at) << width << at << 1e6;
        QTest::newRow("down w640") << 640 << 50'000 << -1e6;
        QTest::newRow("down w1") << 1 << 77'777 << -1e6;
    }
    void decimationKeepsASpike() {
        QFETCH(int, width);
        QFETCH(int, at);
        QFETCH(double, value);
        constexpr int n = 100'000;
        std::vector<CurvePoint> points(n);
        for (int i = 0; i < n; ++i)
            points[static_cast<std::size_t>(i)] = {i, i == at ? value : 0.0};
        std::vector<ColumnSpan> columns;
        decimateToColumns(points, 0, n - 1, width, columns);
        QCOMPARE(static_cast<int>(columns.size()), width);
        // Column of x over [0, n-1] split into `width` equal parts; the right end is the last.
        const int expected = std::min(width - 1, static_cast<int>(double(at) * width / (n - 1)));
        int holding = 0;
        for (int c = 0; c < width; ++c) {
            const ColumnSpan& s = columns[static_cast<std::size_t>(c)];
            QVERIFY2(s.any, qPrintable(QStringLiteral("column %1 empty").arg(c)));
            if ((value > 0 ? s.high : s.low) == value) {
                ++holding;
                QCOMPARE(c, expected);
            }
        }
        QCOMPARE(holding, 1);
    }

    // The spike also reaches the pixels: drawn into a narrow image, some pixel of the plot's top
    // row takes the line's colour although 99 999 points lie on the zero line.
    void paintedSpikeIsVisible() {
        std::vector<CurvePoint> points(100'000);
        for (int i = 0; i < 100'000; ++i)
            points[static_cast<std::size_t>(i)] = {i, 0.0};
        points[31'000].y = 5000;  // far above the scale: drawn at its top edge
        QImage image(240, 120, QImage::Format_RGB32);
        image.fill(Qt::white);
        const QColor colour(255, 0, 255);
        const ChartLine line{points, colour};
        ChartScratch scratch;
        {
            QPainter painter(&image);
            paintCurve(painter, image.rect(), {-100, 100, "100", "-100"}, 0, 99'999, {&line, 1},
                       scratch);
        }
        int topHits = 0, rows = 0;
        for (int y = 0; y < image.height(); ++y) {
            bool any = false;
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == colour) {
                    any = true;
                    if (y < image.height() / 4) ++topHits;
                }
            rows += any;
        }
        QVERIFY2(topHits > 0, "the spike is not drawn");
        QVERIFY(rows > image.height() / 3);  // the vertical stroke of the spike
    }

    // The PCR page after the pass: both PCR PIDs in the selector and the list, the chosen
    // program's curve and values, another choice another curve, the scale rules, the histograms.
    void pcrPageShowsTheSample() {
        AnalysedWindow a;
        QVERIFY(a.start());
        PcrPageView* view = a.pcr();
        QVERIFY(view);
        a.window.showPage(kPagePcr);
        QTRY_COMPARE(view->selector()->count(), 2);
        QCOMPARE(view->selector()->itemText(0),
                 QStringLiteral("节目0x0001  PID=0x0100  PCR_PID=0x0101 "));
        QCOMPARE(view->selector()->itemText(1),
                 QStringLiteral("节目0x0002  PID=0x0200  PCR_PID=0x0210 "));
        QTreeWidget* list = view->statisticsList();
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->headerItem()->text(2), QStringLiteral("当前抖动(ns)"));
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("节目0x0001"));
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("0x0101"));
        QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("节目0x0002"));
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("0x0210"));

        // Nothing chosen yet: no curve.
        QCOMPARE(view->selector()->currentIndex(), -1);
        QVERIFY(view->jitterChart()->curvePoints(0).empty());

        view->selector()->setCurrentIndex(0);
        const std::vector<CurvePoint> first = pointsOf(view->intervalChart()->curvePoints(0));
        QCOMPARE(static_cast<int>(first.size()), 100);  // 12 s carry more than 300 PCRs
        QVERIFY(
            samePoints(view->jitterChart()->curvePoints(0), view->model().jitterCurve().points));
        QVERIFY(view->field(PcrField::Pcr)->text().startsWith(QStringLiteral("PCR: ")));
        QCOMPARE(view->field(PcrField::ReferenceClock)->text(), QStringLiteral("27,000,000 Hz"));
        // Intervals are drawn in ms: the sample's PCRs come well within 100 ms.
        for (const CurvePoint& p : first)
            QVERIFY2(p.y > 0 && p.y < 100, qPrintable(QString::number(p.y)));

        view->selector()->setCurrentIndex(1);
        QVERIFY(!samePoints(view->intervalChart()->curvePoints(0), first));
        QVERIFY(!view->intervalChart()->curvePoints(0).empty());

        // Scale fields: the OK action (Enter) rewrites what the rules correct, and the charts
        // take the ranges.
        enter(view->jitterRangeField(), QStringLiteral("20000"));
        QCOMPARE(view->jitterRangeField()->text(), QStringLiteral("10000"));
        QCOMPARE(view->jitterChart()->scale().top, 10000.0);
        QCOMPARE(view->jitterChart()->scale().bottomLabel, std::string("-10000"));
        enter(view->jitterRangeField(), QString());
        QCOMPARE(view->jitterRangeField()->text(), QStringLiteral("1000"));
        view->intervalMaxField()->setText(QStringLiteral("40"));
        enter(view->intervalMinField(), QStringLiteral("60"));
        QCOMPARE(view->intervalMaxField()->text(), QStringLiteral("50"));
        QCOMPARE(view->intervalMinField()->text(), QStringLiteral("0"));
        QCOMPARE(view->intervalChart()->scale().top, 50.0);
        QCOMPARE(view->intervalChart()->scale().bottom, 0.0);
        enter(view->observationField(), QStringLiteral("250"));
        QCOMPARE(view->observationField()->text(), QStringLiteral("100"));

        // Histograms replace the curves; the bars are the model's percentages.
        QTest::mouseClick(view->histogramsButton(), Qt::LeftButton);
        QVERIFY(view->jitterHistogram()->isVisible());
        QVERIFY(!view->jitterChart()->isVisible());
        QCOMPARE(static_cast<int>(view->jitterHistogram()->bars().size()), 23);
        QCOMPARE(static_cast<int>(view->intervalHistogram()->bars().size()), 15);
        const auto bars = view->intervalHistogram()->bars();
        QVERIFY(std::accumulate(bars.begin(), bars.end(), 0) > 50);
        QTest::mouseClick(view->curvesButton(), Qt::LeftButton);
        QVERIFY(view->jitterChart()->isVisible());
        QVERIFY(!view->jitterHistogram()->isVisible());
    }

    // Play and pause from the buttons: the replay thread runs, rebuilds the curve, and is gone
    // when the pause click returns; the scroll buttons follow the pause.
    void pcrReplayFromTheButtons() {
        AnalysedWindow a;
        QVERIFY(a.start());
        PcrPageView* view = a.pcr();
        a.window.showPage(kPagePcr);
        view->selector()->setCurrentIndex(1);
        QVERIFY(view->playButton()->isEnabled());
        QVERIFY(view->forwardButton()->isEnabled());  // a choice pauses the page

        QTest::mouseClick(view->playButton(), Qt::LeftButton);
        QVERIFY(view->model().replayRunning());
        QVERIFY(!view->playButton()->isEnabled());
        QVERIFY(view->pauseButton()->isEnabled());
        QVERIFY(!view->backButton()->isEnabled());
        QVERIFY(!view->forwardButton()->isEnabled());

        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(view->pauseButton(), Qt::LeftButton);
        qInfo("pause returned after %lld ms", static_cast<long long>(clock.elapsed()));
        QVERIFY(!view->model().replayRunning());
        QVERIFY(view->playButton()->isEnabled());
        QVERIFY(!view->pauseButton()->isEnabled());

        // Resumed, the replay runs to the end of the file and pauses the page by itself.
        QTest::mouseClick(view->playButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view->playButton()->isEnabled(), 20000);
        QVERIFY(!view->model().replayRunning());
        QVERIFY(view->model().replayFinished());
        QCOMPARE(view->jitterChart()->curvePoints(0).size(), std::size_t{100});

        for (int i = 0; i < 11; ++i)
            QTest::mouseClick(view->forwardButton(), Qt::LeftButton);
        QCOMPARE(view->model().shift(), 10);
        // Window samples 200 to 299: the chart shows the model's window.
        QVERIFY(
            samePoints(view->jitterChart()->curvePoints(0), view->model().jitterCurve().points));
    }

    // The flags: the rebuild after the pass raises the PCR page's two while it is hidden, and
    // showing a page clears its two; the stop clears the pages and ends a running replay.
    void pageSwitchClearsFlagsAndStopClears() {
        AnalysedWindow a;
        QVERIFY(a.start());
        PcrPageView* pcr = a.pcr();
        PesPageView* pes = a.pes();
        QVERIFY(pcr->curvesFlag() && pcr->histogramsFlag());
        a.window.showPage(kPagePcr);
        QVERIFY(!pcr->curvesFlag() && !pcr->histogramsFlag());

        pes->model().setRebuildFlags(true, true);
        a.window.showPage(kPagePes);
        QVERIFY(!pes->model().rebuildVideo() && !pes->model().rebuildAudio());

        a.window.showPage(kPagePcr);
        pcr->selector()->setCurrentIndex(0);
        QTest::mouseClick(pcr->playButton(), Qt::LeftButton);
        QVERIFY(pcr->model().replayRunning());
        a.window.action(Command::Stop)->trigger();
        QVERIFY(!pcr->model().replayRunning());
        QCOMPARE(pcr->selector()->count(), 0);
        QCOMPARE(pcr->statisticsList()->topLevelItemCount(), 0);
        QVERIFY(pcr->field(PcrField::Pcr)->text().isEmpty());
        QVERIFY(pcr->jitterChart()->curvePoints(0).empty());
        QVERIFY(pcr->playButton()->isEnabled());
        QCOMPARE(pes->programSelector()->count(), 0);
        QVERIFY(pes->chart(PesSide::Video)->curvePoints(0).empty());
    }

    // The PES page: the chosen program's PIDs, play draws the curves, pausing one side keeps the
    // replay, pausing both ends it; the range rule; a closing window ends a running replay.
    void pesPageAndReplay() {
        AnalysedWindow a;
        QVERIFY(a.start());
        PesPageView* view = a.pes();
        QVERIFY(view);
        a.window.showPage(kPagePes);
        QTRY_COMPARE(view->programSelector()->count(), 2);
        QCOMPARE(view->programSelector()->itemText(1),
                 QStringLiteral("节目号:0x0002  PMT_PID:0x0200"));
        view->programSelector()->setCurrentIndex(0);
        QCOMPARE(view->videoPidSelector()->itemText(0), QStringLiteral("PID:0x0101"));
        QCOMPARE(view->audioPidSelector()->itemText(0), QStringLiteral("PID:0x0102"));
        QCOMPARE(view->field(PesField::PcrPid)->text(), QStringLiteral("0x0101"));
        QCOMPARE(view->field(PesField::Scrambling)->text(), QStringLiteral("组件未加扰"));

        enter(view->rangeField(PesSide::Video), QStringLiteral("5000"));
        QCOMPARE(view->rangeField(PesSide::Video)->text(), QStringLiteral("3000"));
        QCOMPARE(view->chart(PesSide::Video)->scale().top, 3000.0);
        QCOMPARE(view->chart(PesSide::Video)->scale().bottom, -200.0);

        // Paused sides draw nothing. One replay thread serves both sides: it ends only when
        // both are paused (no event is processed between the clicks, so no refresh draws).
        QVERIFY(view->chart(PesSide::Video)->curvePoints(1).empty());
        QTest::mouseClick(view->playButton(PesSide::Video), Qt::LeftButton);
        QTest::mouseClick(view->playButton(PesSide::Audio), Qt::LeftButton);
        QVERIFY(view->model().replayRunning());
        QVERIFY(view->pauseButton(PesSide::Video)->isEnabled());
        QVERIFY(!view->playButton(PesSide::Audio)->isEnabled());
        QTest::mouseClick(view->pauseButton(PesSide::Audio), Qt::LeftButton);
        QVERIFY(view->model().replayRunning());
        QVERIFY(view->playButton(PesSide::Audio)->isEnabled());
        QTest::mouseClick(view->pauseButton(PesSide::Video), Qt::LeftButton);
        QVERIFY(!view->model().replayRunning());
        QVERIFY(view->chart(PesSide::Video)->curvePoints(1).empty());

        // Resumed, the video curves grow from the replayed headers.
        QTest::mouseClick(view->playButton(PesSide::Video), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view->chart(PesSide::Video)->curvePoints(1).empty(), 10000);
        QVERIFY(view->chart(PesSide::Video)->curveVisible(1));
        // The DTS distance of 25 Hz video is 40 ms.
        QCOMPARE(view->chart(PesSide::Video)->curvePoints(1).back().y, 40.0);
        // Unchecking a box hides its curve.
        view->videoBox(VideoCurve::DtsDistance)->setChecked(false);
        QVERIFY(!view->chart(PesSide::Video)->curveVisible(1));
        // At the end of the file the page pauses by itself.
        QTRY_VERIFY_WITH_TIMEOUT(view->playButton(PesSide::Video)->isEnabled(), 20000);
        QVERIFY(!view->model().replayRunning());

        // The rebuild at a pass's end draws a paused side too, and its flags are down after.
        QVERIFY(view->chart(PesSide::Audio)->curvePoints(1).empty());
        view->passFinished();
        QVERIFY(!view->chart(PesSide::Audio)->curvePoints(1).empty());
        QCOMPARE(view->chart(PesSide::Audio)->curvePoints(1).back().y, 24.0);  // 1152 at 48 kHz
        QVERIFY(!view->model().rebuildVideo() && !view->model().rebuildAudio());

        // A closing window ends a running replay.
        QTest::mouseClick(view->playButton(PesSide::Video), Qt::LeftButton);
        QVERIFY(view->model().replayRunning());
        a.window.close();
        QVERIFY(!view->model().replayRunning());
    }
};

QTEST_MAIN(TimingPagesViewTest)
#include "timing_pages_view_test.moc"
