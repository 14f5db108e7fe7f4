// The print settings dialog "打印信息" on the bundled sample: its combos, the report file it
// appends to, the refusals, and the printed pages written into PDF files.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QtTest>
#include <memory>

#include "presentation/report_dialog.h"
#include "shell/gui/print_dialog_view.h"
#include "tests/gui/gui_test_support.h"

using namespace orv;
using namespace orv::gui;

namespace {

const QString kSample = QStringLiteral(ORV_SAMPLE_STREAM);

// The PAT of the sample: network PID 0x0010, program 1 on PMT PID 0x0100, program 2 on 0x0200.
constexpr const char* kPatHex =
    "0000    00 b0 15 00 01 c1 00 00 00 00 e0 10 00 01 e1 00 00 02 e2 00 ";

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Pages of a PDF file as its page objects count them.
int pdfPages(const QByteArray& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    return static_cast<int>(QString::fromLatin1(pdf).count(page));
}

// A page painted into an A4 image at 100 dpi.
QImage pageImage(const PrintDocument& doc, int page) {
    QImage image(827, 1169, QImage::Format_RGB32);
    image.setDotsPerMeterX(3937);
    image.setDotsPerMeterY(3937);
    image.fill(Qt::white);
    paintPrintPage(doc, image, page);
    return image;
}

int countPixels(const QImage& image, Qt::GlobalColor color) {
    const QRgb wanted = QColor(color).rgb();
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            n += line[x] == wanted ? 1 : 0;
    }
    return n;
}

// A dialog on the session that keeps what it was asked to print.
struct DialogUnderTest {
    std::vector<PrintDocument> printed;
    PrintDialog dialog;
    explicit DialogUnderTest(AnalysisSession& s) : dialog(s) {
        dialog.setPrintHandler([this](const PrintDocument& d) { printed.push_back(d); });
    }
    void choose(int kind, bool save, bool print, const QString& path, bool utf8 = true) {
        dialog.kindButton(kind)->setChecked(true);
        dialog.saveBox()->setChecked(save);
        dialog.printBox()->setChecked(print);
        dialog.utf8Box()->setChecked(utf8);
        dialog.pathEdit()->setText(path);
    }
};

}  // namespace

class PrintDialogTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;
    std::unique_ptr<AnalysisSession> session_;

    QString file(const char* name) const { return QDir(folders_.path()).filePath(name); }

  private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(kSample)) QSKIP("the bundled sample was not generated");
        session_ = std::make_unique<AnalysisSession>();
        QVERIFY(session_->startOffline(kSample));
        QVERIFY(test::waitForPass(*session_));
    }

    void combosShowWhatTheAnalysisHolds() {
        DialogUnderTest t(*session_);
        std::vector<ReportTableChoice> tables;
        QVERIFY(session_->access(
            [&](AnalysisContext& ctx, ResultsPage&) { tables = reportTableChoices(ctx); }));
        QCOMPARE(t.dialog.tableCombo()->count(), static_cast<int>(tables.size()));
        for (int i = 0; i < t.dialog.tableCombo()->count(); ++i)
            QCOMPARE(t.dialog.tableCombo()->itemText(i).toStdString(), tables[i].text);
        // Read off the sample's PAT: both programs' PMTs follow the PAT; the sample has no CAT.
        QCOMPARE(t.dialog.tableCombo()->itemText(0), QStringLiteral("PAT   table_id=0x00"));
        QCOMPARE(t.dialog.tableCombo()->itemText(1), QStringLiteral("PMT[0001] PID:0x0100"));
        QCOMPARE(t.dialog.tableCombo()->itemText(2), QStringLiteral("PMT[0002] PID:0x0200"));
        QCOMPARE(t.dialog.tableCombo()->findText(QStringLiteral("CAT   table_id=0x01")), -1);
        QCOMPARE(t.dialog.tableCombo()->currentIndex(), 0);

        QCOMPARE(t.dialog.videoCombo()->itemText(1), QStringLiteral("视频 PTS/PCR Delay"));
        QCOMPARE(t.dialog.audioCombo()->currentText(), QStringLiteral("音频 DTS/PCR Delay"));
        QVERIFY(t.dialog.kindButton(1)->isChecked());
        QCOMPARE(t.dialog.kindButton(10)->text(), QStringLiteral("电子节目指南"));
        QCOMPARE(t.dialog.pathEdit()->text(), QStringLiteral("c:\\TS_DATA.log"));
        QVERIFY(t.dialog.saveBox()->isChecked() && t.dialog.printBox()->isChecked());
        t.dialog.saveBox()->setChecked(false);
        QVERIFY(!t.dialog.pathEdit()->isEnabled() && !t.dialog.browseButton()->isEnabled());
        t.dialog.saveBox()->setChecked(true);
        QVERIFY(t.dialog.pathEdit()->isEnabled() && t.dialog.browseButton()->isEnabled());
    }

    void saveAppendsTheKindsText_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("table PAT")
            << 6 << true << QByteArray("表信息\t\t\r\n") << QByteArray(kPatHex) + "\r\n";
        // 表 B1ED, 信 D0C5, 息 CFA2 in code page 936.
        QTest::newRow("table PAT, GBK")
            << 6 << false << QByteArray("\xb1\xed\xd0\xc5\xcf\xa2\t\t\r\n")
            << QByteArray(kPatHex) + "\r\n";
        QTest::newRow("basic information")
            << 2 << true << QByteArray("传送流基本信息\t\r\n\t\r\n")
            << QByteArray("\t\t节目ID:               PMT[0002]  PID:0x0200\r\n");
        // Header cells padded to 6, 20 and 24 bytes, the last followed by two spaces.
        QTest::newRow("event list")
            << 3 << true << QByteArray("TR101 290 监测信息\t\r\n")
            << QByteArray("序号  发生时间            事件类型                事件描述  \r\n");
        QTest::newRow("program") << 4 << true << QByteArray("节目信息\t\t\r\n")
                                 << QByteArray("    节目PID:0x0100   节目号:0x0001\r\n");
        // Guide header cells padded to 11, 12, 46 and 22 bytes, the last unpadded.
        QTest::newRow("guide") << 10 << true << QByteArray("电子节目指南\t\r\n")
                               << "事件序号" + QByteArray(3, ' ') + "事件标识符" +
                                      QByteArray(2, ' ') + "事件名称" + QByteArray(38, ' ') +
                                      "起始时间" + QByteArray(14, ' ') + "持续时间\r\n";
    }
    void saveAppendsTheKindsText() {
        QFETCH(int, kind);
        QFETCH(bool, utf8);
        QFETCH(QByteArray, title);
        QFETCH(QByteArray, line);
        const QString path = file(QTest::currentDataTag());
        for (int round = 1; round <= 2; ++round) {
            DialogUnderTest t(*session_);
            t.choose(kind, true, false, path, utf8);
            t.dialog.accept();
            QVERIFY(t.printed.empty());
            const QByteArray saved = fileBytes(path);
            // Every save appends one block: title, time line, body.
            QCOMPARE(saved.count(title), round);
            QCOMPARE(saved.count(line), round);
            QVERIFY(saved.startsWith(title));
            QVERIFY(saved.mid(title.size())
                        .startsWith(utf8 ? QByteArray("时间 ") : QByteArray("\xca\xb1\xbc\xe4 ")));
        }
    }

    // The kinds that report what a page has selected follow the selection handed over.
    void selectionsOfThePages() {
        struct Case {
            int kind;
            PrintSelections selections;
            QByteArray line;
        };
        PrintSelections secondProgram;
        secondProgram.program = 1;
        PrintSelections packet;
        CaptureCopy copy;
        copy.trigger = kCapturePidPacket;
        copy.bytes.assign(188, 0xff);
        const uint8_t header[] = {0x47, 0x41, 0x01, 0x1a};  // PUSI, PID 0x0101, payload, CC 10
        std::copy(std::begin(header), std::end(header), copy.bytes.begin());
        packet.capture = copy;
        const Case cases[] = {
            {4, secondProgram, "    节目PID:0x0200   节目号:0x0002\r\n"},
            {9, packet, "PID                                   13 bit           0x0101\r\n"},
            {9, packet, "Payload Unit Start Indicator          1 bit            1\r\n"},
            {9, packet, "Continuity Counter                    4 bit            10\r\n"},
        };
        int n = 0;
        for (const Case& c : cases) {
            const QString path = file(qPrintable(QStringLiteral("selection%1.log").arg(++n)));
            DialogUnderTest t(*session_);
            t.dialog.setSelections(c.selections);
            t.choose(c.kind, true, false, path);
            t.dialog.accept();
            QVERIFY2(fileBytes(path).contains(c.line), c.line.constData());
        }
        // Without a capture the data kind writes nothing at all.
        DialogUnderTest t(*session_);
        t.choose(9, true, true, file("nocapture.log"));
        t.dialog.accept();
        QVERIFY(!QFile::exists(file("nocapture.log")) && t.printed.empty());
    }

    void refusals_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("print");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");  // empty: none
        QTest::newRow("neither flag") << 6 << false << false << file("none.log") << QString();
        QTest::newRow("graph saved only")
            << 5 << true << false << file("graph.log") << QStringLiteral("此项信息只能打印。");
        QTest::newRow("file cannot be opened")
            << 6 << true << true << file("missing/dir/x.log")
            << QStringLiteral("打开文件%1时出错。").arg(file("missing/dir/x.log"));
    }
    void refusals() {
        QFETCH(int, kind);
        QFETCH(bool, save);
        QFETCH(bool, print);
        QFETCH(QString, path);
        QFETCH(QString, message);
        test::CapturedMessages messages;
        DialogUnderTest t(*session_);
        t.choose(kind, save, print, path);
        t.dialog.accept();
        QVERIFY(t.printed.empty());  // nothing printed, not even when printing was asked for
        QVERIFY(!QFile::exists(path));
        QCOMPARE(messages.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    }

    void printedPages_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("graphs");
        QTest::newRow("structure") << 1 << 0;
        QTest::newRow("basic information") << 2 << 0;
        QTest::newRow("event list") << 3 << 0;
        QTest::newRow("program") << 4 << 0;
        QTest::newRow("table") << 6 << 0;
        QTest::newRow("guide") << 10 << 0;
        // Two programs, each with one video and one audio stream, both carrying PCRs.
        QTest::newRow("PCR jitter") << 5 << 2;
        QTest::newRow("video delay") << 7 << 2;
        QTest::newRow("audio delay") << 8 << 2;
    }
    void printedPages() {
        QFETCH(int, kind);
        QFETCH(int, graphs);
        DialogUnderTest t(*session_);
        t.choose(kind, false, true, file("unused.log"));
        t.dialog.accept();
        QCOMPARE(t.printed.size(), std::size_t{1});
        const PrintDocument& doc = t.printed.front();
        QCOMPARE(static_cast<int>(doc.graphs.size()), graphs);
        for (const PrintGraph& g : doc.graphs)
            QVERIFY2(!g.values.empty(), g.title.c_str());
        QVERIFY(!doc.empty());

        const QString pdf = file(qPrintable(QStringLiteral("kind%1.pdf").arg(kind)));
        const int pages = printToPdf(doc, pdf);
        QVERIFY(pages > 0);
        if (graphs > 0) QCOMPARE(pages, (graphs + 1) / 2);  // two graphs to a page
        const QByteArray bytes = fileBytes(pdf);
        QVERIFY(bytes.startsWith("%PDF"));
        QCOMPARE(pdfPages(bytes), pages);
        // The first page as printed: text in black, and on the graph kinds each curve in blue.
        const QImage image = pageImage(doc, 0);
        QVERIFY(QDir().mkpath(ORV_SCREENSHOT_DIR));
        image.save(QStringLiteral(ORV_SCREENSHOT_DIR "/print-kind%1.png").arg(kind));
        QVERIFY(countPixels(image, Qt::black) > 1000);
        if (graphs > 0) QVERIFY(countPixels(image, Qt::blue) > 500);
        // The dialog's own PDF output writes the same pages.
        QCOMPARE(t.dialog.exportPdf(file("export.pdf")), pages);
    }

    // Without a handler "确 定" opens the print preview, which paints the pages.
    void printPreviewOpens() {
        PrintDialog dialog(*session_);
        dialog.kindButton(5)->setChecked(true);
        dialog.saveBox()->setChecked(false);
        bool previewed = false;
        QTimer::singleShot(200, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* preview = qobject_cast<QPrintPreviewDialog*>(w);
                    preview && w->isVisible()) {
                    previewed = true;
                    preview->reject();
                }
            }
        });
        dialog.accept();
        QVERIFY(previewed);
    }

    void longTextsGoOnNewPages() {
        PrintDocument doc;
        doc.title = "表信息";
        const int onePage = printToPdf(doc, file("short.pdf"));
        QCOMPARE(onePage, 1);
        for (int i = 0; i < 400; ++i)
            doc.lines.push_back("0000    00 b0 15 00 01 c1 00 00 00 00");
        const int pages = printToPdf(doc, file("long.pdf"));
        // A 9-point line on A4 takes under 6 mm: 400 lines need several pages, and fewer than
        // one line per page would mean lines were dropped or doubled.
        QVERIFY2(pages >= 6 && pages <= 20, qPrintable(QString::number(pages)));
        // A line far wider than the page wraps onto more lines rather than being cut off.
        PrintDocument wide;
        wide.lines.assign(100, std::string(600, 'x'));
        PrintDocument narrow;
        narrow.lines.assign(100, "x");
        QVERIFY(printToPdf(wide, file("wide.pdf")) > printToPdf(narrow, file("narrow.pdf")));
        QCOMPARE(printToPdf(doc, file("no/such/dir.pdf")), 0);
    }
};

QTEST_MAIN(PrintDialogTest)
#include "print_dialog_test.moc"
