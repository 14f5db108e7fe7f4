// The interface settings dialog, the QAM scan and the QAM status panel: the scan over a stand-in
// tuner (order, results, a card that cannot be opened, a stop), over the simulated PCI card on
// the virtual clock (it finds its channel and nothing else; with no lock it finds nothing), and
// the panel's texts for each kind of run.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "acquisition/card_tuning.h"
#include "acquisition/interface_dialog.h"
#include "acquisition/qam_scan.h"
#include "acquisition/qam_status_panel.h"
#include "tests/cardlib/card_fixture.h"

namespace orv::test {
namespace {

using namespace std::chrono_literals;

TEST(InterfaceDialogModel, OpensOnTheSettingsAndAcceptsWhatWasTyped) {
    InterfaceDialog d = InterfaceDialog::open(InterfaceSettings{});
    EXPECT_EQ(d.inputIndex, 0);
    EXPECT_EQ(kInputInterfaceNames[static_cast<std::size_t>(d.inputIndex)], "ASI输入");
    EXPECT_EQ(d.frequencyText, "315000");
    EXPECT_EQ(d.symbolRateText, "6875");
    EXPECT_EQ(kQamModeNames[static_cast<std::size_t>(d.qamIndex)], "64 QAM");
    EXPECT_FALSE(d.cableControlsEnabled());
    EXPECT_EQ(d.scanFrequencyText, "52000");
    EXPECT_FALSE(d.scanFrequencyEnabled());

    d.inputIndex = 1;
    d.qamIndex = 4;
    d.frequencyText = "474000";
    d.typeSymbolRate("6875");
    EXPECT_TRUE(d.cableControlsEnabled());
    InterfaceSettings s = d.accept();
    EXPECT_EQ(s.inputInterface, InputInterface::Cable);
    EXPECT_EQ(s.cableFrequencyKHz, 474000);
    EXPECT_EQ(s.cableSymbolRateK, 6875);
    EXPECT_EQ(s.cableQamIndex, 4);
    EXPECT_EQ(InterfaceDialog::open(s).frequencyText, "474000");

    d.typeSymbolRate("12a3456");  // digits only, four at most
    EXPECT_EQ(d.symbolRateText, "1234");
    d.typeScanFrequency("8580001");
    EXPECT_EQ(d.scanFrequencyText, "858000");
    d.frequencyText = "abc";  // not a number: 0
    EXPECT_EQ(d.accept().cableFrequencyKHz, 0);
    EXPECT_EQ(fieldNumber("99999999999"), 0);
}

// ---------------------------------------------------------------------------------------------

struct ScanRow {
    const char* name;
    bool automatic;
    int frequency;
    std::vector<int> lockAt;  // the stand-in tuner locks at these
    int failAt;               // and answers -2 (no card) at this one; 0 never
    std::vector<std::string> results;
    int calls;
    bool cardFailed;
};

class ScanOverTuner : public ::testing::TestWithParam<ScanRow> {};

TEST_P(ScanOverTuner, TriesTheFrequenciesInOrderAndListsThoseThatLocked) {
    const ScanRow& row = GetParam();
    std::vector<int> tried;
    std::mutex mutex;
    QamScan scan([&](int f, int sr, int qam) -> long {
        EXPECT_EQ(sr, 6900);
        EXPECT_EQ(qam, 4);
        const std::lock_guard lock(mutex);
        tried.push_back(f);
        if (f == row.failAt) return -2;
        return std::find(row.lockAt.begin(), row.lockAt.end(), f) != row.lockAt.end() ? 0 : -4;
    });
    std::vector<int> found;
    ASSERT_EQ(
        scan.start({row.automatic, row.frequency, 6900, 4}, [&](int f) { found.push_back(f); }),
        std::nullopt);
    scan.join();
    const ScanStatus s = scan.status();
    EXPECT_FALSE(s.scanning);
    EXPECT_EQ(s.results, row.results);
    EXPECT_EQ(static_cast<int>(tried.size()), row.calls);
    EXPECT_EQ(s.cardFailed, row.cardFailed);
    EXPECT_EQ(found, s.lockedKHz);
    if (row.automatic && row.calls == 98) {
        EXPECT_EQ(tried.front(), 52000);
        EXPECT_EQ(tried[4], 88000);
        EXPECT_EQ(tried[5], 115000);
        EXPECT_EQ(tried[48], 459000);
        EXPECT_EQ(tried[49], 474000);
        EXPECT_EQ(tried.back(), 858000);
    }
    EXPECT_EQ(CardClaim::holder(), CardUser::None);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScanOverTuner,
    ::testing::Values(
        ScanRow{"automatic",
                true,
                0,
                {60000, 474000, 858000},
                0,
                {"60000KHz...OK!", "474000KHz...OK!", "858000KHz...OK!"},
                98,
                false},
        ScanRow{"manual_locked", false, 474000, {474000}, 0, {"474000KHz...OK!"}, 1, false},
        ScanRow{"manual_not_locked", false, 482000, {474000}, 0, {"初始化失败!"}, 1, false},
        ScanRow{"no_card", true, 0, {474000}, 52000, {"初始化失败!"}, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanControl, AStopEndsTheScanAfterTheFrequencyUnderTestAndTheCardIsClaimedMeanwhile) {
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    QamScan scan([&](int, int, int) -> long {
        ++calls;
        while (!release.load())
            std::this_thread::sleep_for(1ms);
        return -4;
    });
    ASSERT_EQ(scan.start({}), std::nullopt);
    while (calls.load() == 0)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(scan.status().scanning);
    EXPECT_EQ(scan.status().frequencyUnderTest, 52000);
    // While it scans, nobody else gets the card, and a second scan does not start.
    EXPECT_FALSE(CardClaim::take(CardUser::Recording).has_value());
    EXPECT_TRUE(scan.start({}).has_value());
    scan.tick();
    EXPECT_EQ(scan.status().progress, 1);
    scan.requestStop();
    release = true;
    scan.join();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_FALSE(scan.status().scanning);
    EXPECT_EQ(scan.status().progress, 0);
    EXPECT_TRUE(CardClaim::take(CardUser::Recording).has_value());
}

// The simulated PCI card on its channel 474000 kHz / 6875 / 64-QAM, tuned by the card library
// on the virtual clock.
TEST_F(CardTest, ScanOfTheSimulatedCardFindsItsChannelOnlyAndNothingWithoutLock) {
    plugPci(simConfig(sim::SimKind::Pci));
    QamScan scan(tuneCableChannel);
    ASSERT_EQ(scan.start({true, 0, 6875, 2}), std::nullopt);
    scan.join();
    EXPECT_EQ(scan.status().lockedKHz, std::vector<int>{474000});
    EXPECT_EQ(scan.status().tried, 98);

    for (auto& device : devices_)
        sim::unplug(device);
    devices_.clear();
    zel::resetLibraryState();
    auto c = simConfig(sim::SimKind::Pci);
    c.noLock = true;
    plugPci(c);
    ASSERT_EQ(scan.start({false, 474000, 6875, 2}), std::nullopt);
    scan.join();
    EXPECT_EQ(scan.status().results, std::vector<std::string>{"初始化失败!"});
    EXPECT_FALSE(scan.status().cardFailed);
}

// ---------------------------------------------------------------------------------------------

TEST(QamPanel, ShowsTheRunsInputAndTheQualityBar) {
    struct Row {
        bool initDone;
        AnalysisMode mode;
        InterfaceSettings settings;
        std::optional<float> quality;
        std::optional<bool> locked;
        std::vector<std::string> texts;  // input, lock, frequency, symbol rate, QAM
        int barMax;
        int barPosition;
    };
    const InterfaceSettings cable{InputInterface::Cable, 474000, 6875, 4};
    const std::vector<std::string> none(5, " - ");
    const std::vector<Row> rows{
        {true, AnalysisMode::Offline, cable, 30.0f, {}, none, 1000, 0},
        {true,
         AnalysisMode::Online,
         {},
         30.0f,
         {},
         {"ASI 输入", " - ", " - ", " - ", " - "},
         1000,
         0},
        {true,
         AnalysisMode::Online,
         cable,
         32.257f,
         {},
         {"CABLE 输入", "锁定", "474000 kHz", "6875 kbaud", "256 QAM"},
         4500,
         3225},
        // 54.5 dB is off the bar's 45 dB; a figure the conversion could not make is 0.
        {true,
         AnalysisMode::Online,
         cable,
         54.5f,
         {},
         {"CABLE 输入", "锁定", "474000 kHz", "6875 kbaud", "256 QAM"},
         4500,
         4500},
        {true,
         AnalysisMode::Online,
         cable,
         -1.0f,
         false,
         {"CABLE 输入", "未锁定", "474000 kHz", "6875 kbaud", "256 QAM"},
         4500,
         0},
    };
    for (const Row& row : rows) {
        QamStatusPanel panel;
        panel.refresh({row.initDone, row.mode, row.settings, row.quality, row.locked});
        EXPECT_EQ((std::vector<std::string>{panel.input, panel.lockState, panel.frequency,
                                            panel.symbolRate, panel.qamMode}),
                  row.texts);
        EXPECT_EQ(panel.barMax, row.barMax);
        EXPECT_EQ(panel.barPosition, row.barPosition);
    }
    // Before the initialisation phase has ended nothing changes.
    QamStatusPanel panel;
    panel.refresh({true, AnalysisMode::Online, cable, 30.0f, {}});
    panel.refresh({false, AnalysisMode::Offline, {}, {}, {}});
    EXPECT_EQ(panel.input, "CABLE 输入");
    EXPECT_EQ(panel.barPosition, 3000);
}

}  // namespace
}  // namespace orv::test
