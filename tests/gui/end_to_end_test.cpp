// The desktop program on the bundled sample, on a real display (Xvfb in CI): the window opens
// maximised, analyses the file as `orv01 FILE` does, shows the title, the lamps and the event
// rows of the five injected faults, and leaves a screenshot of every page in the build tree.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

#include "shell/gui/basic_info_view.h"
#include "shell/gui/buffer_view.h"
#include "shell/gui/capture_page_view.h"
#include "shell/gui/curve_chart.h"
#include "shell/gui/guide_view.h"
#include "shell/gui/main_window.h"
#include "shell/gui/pcr_page_view.h"
#include "shell/gui/pes_page_view.h"
#include "shell/gui/program_info_view.h"
#include "shell/gui/results_view.h"
#include "shell/gui/structure_list_view.h"
#include "shell/gui/table_tree_view.h"
#include "tests/gui/gui_test_support.h"

using namespace orv;
using namespace orv::gui;

namespace {

template <class View>
View& viewOf(MainWindow& w, int page) {
    return *qobject_cast<View*>(w.pageView(page));
}

// Shows the page and lets its view read the finished run.
void show(MainWindow& w, int page) {
    w.selectEntry(page);
    w.tick();
    QCoreApplication::processEvents();
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;

  private Q_SLOTS:
    void sampleOnEveryPage() {
        const QString sample = QStringLiteral(ORV_SAMPLE_STREAM);
        if (!QFile::exists(sample)) QSKIP("the bundled sample was not generated");
        AnalysisSession session;
        QVERIFY(session.loadSettings());
        MainWindow w(session);
        w.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.analyseFile(sample);
        QVERIFY(test::waitForPass(session));
        w.tick();  // what the view timer draws next

        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-离线分析orv01-sample.ts"));
        ResultsView& r = *w.resultsView();
        int red = 0;
        for (int k = 0; k < kKindCount; ++k)
            red += r.lampRed(k) ? 1 : 0;
        QCOMPARE(red, 4);
        QVERIFY(r.lampRed(3) && r.lampRed(7) && r.lampRed(13) && r.lampRed(20));
        QCOMPARE(r.counterBox(20)->text(), QStringLiteral("3"));
        QCOMPARE(r.eventList()->topLevelItemCount(), 8);
        QVERIFY(r.eventList()->topLevelItem(4)->text(3).endsWith(QStringLiteral("第37577包")));

        // Every page holds the sample's content; where a page waits for a choice, the choice a
        // user would make first.
        show(w, kPageBasic);
        QTRY_VERIFY(viewOf<BasicInfoView>(w, kPageBasic).intervalList()->topLevelItemCount() > 0);
        show(w, kPageProgram);
        QTRY_COMPARE(viewOf<ProgramInfoView>(w, kPageProgram).programSelector()->count(), 2);
        show(w, kPageBandwidth);
        QTRY_VERIFY(viewOf<StructureListView>(w, kPageBandwidth).list()->rowCount() >= 10);
        show(w, kPagePcr);
        auto& pcr = viewOf<PcrPageView>(w, kPagePcr);
        QTRY_COMPARE(pcr.selector()->count(), 2);
        pcr.selector()->setCurrentIndex(0);
        QTRY_VERIFY(pcr.statisticsList()->topLevelItemCount() > 0);
        show(w, kPageTables);
        QVERIFY(w.tableTreeView()->tree()->topLevelItemCount() > 0);
        show(w, kPageBuffer);
        QTRY_COMPARE(viewOf<BufferView>(w, kPageBuffer).programSelector()->count(), 2);
        show(w, kPagePes);
        auto& pes = viewOf<PesPageView>(w, kPagePes);
        QTRY_COMPARE(pes.programSelector()->count(), 2);
        pes.programSelector()->setCurrentIndex(0);
        // After a file's pass the PES curves come from a replay of the file: both sides to its end.
        QTest::mouseClick(pes.playButton(PesSide::Video), Qt::LeftButton);
        QTest::mouseClick(pes.playButton(PesSide::Audio), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!pes.model().replayRunning(), 30000);
        w.tick();
        QVERIFY(!pes.chart(PesSide::Video)->curvePoints(1).empty());
        show(w, kPageCapture);
        auto& capture = viewOf<CapturePageView>(w, kPageCapture);
        capture.kindTabs()->setCurrentIndex(3);
        capture.refresh();
        const QList<QListWidgetItem*> tei =
            capture.typeList()->findItems(QStringLiteral("传送错"), Qt::MatchExactly);
        QVERIFY(!tei.isEmpty());
        capture.typeList()->setCurrentItem(tei.front());
        capture.triggerButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            (capture.refresh(), !capture.capturing() && capture.copyList()->count() == 1), 60000);
        show(w, kPageGuide);
        auto& guide = viewOf<GuideView>(w, kPageGuide);
        QTRY_COMPARE(guide.serviceList(GuideListId::Actual)->rowCount(), 2);
        guide.serviceList(GuideListId::Actual)->setCurrentCell(0, 0);
        QTRY_VERIFY(guide.eventList()->rowCount() > 0);

        const QDir shots(QStringLiteral(ORV_SCREENSHOT_DIR));
        QVERIFY(shots.mkpath(QStringLiteral(".")));
        for (int i = 0; i < kPageCount; ++i) {
            show(w, i);
            const QPixmap shot = w.grab();
            QVERIFY(!shot.isNull());
            const QString name =
                shots.filePath(QStringLiteral("page-%1.png").arg(i, 2, 10, QChar('0')));
            QVERIFY2(shot.save(name), qPrintable(name));
        }
        QVERIFY(w.close());
    }
};

QTEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
