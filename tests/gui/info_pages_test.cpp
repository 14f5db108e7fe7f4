// The basic information, program analysis and bandwidth pages over the bundled sample: the
// fields against the sample's known make-up (two programs, their PIDs, names and headers), the
// packet shares against a count of the file's own packets, the program selections, and the
// stop that clears the three pages.
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>

#include "shell/gui/basic_info_view.h"
#include "shell/gui/main_window.h"
#include "shell/gui/page_catalogue.h"
#include "shell/gui/program_info_view.h"
#include "shell/gui/structure_list_view.h"
#include "tests/gui/gui_test_support.h"

using namespace orv;
using namespace orv::gui;

namespace {

const QString kSample = QStringLiteral(ORV_SAMPLE_STREAM);

// Packets per PID of a 188-byte stream read straight from the file.
std::map<unsigned, uint64_t> countPids(const QString& path, uint64_t& total) {
    std::map<unsigned, uint64_t> counts;
    total = 0;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return counts;
    const QByteArray data = f.readAll();
    for (qsizetype at = 0; at + 188 <= data.size(); at += 188) {
        if (static_cast<uint8_t>(data[at]) != 0x47) continue;
        const unsigned pid =
            ((static_cast<uint8_t>(data[at + 1]) & 0x1F) << 8) | static_cast<uint8_t>(data[at + 2]);
        ++counts[pid];
        ++total;
    }
    return counts;
}

QString percent(uint64_t packets, uint64_t total, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, double(packets) * 100.0 / double(total));
    return QString::fromLatin1(text);
}

QStringList lines(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

struct Field {
    const char* label;
    const char* text;
};

}  // namespace

class InfoPagesTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;
    std::unique_ptr<AnalysisSession> session_;
    std::unique_ptr<MainWindow> window_;
    BasicInfoView* basic_ = nullptr;
    ProgramInfoView* program_ = nullptr;
    StructureListView* structure_ = nullptr;

  private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(kSample)) QSKIP("the bundled sample was not generated");
        qputenv("ORV_SIM_DEVICE", ("pci:file=" + kSample).toUtf8());
        session_ = std::make_unique<AnalysisSession>();
        window_ = std::make_unique<MainWindow>(*session_);
        basic_ = qobject_cast<BasicInfoView*>(window_->pageView(kPageBasic));
        program_ = qobject_cast<ProgramInfoView*>(window_->pageView(kPageProgram));
        structure_ = qobject_cast<StructureListView*>(window_->pageView(kPageBandwidth));
        QVERIFY(basic_ && program_ && structure_);
        // Nothing shows before a run.
        QVERIFY(basic_->field(QStringLiteral("TS分组长度："))->text().isEmpty());
        QCOMPARE(structure_->list()->rowCount(), 0);
        window_->analyseFile(kSample);
        QVERIFY(test::waitForPass(*session_));
        QTest::qWait(50);  // the pass-finished signal reaches the pages
    }

    void basicInformationFields() {
        const std::array<Field, 18> expected{{
            {"TS分组长度：", "188 Bytes"},
            {"同步丢失错误：", "0"},
            {"同步错误：", "0"},
            {"传送错误：", "1"},
            {"传送流标识符：", "0x0001"},
            {"业务数量：", "2"},
            {"PCR数量：", "2"},
            {"NIT_PID：", "0x0010"},
            {"网络标识符：", "0x0001"},
            {"网络名称：", "ORV01 Test Network"},
            {"现行传送流标识符", "0x0001"},
            {"原始网络标识符:", "0x0001"},
            {"输入接口：", " - "},  // a file has no QAM input
            {"调制模式：", " - "},
            {"业务提供者名称：", "ORV01"},
            {"业务名称：", "ORV News"},
            {"业务自由条件接收模式描述：", "业务组件未被加扰"},
            {"PCR_PID：", "0x0101"},
        }};
        for (const Field& f : expected) {
            QLineEdit* box = basic_->field(QString::fromUtf8(f.label));
            QVERIFY2(box, f.label);
            QCOMPARE(box->text(), QString::fromUtf8(f.text));
        }
        // 8 Mbit/s of constant rate: the four rates agree.
        for (const char* label : {"最小值：", "最大值：", "平均值：", "当前值："}) {
            const QString text = basic_->field(QString::fromUtf8(label))->text();
            QVERIFY2(qAbs(text.toDouble() - 8.0) < 0.01, qPrintable(text));
            QCOMPARE(text.section('.', 1).size(), 6);
        }
        const QTabWidget* tabs = basic_->tabs();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("传送流复用结构"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("PSI/SI传送间隔"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("QAM参数测量"));
        const QStringList mux = lines(basic_->multiplexList());
        QVERIFY(!mux.isEmpty());
        QCOMPARE(mux.front(), QStringLiteral("共复用了2路节目"));
        QVERIFY(mux.contains(QStringLiteral("MPEG-2视频 PID:0x0201")));
        // PAT, both PMTs and the SI tables of the sample have repetition rows, all received.
        QStringList names;
        for (int i = 0; i < basic_->intervalList()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = basic_->intervalList()->topLevelItem(i);
            names << item->text(0);
            QVERIFY2(item->text(2) != QStringLiteral("-----"), qPrintable(item->text(0)));
        }
        for (const char* name : {"PAT", "PMT[0001]", "PMT[0002]", "NIT", "SDT", "TDT", "TOT"})
            QVERIFY2(names.contains(QString::fromUtf8(name)), name);
    }

    // Each class share against the packets of the file counted here by PID.
    void packetClassShares() {
        uint64_t total = 0;
        std::map<unsigned, uint64_t> pids = countPids(kSample, total);
        QCOMPARE(total, uint64_t{63829});
        const uint64_t video = pids[0x0101] + pids[0x0201];
        const uint64_t audio = pids[0x0102] + pids[0x0202];
        const uint64_t psiSi = pids[0x0000] + pids[0x0100] + pids[0x0200] + pids[0x0010] +
                               pids[0x0011] + pids[0x0012] + pids[0x0014];
        const uint64_t null = pids[0x1FFF];
        const uint64_t other = total - video - audio - psiSi - null;
        const std::array<std::pair<PacketClass, uint64_t>, 5> classes{{
            {PacketClass::Video, video},
            {PacketClass::Audio, audio},
            {PacketClass::PsiSi, psiSi},
            {PacketClass::Null, null},
            {PacketClass::Other, other},
        }};
        for (const auto& [c, packets] : classes) {
            QCOMPARE(basic_->classShare(c)->text(), percent(packets, total, "%2.2f%%"));
            QCOMPARE(basic_->classBar(c)->maximum(), 10000);
            QCOMPARE(basic_->classBar(c)->value(), static_cast<int>(packets * 10000 / total));
        }
    }

    // "节目号-PMT_PID：" lists both programs and a choice changes the program's texts.
    void basicProgramSelection() {
        QComboBox* selector = basic_->programSelector();
        QCOMPARE(selector->count(), 2);
        QCOMPARE(selector->itemText(0), QStringLiteral("节目号:0x0001  PMT_PID:0x0100"));
        QCOMPARE(selector->itemText(1), QStringLiteral("节目号:0x0002  PMT_PID:0x0200"));
        struct Choice {
            int index;
            const char* name;
            const char* pcrPid;
            QStringList components;
        };
        const std::array<Choice, 3> choices{{
            {1, "ORV Sports", "0x0210", {"MPEG-2视频 PID:0x0201", "MPEG-1音频 PID:0x0202"}},
            {0, "ORV News", "0x0101", {"MPEG-2视频 PID:0x0101", "MPEG-1音频 PID:0x0102"}},
            {1, "ORV Sports", "0x0210", {"MPEG-2视频 PID:0x0201", "MPEG-1音频 PID:0x0202"}},
        }};
        for (const Choice& c : choices) {
            selector->setCurrentIndex(c.index);
            QCOMPARE(basic_->field(QStringLiteral("业务名称："))->text(),
                     QString::fromUtf8(c.name));
            QCOMPARE(basic_->field(QStringLiteral("PCR_PID："))->text(),
                     QString::fromUtf8(c.pcrPid));
            QCOMPARE(lines(basic_->componentList()), c.components);
            QCOMPARE(lines(basic_->caList()), QStringList{"   CA_system_ID  ECM_PID"});
        }
        // The next refresh keeps the user's choice.
        basic_->passFinished();
        QCOMPARE(selector->currentIndex(), 1);
        QCOMPARE(basic_->field(QStringLiteral("业务名称："))->text(), QStringLiteral("ORV Sports"));
    }

    void structureList() {
        const QTableWidget* list = structure_->list();
        const std::array<std::pair<const char*, int>, 8> columns{{{"分组", 100},
                                                                  {"类型描述", 100},
                                                                  {"ID", 100},
                                                                  {"CA_SYS_ID", 100},
                                                                  {"PID", 90},
                                                                  {"PCR_PID", 90},
                                                                  {"码率(Mbps)", 110},
                                                                  {"%带宽", 90}}};
        QCOMPARE(list->columnCount(), 8);
        for (int c = 0; c < 8; ++c) {
            QCOMPARE(list->horizontalHeaderItem(c)->text(),
                     QString::fromUtf8(columns[static_cast<std::size_t>(c)].first));
            QCOMPARE(list->columnWidth(c), columns[static_cast<std::size_t>(c)].second);
        }
        QVERIFY(list->showGrid());
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);

        uint64_t total = 0;
        std::map<unsigned, uint64_t> pids = countPids(kSample, total);
        struct Row {
            const char* group;
            const char* type;
            const char* id;
            const char* pid;
            const char* pcrPid;
            QString bandwidth;  // empty: not checked
        };
        const QString pat = percent(pids[0x0000], total, "%2.3f");
        const auto share = [&](unsigned pid) { return percent(pids[pid], total, "%2.2f"); };
        // No CAT, RST, DIT or SIT in the sample: those rows are absent.
        const std::array<Row, 17> expected{{
            {"传送流摘要", "", "0x0001", "", "", QStringLiteral("100")},
            {"PSI/SI", "摘要", "", "", "", {}},
            {"", "PAT", "0x00", "0x0000", "", pat},
            {"", "节目 0x0001", "0x02", "0x0100", "", share(0x0100)},
            {"", "节目 0x0002", "0x02", "0x0200", "", share(0x0200)},
            {"", "NIT", "0x40,0x41", "0x0010", "", share(0x0010)},
            {"", "SDT/BAT", "0x42,0x46,0x4A", "0x0011", "", share(0x0011)},
            {"", "EIT", "0x4E...0x6F", "0x0012", "", share(0x0012)},
            {"", "TDT/TOT", "0x70,0x73", "0x0014", "", share(0x0014)},
            {"节目单元摘要", "MPEG-2视频", "0x02", "0x0101", "0x0101", share(0x0101)},
            {"", "MPEG-1音频", "0x03", "0x0102", "0x0101", share(0x0102)},
            {"", "MPEG-2视频", "0x02", "0x0201", "0x0210", share(0x0201)},
            {"", "MPEG-1音频", "0x03", "0x0202", "0x0210", share(0x0202)},
            {"CA摘要信息", "CA系统", "", "", "", {}},
            {"其他", "非指定PID", "", "", "", {}},
            {"", "空包", "", "0x1FFF", "", share(0x1FFF)},
            {"", "填充", "", "", "", {}},
        }};
        QCOMPARE(list->rowCount(), static_cast<int>(expected.size()));
        for (int r = 0; r < list->rowCount(); ++r) {
            const Row& e = expected[static_cast<std::size_t>(r)];
            const auto cell = [&](int c) { return list->item(r, c)->text(); };
            const QByteArray where = QByteArray::number(r) + " " + e.type;
            QVERIFY2(cell(0) == QString::fromUtf8(e.group), where);
            QVERIFY2(cell(1) == QString::fromUtf8(e.type), where);
            if (*e.id) QVERIFY2(cell(2) == QString::fromUtf8(e.id), where);
            if (*e.pid) QVERIFY2(cell(4) == QString::fromUtf8(e.pid), where);
            if (*e.pcrPid) QVERIFY2(cell(5) == QString::fromUtf8(e.pcrPid), where);
            if (!e.bandwidth.isEmpty())
                QVERIFY2(cell(7) == e.bandwidth, where + " " + cell(7).toUtf8());
        }
        // The whole stream's rate is the stream rate, its parts add up to it.
        QVERIFY(qAbs(list->item(0, 6)->text().toDouble() - 8.0) < 0.01);
    }

    void programPage() {
        struct Program {
            int index;
            const char* number;
            const char* pcrPid;
            const char* name;
            std::array<const char*, 2> componentPids;
        };
        const std::array<Program, 3> programs{{
            {1, "0x0002", "0x0210", "ORV Sports", {"0x0201", "0x0202"}},
            {0, "0x0001", "0x0101", "ORV News", {"0x0101", "0x0102"}},
            {1, "0x0002", "0x0210", "ORV Sports", {"0x0201", "0x0202"}},
        }};
        // What both programs carry: the same service set-up and the same two encoders.
        const std::array<Field, 6> same{{
            {"业务组件数：", "2"},
            {"业务类型：", "数字电视节目"},
            {"加扰：", "业务未被加扰"},
            {"运行状态：", "正在运行"},
            {"业务提供者名称：", "ORV01"},
            {"业务名称：", nullptr},
        }};
        const std::array<Field, 10> video{{
            {"视频编码格式:", "MPEG-2 视频(PAL制)"},
            {"水平大小：", "720"},
            {"垂直大小：", "576"},
            {"帧频：", "25.000 帧/s"},
            {"传输速率：", "3000000 bps"},
            {"类和级：", "主 : 主"},
            {"宽高比：", "4 : 3"},
            {"色度格式：", "4 : 2 : 0"},
            {"PES包前缀：", "0x000001"},
            {"Stream_ID：", "0xe0"},
        }};
        const std::array<Field, 8> audio{{
            {"音频编码格式:", "MPEG-1 音频"},
            {"层：", " II "},
            {"比特率：", "192 kbps"},
            {"采样率：", "48 kHz"},
            {"模式：", "立体声"},
            {"加重：", "<None>"},
            {"PES包前缀：", "0x000001"},
            {"Stream_ID：", "0xc0"},
        }};
        QComboBox* selector = program_->programSelector();
        QCOMPARE(selector->count(), 2);
        for (const Program& p : programs) {
            selector->setCurrentIndex(p.index);
            QCOMPARE(program_->field(QStringLiteral("节目号："))->text(),
                     QString::fromUtf8(p.number));
            QCOMPARE(program_->field(QStringLiteral("PCR_PID："))->text(),
                     QString::fromUtf8(p.pcrPid));
            for (const Field& f : same)
                QCOMPARE(program_->field(QString::fromUtf8(f.label))->text(),
                         QString::fromUtf8(f.text ? f.text : p.name));
            const QTreeWidget* components = program_->componentList();
            QCOMPARE(components->topLevelItemCount(), 2);
            for (int c = 0; c < 2; ++c)
                QCOMPARE(components->topLevelItem(c)->text(2),
                         QString::fromUtf8(p.componentPids[static_cast<std::size_t>(c)]));
            QCOMPARE(program_->videoSelector()->currentText(),
                     QString::fromUtf8(p.componentPids[0]));
            QCOMPARE(program_->audioSelector()->count(), 1);
            QCOMPARE(program_->audioSelector()->currentText(),
                     QString::fromUtf8(p.componentPids[1]));
            for (const Field& f : video)
                QVERIFY2(program_->videoField(QString::fromUtf8(f.label))->text() ==
                             QString::fromUtf8(f.text),
                         f.label);
            for (const Field& f : audio)
                QVERIFY2(program_->audioField(QString::fromUtf8(f.label))->text() ==
                             QString::fromUtf8(f.text),
                         f.label);
        }
        // The histogram draws one bar per component with its rate.
        program_->histogramButton()->setChecked(true);
        const auto& bars = program_->histogram()->bars();
        QCOMPARE(bars.size(), std::size_t{2});
        QCOMPARE(bars[0].first, QStringLiteral("0x0201"));
        QVERIFY(bars[0].second > bars[1].second && bars[1].second > 0.0);
    }

    // The stop clears every field, list and selector of the three pages, and the
    // view timer's ticks after it do not bring the old run back.
    void stopClearsThePages() {
        session_->stop();
        QTRY_VERIFY(!session_->analysisActive());
        for (int page : {kPageBasic, kPageProgram, kPageBandwidth}) {
            window_->showPage(page);
            window_->tick();
        }
        for (const char* label : {"TS分组长度：", "业务名称：", "网络名称：", "平均值："})
            QVERIFY2(basic_->field(QString::fromUtf8(label))->text().isEmpty(), label);
        QVERIFY(basic_->classShare(PacketClass::Video)->text().isEmpty());
        QCOMPARE(basic_->classBar(PacketClass::Video)->value(), 0);
        QCOMPARE(basic_->programSelector()->count(), 0);
        QCOMPARE(basic_->componentList()->count(), 0);
        QCOMPARE(basic_->multiplexList()->count(), 0);
        QCOMPARE(basic_->intervalList()->topLevelItemCount(), 0);
        QCOMPARE(structure_->list()->rowCount(), 0);
        QCOMPARE(program_->programSelector()->count(), 0);
        QCOMPARE(program_->audioSelector()->count(), 0);
        QCOMPARE(program_->componentList()->topLevelItemCount(), 0);
        for (const char* label : {"节目号：", "业务名称："})
            QVERIFY2(program_->field(QString::fromUtf8(label))->text().isEmpty(), label);
        QVERIFY(program_->videoField(QStringLiteral("水平大小："))->text().isEmpty());
        QVERIFY(program_->audioField(QStringLiteral("层："))->text().isEmpty());
        QVERIFY(program_->histogram()->bars().empty());
    }

    // A live run (the simulated card playing the sample): the pages fill on their own timers
    // once the initialisation phase has ended, and its stop clears them as well.
    void onlineRunFillsAndClearsThePages() {
        window_->action(Command::Online)->trigger();
        QVERIFY(session_->analysisActive());
        const auto shownOnTicks = [this](int page, const std::function<bool()>& filled) {
            window_->showPage(page);
            return QTest::qWaitFor(
                [&] {
                    window_->tick();
                    return filled();
                },
                20000);
        };
        QVERIFY(shownOnTicks(kPageBasic, [this] {
            return basic_->field(QStringLiteral("TS分组长度："))->text() == "188 Bytes";
        }));
        QCOMPARE(basic_->field(QStringLiteral("业务数量："))->text(), QStringLiteral("2"));
        QCOMPARE(basic_->programSelector()->count(), 2);
        QVERIFY(shownOnTicks(kPageBasic, [this] {
            return basic_->field(QStringLiteral("输入接口："))->text() == "ASI 输入";
        }));
        QVERIFY(
            shownOnTicks(kPageBandwidth, [this] { return structure_->list()->rowCount() > 0; }));
        QCOMPARE(structure_->list()->item(0, 0)->text(), QStringLiteral("传送流摘要"));
        QVERIFY(shownOnTicks(kPageProgram, [this] {
            return program_->field(QStringLiteral("节目号："))->text() == "0x0001";
        }));
        session_->stop();
        QVERIFY(!session_->analysisActive());
        window_->tick();
        QVERIFY(basic_->field(QStringLiteral("TS分组长度："))->text().isEmpty());
        QVERIFY(basic_->field(QStringLiteral("输入接口："))->text().isEmpty());
        QCOMPARE(structure_->list()->rowCount(), 0);
        QVERIFY(program_->field(QStringLiteral("节目号："))->text().isEmpty());
    }

    void cleanupTestCase() {
        window_.reset();
        session_.reset();
    }
};

QTEST_MAIN(InfoPagesTest)
#include "info_pages_test.moc"
