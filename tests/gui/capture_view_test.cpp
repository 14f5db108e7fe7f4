// The data capture page over the bundled sample: an error capture and a table capture re-read the
// analysed file, list their copies and show them; the saved copies are compared with the sample's
// own bytes; the unseen-table question, clear and the stop-time reset.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

#include "shell/gui/capture_page_view.h"
#include "shell/gui/main_window.h"
#include "shell/gui/page_catalogue.h"
#include "tests/gui/gui_test_support.h"

using namespace orv;
using namespace orv::gui;

namespace {

const QString kSample = QStringLiteral(ORV_SAMPLE_STREAM);
constexpr int kPacket = 188;
constexpr qsizetype kTeiPacket = 31918;  // the packet of the sample that carries the TEI fault

QByteArray sampleBytes() {
    QFile f(kSample);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

unsigned pidOf(const char* p) {
    return (static_cast<unsigned>(static_cast<uint8_t>(p[1]) & 0x1Fu) << 8) |
           static_cast<uint8_t>(p[2]);
}

// The first PAT section of the sample, read from its packets by hand: the first packet of PID 0
// that starts a section, its pointer field, then 3 + section_length bytes.
QByteArray firstPatSection(const QByteArray& ts) {
    for (qsizetype at = 0; at + kPacket <= ts.size(); at += kPacket) {
        const char* p = ts.constData() + at;
        if (pidOf(p) != 0 || (static_cast<uint8_t>(p[1]) & 0x40u) == 0) continue;
        const qsizetype start = at + 5 + static_cast<uint8_t>(p[4]);
        const qsizetype length = ((static_cast<uint8_t>(ts[start + 1]) & 0x0F) << 8) |
                                 static_cast<uint8_t>(ts[start + 2]);
        return ts.mid(start, 3 + length);
    }
    return {};
}

bool chooseLine(CapturePageView& view, int tab, const QString& line) {
    view.kindTabs()->setCurrentIndex(tab);
    view.refresh();
    const QList<QListWidgetItem*> found = view.typeList()->findItems(line, Qt::MatchExactly);
    if (found.isEmpty()) return false;
    view.typeList()->setCurrentItem(found.front());
    return true;
}

// Triggers the chosen line and waits, redrawing, until the re-reading has ended.
bool captureAll(CapturePageView& view) {
    view.triggerButton()->click();
    if (!view.capturing() && view.copyList()->count() == 0) return false;
    return QTest::qWaitFor(
        [&] {
            view.refresh();
            return !view.capturing();
        },
        60000);
}

QString savedFile(CapturePageView& view, const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (!view.saveTo(path)) return {};
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().toHex()) : QString();
}

}  // namespace

class CaptureViewTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;
    QTemporaryDir out_;
    AnalysisSession* session_ = nullptr;
    MainWindow* window_ = nullptr;

    CapturePageView* view() const {
        return qobject_cast<CapturePageView*>(window_->page(kPageCapture));
    }

  private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(kSample)) QSKIP("the bundled sample was not generated");
        session_ = new AnalysisSession;
        window_ = new MainWindow(*session_);
        window_->analyseFile(kSample);
        QVERIFY(test::waitForPass(*session_));
        window_->showPage(kPageCapture);
        QVERIFY(view() != nullptr);
    }

    // Each case starts from an idle page, whatever the case before left.
    void init() {
        CapturePageView& v = *view();
        if (v.stopButton()->isEnabled()) v.stopButton()->click();
        if (v.clearButton()->isEnabled()) v.clearButton()->click();
    }

    void cleanupTestCase() {
        delete window_;
        delete session_;
    }

    // The error page: the packet with the transport error is the one copy, shown with its header
    // decoded and its 188 bytes marked in the dump of the block around it.
    void teiCaptureShowsTheFaultyPacket() {
        CapturePageView& v = *view();
        QVERIFY(chooseLine(v, 3, QStringLiteral("传送错")));
        v.countField()->clear();
        QVERIFY(captureAll(v));
        QCOMPARE(v.copyList()->count(), 1);
        QCOMPARE(v.copyList()->item(0)->text(), QStringLiteral("收到第 001 个数据"));
        // An empty count on the error page asks for at most 10 copies.
        QCOMPARE(v.countField()->text(), QStringLiteral("10"));
        QVERIFY(!v.triggerButton()->isEnabled() && !v.stopButton()->isEnabled());
        QVERIFY(v.clearButton()->isEnabled() && v.saveButton()->isEnabled());

        const QString syntax = v.syntaxText()->toPlainText();
        QVERIFY2(syntax.contains(
                     QRegularExpression(QStringLiteral("^Transport Error Indicator\\s+1 bit\\s+1$"),
                                        QRegularExpression::MultilineOption)),
                 qPrintable(syntax));
        QVERIFY2(syntax.contains(QRegularExpression(QStringLiteral("^PID\\s+13 bit\\s+0x0201$"),
                                                    QRegularExpression::MultilineOption)),
                 qPrintable(syntax));

        // The saved block holds the sample's faulty packet at the offset the dump marks.
        const QByteArray ts = sampleBytes();
        const QByteArray faulty = ts.mid(kTeiPacket * kPacket, kPacket);
        QCOMPARE(static_cast<uint8_t>(faulty[0]), uint8_t{0x47});
        QCOMPARE(pidOf(faulty.constData()), 0x0201u);
        QVERIFY((static_cast<uint8_t>(faulty[1]) & 0x80u) != 0);
        const QString saved = savedFile(v, out_, QStringLiteral("tei.ts"));
        const qsizetype at = saved.indexOf(QString::fromLatin1(faulty.toHex()));
        QVERIFY(at >= 0 && at % (2 * kPacket) == 0);
        const QList<QTextEdit::ExtraSelection> marks = v.hexText()->extraSelections();
        QVERIFY(!marks.isEmpty());
        QString marked;
        for (const QTextEdit::ExtraSelection& m : marks)
            marked += m.cursor.selectedText() + QLatin1Char(' ');
        QCOMPARE(marked.split(QLatin1Char(' '), Qt::SkipEmptyParts).join(QString()),
                 QString::fromLatin1(faulty.toHex()));
        const QTextCursor& first = marks.front().cursor;
        const int line = first.block().blockNumber();
        const int column = first.selectionStart() - first.block().position();
        QCOMPARE(line * 20 + (column - 8) / 3, at / 2);

        // For the eye: the page with the copy shown.
        QDir().mkpath(QStringLiteral(ORV_SCREENSHOT_DIR));
        window_->grab().save(QDir(QStringLiteral(ORV_SCREENSHOT_DIR)).filePath("capture-tei.png"));
    }

    // The section page: three PAT copies, each the sample's PAT section whole; the second line
    // shows the second copy; clear empties the page and lets a new capture start.
    void patCaptureShowsAndSavesTheSection() {
        CapturePageView& v = *view();
        QVERIFY(chooseLine(v, 0, QStringLiteral("PAT (PID=0x0000  table_id=0x00)")));
        v.countField()->setText(QStringLiteral("3"));
        QVERIFY(captureAll(v));
        QCOMPARE(v.copyList()->count(), 3);
        QCOMPARE(v.copyList()->item(2)->text(), QStringLiteral("收到第 003 个数据"));
        QVERIFY(
            v.syntaxText()->toPlainText().contains(QStringLiteral("Program Association Section")));
        QVERIFY(v.hexText()->extraSelections().isEmpty());

        const QString title = v.copyTitle()->text();
        v.copyList()->setCurrentRow(1);
        QVERIFY(v.copyTitle()->text() != title);
        QVERIFY(
            v.syntaxText()->toPlainText().contains(QStringLiteral("Program Association Section")));

        const QByteArray pat = firstPatSection(sampleBytes());
        QVERIFY(pat.size() > 3);
        const QString section = QString::fromLatin1(pat.toHex());
        QCOMPARE(savedFile(v, out_, QStringLiteral("pat.ts")), section + section + section);

        v.clearButton()->click();
        QCOMPARE(v.copyList()->count(), 0);
        QVERIFY(v.syntaxText()->toPlainText().isEmpty());
        QVERIFY(v.hexText()->toPlainText().isEmpty());
        QCOMPARE(v.elapsedLabel()->text(), QStringLiteral("00:00:00"));
        QVERIFY(v.triggerButton()->isEnabled() && v.countField()->isEnabled());
        QVERIFY(!v.saveButton()->isEnabled() && !v.clearButton()->isEnabled());
        QVERIFY(v.typeList()->isEnabled());
    }

    // The sample has no CAT: the question is asked, and Cancel starts nothing.
    void unseenTableAsksFirst() {
        CapturePageView& v = *view();
        QStringList asked;
        v.setQuestionAnswer([&](const QString& q) {
            asked << q;
            return false;
        });
        QVERIFY(chooseLine(v, 0, QStringLiteral("CAT (PID=0x0001  table_id=0x01)")));
        v.triggerButton()->click();
        QCOMPARE(asked, QStringList{QStringLiteral("传送流中可能不存在CAT。继续?")});
        QVERIFY(!v.capturing());
        QVERIFY(v.triggerButton()->isEnabled());
        QCOMPARE(v.copyList()->count(), 0);
    }

    // "停止分析" clears the page: copies, viewer and type list; nothing can be triggered until the
    // next run has finished its initialisation phase.
    void stopClearsThePage() {
        CapturePageView& v = *view();
        QVERIFY(chooseLine(v, 0, QStringLiteral("PAT (PID=0x0000  table_id=0x00)")));
        v.countField()->setText(QStringLiteral("2"));
        QVERIFY(captureAll(v));
        QCOMPARE(v.copyList()->count(), 2);

        window_->action(Command::Stop)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !session_->analysisActive(); }, 10000));
        QCOMPARE(v.copyList()->count(), 0);
        QCOMPARE(v.typeList()->count(), 0);
        QVERIFY(v.syntaxText()->toPlainText().isEmpty());
        QVERIFY(v.copyTitle()->text().isEmpty());
        QCOMPARE(v.elapsedLabel()->text(), QStringLiteral("00:00:00"));
        v.refresh();
        QCOMPARE(v.typeList()->count(), 0);
        v.triggerButton()->click();
        QVERIFY(!v.capturing());
    }
};

QTEST_MAIN(CaptureViewTest)
#include "capture_view_test.moc"
