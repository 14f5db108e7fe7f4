// The desktop program on the bundled sample, on a real display (Xvfb in CI): the window opens
// maximised, analyses the file as `orv01 FILE` does, shows the title, the lamps and the event
// rows of the five injected faults, and leaves a screenshot of every page in the build tree.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTreeWidget>
#include <QtTest>

#include "shell/gui/main_window.h"
#include "shell/gui/results_view.h"
#include "tests/gui/gui_test_support.h"

using namespace orv;
using namespace orv::gui;

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

        const QDir shots(QStringLiteral(ORV_SCREENSHOT_DIR));
        QVERIFY(shots.mkpath(QStringLiteral(".")));
        for (int i = 0; i < kPageCount; ++i) {
            w.selectEntry(i);
            w.tick();
            QCoreApplication::processEvents();
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
