// The decoder buffer page and the programme guide page over a real run of the bundled sample
// (programs 1 and 2, services "ORV News" and "ORV Sports" with eight days of hourly schedule):
// what the lists, selectors, bars and texts show, how choices act, and the stop that clears them.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>
#include <array>

#include "shell/gui/buffer_view.h"
#include "shell/gui/fill_bar_widget.h"
#include "shell/gui/guide_view.h"
#include "shell/gui/main_window.h"
#include "tests/gui/gui_test_support.h"
#include "tools/tsgen/descriptors.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"
#include "tools/tsgen/sections.h"

using namespace orv;
using namespace orv::gui;

namespace {

const QString kSample = QStringLiteral(ORV_SAMPLE_STREAM);

QStringList rowTexts(const QTableWidget& t, int row) {
    QStringList cells;
    for (int c = 0; c < t.columnCount(); ++c)
        cells << (t.item(row, c) != nullptr ? t.item(row, c)->text() : QStringLiteral("<none>"));
    return cells;
}

QStringList entries(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

// A user's click on a row of a list, as the mouse does it (press selects, release clicks).
void clickRow(QTableWidget& t, int row) {
    t.scrollToItem(t.item(row, 0));
    const QRect cell = t.visualItemRect(t.item(row, 0));
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, cell.center());
}

// The window after the pass over the sample, shown with the page on screen.
struct SampleRun {
    AnalysisSession session;
    MainWindow window{session};

    bool start(int page, const QString& file = kSample) {
        window.resize(1600, 1000);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) return false;
        window.analyseFile(file);
        if (!test::waitForPass(session)) return false;
        window.showPage(page);
        window.tick();
        return true;
    }
    GuideView& guide() { return *dynamic_cast<GuideView*>(window.pageView(kPageGuide)); }
    BufferView& buffer() { return *dynamic_cast<BufferView*>(window.pageView(kPageBuffer)); }
};

// The clean two-program stream with a second audio component (0x0103) in program 1 and an SDT
// of another transport stream (0x0002) beside its own: a user-defined service that is scrambled
// and a radio service.
QString writeRicherStream(const QString& folder) {
    tsgen::StreamConfig c = tsgen::cleanPreset().config;
    c.bitrate = 10'000'000;  // room for the third audio stream
    tsgen::ProgramConfig& first = c.programs.front();
    first.audios.push_back(first.audios.front());
    first.audios.back().pid = 0x0103;
    for (tsgen::TableSource& t : c.tables)
        if (t.pid == first.pmtPid) t.sections = {tsgen::pmtSectionFor(first)};
    tsgen::SdtParams other;
    other.actual = false;
    other.transportStreamId = 0x0002;
    other.originalNetworkId = 0x0001;
    tsgen::SdtService tv;
    tv.serviceId = 0x0101;
    tv.freeCaMode = true;
    tv.descriptors = {tsgen::serviceDescriptor(0x19, "Other Net", "Elsewhere TV")};
    tsgen::SdtService radio;
    radio.serviceId = 0x0102;
    radio.descriptors = {tsgen::serviceDescriptor(0x02, "Other Net", "Elsewhere Radio")};
    other.services = {tv, radio};
    tsgen::TableSource sdt;
    sdt.pid = 0x0011;
    sdt.intervalMs = 1000;
    sdt.offsetMs = 570;
    sdt.sections = {tsgen::buildSdt(other)};
    c.tables.push_back(sdt);
    const std::vector<uint8_t> bytes = tsgen::generateStream(c);
    const QString path = folder + QStringLiteral("/other-services.ts");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
}

const QRegularExpression kClock(QStringLiteral(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}$)"));

}  // namespace

class BufferGuideViewTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;

  private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(kSample)) QSKIP("the bundled sample was not generated");
    }

    // The palette is given as 0x00BBGGRR values; the colours here are worked out by hand.
    void barCaptionsAndColours() {
        AnalysisSession session;
        MainWindow w(session);
        QVERIFY(dynamic_cast<GuideView*>(w.pageView(kPageGuide)) != nullptr);
        QVERIFY(dynamic_cast<BufferView*>(w.pageView(kPageBuffer)) != nullptr);
        BufferView& b = *dynamic_cast<BufferView*>(w.pageView(kPageBuffer));
        struct Expected {
            BufferView::Bar bar;
            const char* caption;
            QColor fill, background;
        };
        const QColor crimson(220, 20, 60), firebrick(178, 34, 34);  // 3937500, 2237106
        const QColor gold(255, 215, 0), goldenrod(218, 165, 32);    // 55295, 2139610
        const QColor blue(0, 0, 205), violet(100, 0, 205);          // 0xCD0000, 13434980
        const std::array<Expected, 7> table{{
            {BufferView::VideoTb, "传送缓冲器TB", crimson, firebrick},
            {BufferView::VideoMb, "多路复用缓冲器MB", crimson, firebrick},
            {BufferView::VideoEb, "基本码流缓冲器EB", gold, goldenrod},
            {BufferView::AudioTb, "传送缓冲器TB", gold, goldenrod},
            {BufferView::AudioB, "主缓冲器B", gold, goldenrod},
            {BufferView::SystemTb, "传送缓冲器TB", blue, violet},
            {BufferView::SystemB, "主缓冲器B", blue, violet},
        }};
        for (const Expected& e : table) {
            const FillBarWidget& bar = *b.bar(e.bar);
            QCOMPARE(bar.caption(), QString::fromUtf8(e.caption));
            QCOMPARE(bar.fillColour(), e.fill);
            QCOMPARE(bar.backgroundColour(), e.background);
        }
    }

    void guideListsServicesAndTheirEvents_data() {
        QTest::addColumn<QList<int>>("clicks");  // rows of the actual list, clicked in turn
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("serviceId");
        QTest::newRow("first service") << QList<int>{0} << "ORV News"
                                       << "0x0001";
        QTest::newRow("second service") << QList<int>{1} << "ORV Sports"
                                        << "0x0002";
        QTest::newRow("back to the first") << QList<int>{1, 0} << "ORV News"
                                           << "0x0001";
        QTest::newRow("same row twice") << QList<int>{1, 1} << "ORV Sports"
                                        << "0x0002";
    }

    void guideListsServicesAndTheirEvents() {
        QFETCH(QList<int>, clicks);
        QFETCH(QString, name);
        QFETCH(QString, serviceId);
        SampleRun run;
        QVERIFY(run.start(kPageGuide));
        GuideView& g = run.guide();
        QTableWidget& actual = *g.serviceList(GuideListId::Actual);
        QCOMPARE(actual.rowCount(), 2);
        QCOMPARE(rowTexts(actual, 0), QStringList({"00", "0x0001"}));
        QCOMPARE(rowTexts(actual, 1), QStringList({"01", "0x0002"}));
        QCOMPARE(g.serviceList(GuideListId::Other)->rowCount(), 0);
        QVERIFY(g.field(GuideView::LocalTime)->text().contains(kClock));
        QVERIFY(g.field(GuideView::GmtTime)->text().contains(kClock));
        // Nothing chosen yet: no description, no events.
        QCOMPARE(g.field(GuideView::ServiceName)->text(), QString());
        QCOMPARE(g.eventList()->rowCount(), 0);

        for (int row : clicks)
            clickRow(actual, row);
        const std::array<std::pair<GuideView::Field, QString>, 7> texts{{
            {GuideView::ServiceName, name},
            {GuideView::ProviderName, "ORV01"},
            {GuideView::ServiceType, "数字电视业务"},
            {GuideView::Scrambling, "业务未被加扰"},
            {GuideView::ServiceId, serviceId},
            {GuideView::TransportStreamId, "0x0001"},
            {GuideView::OriginalNetworkId, "0x0001"},
        }};
        for (const auto& [field, value] : texts)
            QCOMPARE(g.field(field)->text(), value);

        // Hourly events: event_id 1000 + hour, named "<service> hour <hour>", starting at
        // hour % 24 and lasting one hour.
        QTableWidget& events = *g.eventList();
        QVERIFY(events.rowCount() > 0);
        const QRegularExpression named(QStringLiteral("^%1 hour (\\d+)$").arg(name));
        for (int r = 0; r < events.rowCount(); ++r) {
            const QStringList cells = rowTexts(events, r);
            QCOMPARE(cells[0], QStringLiteral("%1").arg(r, 2, 10, QChar('0')));
            const QRegularExpressionMatch m = named.match(cells[2]);
            QVERIFY2(m.hasMatch(), qPrintable(cells.join('|')));
            const int hour = m.captured(1).toInt();
            QCOMPARE(cells[1], QStringLiteral("0x%1").arg(1000 + hour, 4, 16, QChar('0')));
            QVERIFY2(cells[3].contains(kClock), qPrintable(cells[3]));
            QCOMPARE(cells[3].mid(11, 2).toInt(), hour % 24);
            QCOMPARE(cells[4], QStringLiteral("01:00:00"));
        }
        // The choice shows in the list that holds it.
        QCOMPARE(actual.selectedItems().front()->row(), clicks.back());
    }

    void bufferShowsEachProgramsComponents_data() {
        QTest::addColumn<int>("program");
        QTest::addColumn<QString>("videoPid");
        QTest::addColumn<QString>("audioPid");
        QTest::newRow("program 1") << 0 << "0x0101"
                                   << "0x0102";
        QTest::newRow("program 2") << 1 << "0x0201"
                                   << "0x0202";
    }

    void bufferShowsEachProgramsComponents() {
        QFETCH(int, program);
        QFETCH(QString, videoPid);
        QFETCH(QString, audioPid);
        SampleRun run;
        QVERIFY(run.start(kPageBuffer));
        BufferView& b = run.buffer();
        QComboBox& programs = *b.programSelector();
        QCOMPARE(entries(programs),
                 QStringList({"节目号:0x0001 PMT_PID:0x0100", "节目号:0x0002 PMT_PID:0x0200"}));
        if (program != programs.currentIndex()) {
            programs.setFocus();
            QTest::keyClick(&programs,
                            program > programs.currentIndex() ? Qt::Key_Down : Qt::Key_Up);
        }
        QCOMPARE(programs.currentIndex(), program);
        QCOMPARE(b.model().selectedProgram(), program);
        QCOMPARE(entries(*b.videoSelector()), QStringList({videoPid}));
        QCOMPARE(entries(*b.audioSelector()), QStringList({audioPid}));
        QCOMPARE(b.scramblingBox()->text(), QStringLiteral("业务未加扰"));

        // Audio and system bars have fixed sizes; video bars the buffer's size, or rest at 1000.
        struct Range {
            BufferView::Bar bar;
            QList<int> ranges;
        };
        const std::array<Range, 7> table{{
            {BufferView::VideoTb, {512, 1000}},
            {BufferView::VideoMb, {}},
            {BufferView::VideoEb, {}},
            {BufferView::AudioTb, {512}},
            {BufferView::AudioB, {3584}},
            {BufferView::SystemTb, {512}},
            {BufferView::SystemB, {1536}},
        }};
        for (const Range& r : table) {
            const FillBarWidget& bar = *b.bar(r.bar);
            if (!r.ranges.isEmpty())
                QVERIFY2(r.ranges.contains(bar.range()), qPrintable(bar.caption()));
            QVERIFY(bar.position() >= 1 && bar.position() < bar.range());
        }

        // The summary: six rows, titles and dashes as laid out, counts in their formats.
        QTableWidget& s = *b.summaryList();
        QCOMPARE(s.rowCount(), 6);
        const QString over = QStringLiteral("^上溢错误:\\d+$");
        const QString overUnder = QStringLiteral("^上溢错误:\\d+  下溢错误:\\d+$");
        const QString zero = QStringLiteral("^清空错误:0$");
        const QString dash = QStringLiteral("^ - $");
        const std::array<QStringList, 6> rows{{
            {"^ 1 $", "^视频缓冲器$", over, dash, overUnder, overUnder},
            {"^ $", "^ $", zero, dash, zero, dash},
            {"^ 2 $", "^音频缓冲器$", over, overUnder, dash, dash},
            {"^ $", "^ $", zero, dash, dash, dash},
            {"^ 3 $", "^系统缓冲器$", over, over, dash, dash},
            {"^ $", "^  $", zero, dash, dash, dash},
        }};
        for (int r = 0; r < 6; ++r) {
            const QStringList cells = rowTexts(s, r);
            for (int c = 0; c < 6; ++c)
                QVERIFY2(QRegularExpression(rows[static_cast<std::size_t>(r)][c])
                             .match(cells[c])
                             .hasMatch(),
                         qPrintable(QStringLiteral("row %1: %2").arg(r).arg(cells.join('|'))));
        }
    }

    // Two broadcast captures of one program each, without EIT: the service is described with an
    // empty event list. Expected values come from a hand walk of their PAT, PMT and SDT. H.264
    // (stream_type 0x1B) is not a video component of the buffer model: no video PID, video bars
    // at rest.
    void realCaptures_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("videoPids");
        QTest::addColumn<QString>("audioPid");
        QTest::addColumn<QStringList>("service");  // id, name, provider, ts id, on id
        QTest::newRow("h264") << "cap-h264-mp2-sdt.ts"
                              << "节目号:0x0001 PMT_PID:0x1000" << QStringList{} << "0x0101"
                              << QStringList{"0x0001", "Big Buck Bunny, Sunflower version",
                                             "FFmpeg", "0x0001", "0xff01"};
        QTest::newRow("mpeg2") << "cap-mpeg2-mp2-sdt.ts"
                               << "节目号:0x0810 PMT_PID:0x0810" << QStringList{"0x1000"}
                               << "0x1001"
                               << QStringList{"0x0810", "P1.1", "DVB", "0x0001", "0x0001"};
    }

    void realCaptures() {
        QFETCH(QString, file);
        QFETCH(QString, program);
        QFETCH(QStringList, videoPids);
        QFETCH(QString, audioPid);
        QFETCH(QStringList, service);
        const QString path = QStringLiteral(ORV_STREAMS_DIR "/") + file;
        if (!QFile::exists(path)) QSKIP("the captures are not there");
        SampleRun run;
        QVERIFY(run.start(kPageGuide, path));
        GuideView& g = run.guide();
        QTableWidget& actual = *g.serviceList(GuideListId::Actual);
        QCOMPARE(actual.rowCount(), 1);
        QCOMPARE(rowTexts(actual, 0), QStringList({"00", service[0]}));
        clickRow(actual, 0);
        QCOMPARE(g.field(GuideView::ServiceId)->text(), service[0]);
        QCOMPARE(g.field(GuideView::ServiceName)->text(), service[1]);
        QCOMPARE(g.field(GuideView::ProviderName)->text(), service[2]);
        QCOMPARE(g.field(GuideView::TransportStreamId)->text(), service[3]);
        QCOMPARE(g.field(GuideView::OriginalNetworkId)->text(), service[4]);
        QCOMPARE(g.eventList()->rowCount(), 0);

        BufferView& b = run.buffer();
        QCOMPARE(entries(*b.programSelector()), QStringList({program}));
        QCOMPARE(entries(*b.videoSelector()), videoPids);
        QCOMPARE(entries(*b.audioSelector()), QStringList({audioPid}));
        QCOMPARE(b.summaryList()->rowCount(), 6);
        if (videoPids.isEmpty()) {
            for (const BufferView::Bar bar :
                 {BufferView::VideoTb, BufferView::VideoMb, BufferView::VideoEb}) {
                QCOMPARE(b.bar(bar)->range(), 1000);
                QCOMPARE(b.bar(bar)->position(), 1);
            }
        }
        QCOMPARE(b.bar(BufferView::AudioB)->range(), 3584);
    }

    // The audio choice holds over refreshes; another program brings its own PIDs, first audio.
    void bufferAudioChoice() {
        const QString path = writeRicherStream(folders_.path());
        QVERIFY(!path.isEmpty());
        SampleRun run;
        QVERIFY(run.start(kPageBuffer, path));
        BufferView& b = run.buffer();
        QComboBox& programs = *b.programSelector();
        QComboBox& audio = *b.audioSelector();
        QCOMPARE(entries(audio), QStringList({"0x0102", "0x0103"}));
        audio.setFocus();
        QTest::keyClick(&audio, Qt::Key_Down);
        b.refreshNow();
        QCOMPARE(b.model().selectedAudio(), 1);
        QCOMPARE(audio.currentIndex(), 1);
        QCOMPARE(b.bar(BufferView::AudioB)->range(), 3584);

        struct Step {
            Qt::Key key;
            int program;
            QStringList video, audio;
        };
        const std::array<Step, 2> steps{{
            {Qt::Key_Down, 1, {"0x0201"}, {"0x0202"}},
            {Qt::Key_Up, 0, {"0x0101"}, {"0x0102", "0x0103"}},
        }};
        for (const Step& s : steps) {
            programs.setFocus();
            QTest::keyClick(&programs, s.key);
            QCOMPARE(programs.currentIndex(), s.program);
            QCOMPARE(entries(*b.videoSelector()), s.video);
            QCOMPARE(entries(audio), s.audio);
            QCOMPARE(audio.currentIndex(), 0);
            QCOMPARE(b.model().selectedAudio(), 0);
        }
    }

    // Choices move between the two lists: the list that does not hold the shown service shows no
    // selection, so any of its rows can be chosen with a single click.
    void choicesMoveBetweenTheLists() {
        const QString path = writeRicherStream(folders_.path());
        QVERIFY(!path.isEmpty());
        SampleRun run;
        QVERIFY(run.start(kPageGuide, path));
        GuideView& g = run.guide();
        QTableWidget& actual = *g.serviceList(GuideListId::Actual);
        QTableWidget& other = *g.serviceList(GuideListId::Other);
        QCOMPARE(actual.rowCount(), 2);
        QCOMPARE(other.rowCount(), 2);
        QCOMPARE(rowTexts(other, 0), QStringList({"00", "0x0101"}));
        QCOMPARE(rowTexts(other, 1), QStringList({"01", "0x0102"}));
        struct Step {
            GuideListId list;
            int row;
            const char* name;
            const char* type;
            const char* scrambling;
            const char* tsId;
        };
        const std::array<Step, 5> steps{{
            {GuideListId::Actual, 0, "ORV News", "数字电视业务", "业务未被加扰", "0x0001"},
            {GuideListId::Other, 0, "Elsewhere TV", "用户定义节目", "业务被加扰", "0x0002"},
            {GuideListId::Actual, 0, "ORV News", "数字电视业务", "业务未被加扰", "0x0001"},
            {GuideListId::Other, 1, "Elsewhere Radio", "数字音频广播业务", "业务未被加扰",
             "0x0002"},
            {GuideListId::Other, 0, "Elsewhere TV", "用户定义节目", "业务被加扰", "0x0002"},
        }};
        for (const Step& s : steps) {
            clickRow(*g.serviceList(s.list), s.row);
            const QString where = QStringLiteral("%1 row %2").arg(int(s.list)).arg(s.row);
            QVERIFY2(g.field(GuideView::ServiceName)->text() == QString::fromUtf8(s.name),
                     qPrintable(where + ": " + g.field(GuideView::ServiceName)->text()));
            QCOMPARE(g.field(GuideView::ServiceType)->text(), QString::fromUtf8(s.type));
            QCOMPARE(g.field(GuideView::Scrambling)->text(), QString::fromUtf8(s.scrambling));
            QCOMPARE(g.field(GuideView::TransportStreamId)->text(), QString::fromUtf8(s.tsId));
            QVERIFY(g.model().holdsShown(s.list));
            const QTableWidget& away = s.list == GuideListId::Actual ? other : actual;
            QVERIFY(away.selectedItems().isEmpty());
        }
        // The arrow keys move the choice within the list that holds it.
        other.setFocus();
        QTest::keyClick(&other, Qt::Key_Down);
        QCOMPARE(g.field(GuideView::ServiceName)->text(), QStringLiteral("Elsewhere Radio"));
        QTest::keyClick(&other, Qt::Key_Up);
        QCOMPARE(g.field(GuideView::ServiceName)->text(), QStringLiteral("Elsewhere TV"));
    }

    // The stop empties both pages, times included, and they stay empty on later ticks.
    void stopClearsBothPages() {
        SampleRun run;
        QVERIFY(run.start(kPageGuide));
        GuideView& g = run.guide();
        BufferView& b = run.buffer();
        clickRow(*g.serviceList(GuideListId::Actual), 1);
        QVERIFY(g.eventList()->rowCount() > 0);
        QVERIFY(b.summaryList()->rowCount() == 6);

        run.window.action(Command::Stop)->trigger();
        QVERIFY(!run.session.analysisActive());
        for (int page : {kPageGuide, kPageBuffer}) {
            run.window.showPage(page);
            run.window.tick();
            g.refreshNow();
            b.refreshNow();
            QCOMPARE(g.serviceList(GuideListId::Actual)->rowCount(), 0);
            QCOMPARE(g.serviceList(GuideListId::Other)->rowCount(), 0);
            QCOMPARE(g.eventList()->rowCount(), 0);
            for (int f = 0; f < GuideView::kFieldCount; ++f)
                QCOMPARE(g.field(static_cast<GuideView::Field>(f))->text(), QString());
            QCOMPARE(b.programSelector()->count(), 0);
            QCOMPARE(b.videoSelector()->count(), 0);
            QCOMPARE(b.audioSelector()->count(), 0);
            QCOMPARE(b.scramblingBox()->text(), QString());
            QCOMPARE(b.summaryList()->rowCount(), 0);
            for (int i = 0; i < BufferView::kBarCount; ++i) {
                QCOMPARE(b.bar(static_cast<BufferView::Bar>(i))->range(), 1000);
                QCOMPARE(b.bar(static_cast<BufferView::Bar>(i))->position(), 1);
            }
        }
    }
};

QTEST_MAIN(BufferGuideViewTest)
#include "buffer_guide_view_test.moc"
