// The card as a live source, on the simulated PCI card and USB box: what a run reads (every
// packet whole and in order, 40-packet groups whose timing values give the stream's rate, the
// USB box's QAM records), the FIFO sized by the input rate, a card that cannot be set up, an
// interrupted stream, and the waits a stop request must be able to end. A "timer" thread asks
// for the rate and the QAM record all the while, as the run control does.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/card_source.h"
#include "platform/devio/zelcard_interface.h"
#include "sim/ts_source.h"
#include "tests/cardlib/card_fixture.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the waits and reads of a run brought.
struct Received {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> times;
    std::vector<int> packetLengths;  // of each read that brought groups
    std::size_t groups = 0;
    int framingLost = 0;
    int timeoutsAfterData = 0;  // waits that found nothing once data had come
    std::size_t groupsBeforeGap = 0;
};

// Waits and reads as the acquisition thread does until `groups` groups have come, or (with
// `untilGap`) until data comes again after a wait that timed out; 10 s at most.
Received receive(CardSource& source, std::size_t groups, std::chrono::milliseconds wait,
                 bool untilGap = false) {
    Received r;
    std::vector<std::uint8_t> block(kLiveBlockBytes);
    std::array<std::uint32_t, kLiveMaxGroupsPerRead> times{};
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        if (!untilGap && r.groups >= groups) break;
        if (untilGap && r.timeoutsAfterData > 0 && r.groups >= r.groupsBeforeGap + groups) break;
        if (!source.waitForData(wait)) {
            if (r.groups > 0 && r.timeoutsAfterData++ == 0) r.groupsBeforeGap = r.groups;
            continue;
        }
        const LiveRead read = source.read(block, times);
        r.framingLost += read.framingLost;
        if (read.groups == 0) continue;
        const std::size_t bytes = read.groups * kLiveGroupPackets * read.packetLength;
        r.bytes.insert(r.bytes.end(), block.begin(), block.begin() + bytes);
        r.times.insert(r.times.end(), times.begin(), times.begin() + read.groups);
        r.packetLengths.push_back(read.packetLength);
        r.groups += read.groups;
    }
    return r;
}

// The run control's one-second timer, much faster: it asks for the rate and the QAM record
// while the acquisition thread reads.
class TimerThread {
  public:
    explicit TimerThread(CardSource& source)
        : thread_([this, &source] {
              while (!done_.load()) {
                  source.inputBitrateMbps();
                  source.latestQamInfo();
                  std::this_thread::sleep_for(1ms);
              }
          }) {}
    ~TimerThread() {
        done_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

std::vector<std::uint8_t> captureOrGenerated(bool& fromCapture) {
    const auto capture = std::filesystem::path(ORV_STREAMS_DIR) / "cap-mpeg2-mp2-sdt.ts";
    fromCapture = std::filesystem::is_regular_file(capture);
    if (fromCapture) {
        std::vector<std::uint8_t> bytes(std::filesystem::file_size(capture));
        std::ifstream in(capture, std::ios::binary);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }
    tsgen::PresetOptions options;
    options.durationMs = 2000;
    return tsgen::generateStream(tsgen::cleanPreset(options).config);
}

std::vector<std::uint8_t> generated204() {
    tsgen::PresetOptions options;
    options.packetSize = 204;
    options.durationMs = 1000;
    return tsgen::generateStream(tsgen::cleanPreset(options).config);
}

const char* kindName(sim::SimKind kind) {
    return kind == sim::SimKind::Pci ? "Pci" : "Usb";
}

class CardSourceTest : public CardTest {
  protected:
    void plug(sim::SimConfig c) {
        if (c.kind == sim::SimKind::Pci) {
            pci_ = plugPci(std::move(c));
        } else {
            usb_ = plugUsb(std::move(c));
        }
    }
    std::shared_ptr<sim::PciCard> pci_;
    std::shared_ptr<sim::UsbBox> usb_;
    std::atomic<bool> stop_{false};
};

// ---------------------------------------------------------------------------------------------

struct DeliveryRow {
    sim::SimKind kind;
    bool packets204;
};

class Delivery : public CardSourceTest, public ::testing::WithParamInterface<DeliveryRow> {};

TEST_P(Delivery, EveryPacketWholeInOrderInGroupsThatGiveTheStreamsRate) {
    const DeliveryRow row = GetParam();
    bool fromCapture = false;
    sim::SimConfig c;
    c.kind = row.kind;
    c.bytes = row.packets204 ? generated204() : captureOrGenerated(fromCapture);
    if (!row.packets204 && !fromCapture) {
        std::printf("no captures in %s: a generated stream stands in\n", ORV_STREAMS_DIR);
    }
    const double rate = row.packets204 ? 6'000'000 : 5'000'000;  // bit/s, the device's playback
    c.bitrate = rate;
    c.speed = 20;
    c.qualityByte = 20;
    const sim::TsSource reference(c.bytes);
    const int length = row.packets204 ? 204 : 188;
    ASSERT_EQ(reference.packetLength(), std::size_t(length));
    plug(c);

    CardSource source;
    ASSERT_EQ(source.open(stop_), LiveOpenResult::Ready);
    EXPECT_EQ(source.packetLength(), length);
    Received r;
    {
        TimerThread timer(source);
        r = receive(source, reference.packetCount() / 40 + 10, 200ms);
    }
    EXPECT_NEAR(source.inputBitrateMbps(), rate / 1e6, rate / 1e6 * 0.01);
    const std::optional<ExtraDataInTs> info = source.latestQamInfo();
    source.close();

    ASSERT_GE(r.groups, reference.packetCount() / 40 + 10);
    EXPECT_EQ(r.framingLost, 0);
    for (int l : r.packetLengths)
        ASSERT_EQ(l, length);
    // Groups of 40 packets (7520 or 8160 bytes), each the file's next packets, looping at its end.
    ASSERT_EQ(r.bytes.size(), r.groups * 40 * length);
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < r.bytes.size() / length; ++i) {
        const auto want = reference.packet(i);
        mismatches += !std::equal(want.begin(), want.end(), r.bytes.begin() + i * length);
    }
    EXPECT_EQ(mismatches, 0u);
    // A group's time T in 1/270 MHz gives L x 3200 / (T / 27 MHz) bit/s.
    for (std::uint32_t t : r.times) {
        ASSERT_NE(t, 0u);
        const double mbps = length * 3200.0 / (t / 27e6) / 1e6;
        ASSERT_NEAR(mbps, rate / 1e6, rate / 1e6 * 0.005);
    }

    if (row.kind == sim::SimKind::Pci) {
        EXPECT_FALSE(info.has_value());
        return;
    }
    // The box's information packets: status 0x86, flag byte 1, ratio bytes 0x40 00 03 E8
    // (1000 / 10^6), code 5, scaled byte 0x10 (16 x 10^6 / 2^18), tail bytes 41 to 60.
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->statusByte, 0x86);
    EXPECT_TRUE(info->statusFlag);
    EXPECT_FLOAT_EQ(info->errorRatio, 0.001f);
    EXPECT_EQ(info->statusCode, 5u);
    EXPECT_NEAR(info->scaledValue, 61.035, 0.001);
    EXPECT_EQ(info->rawQuality, 20);
    EXPECT_EQ(info->rawTail[0], 41);
    EXPECT_EQ(info->rawTail[19], 60);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, Delivery,
    ::testing::Values(DeliveryRow{sim::SimKind::Pci, false}, DeliveryRow{sim::SimKind::Pci, true},
                      DeliveryRow{sim::SimKind::Usb, false}, DeliveryRow{sim::SimKind::Usb, true}),
    [](const auto& info) {
        return std::string(kindName(info.param.kind)) + (info.param.packets204 ? "204" : "188");
    });

// ---------------------------------------------------------------------------------------------

TEST_F(CardSourceTest, ReceiveFifoIsSizedByTheInputRate) {
    struct Row {
        double mbps;
        std::uint32_t entries;
        std::uint32_t param;
    };
    const Row rows[] = {{0.5, 200, 50}, {0.99, 200, 50},   {1.0, 500, 50},
                        {9.9, 500, 50}, {10.0, 1000, 100}, {38.0, 1000, 100}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mbps);
        sim::SimConfig c = simConfig(sim::SimKind::Pci);
        c.bitrate = row.mbps * 1e6;
        plug(c);
        CardSource source;
        ASSERT_EQ(source.open(stop_), LiveOpenResult::Ready);
        EXPECT_EQ(ZelReceiveFifo[0].entryCount, row.entries);
        EXPECT_EQ(ZelReceiveFifo[0].param, row.param);
        source.close();
        sim::unplug(pci_);
        zel::resetLibraryState();
    }
}

// ---------------------------------------------------------------------------------------------

TEST_F(CardSourceTest, ACardThatCannotBeSetUpFailsWithItsMessageAndIsNeverRead) {
    struct Row {
        const char* name;
        sim::SimKind kind;
        bool plugged;
        void (*fault)(sim::SimConfig&);
        InputInterface input;
        std::vector<std::string> messages;  // the library's own first, then the source's
    };
    const Row rows[] = {
        {"no device",
         sim::SimKind::Pci,
         false,
         [](sim::SimConfig&) {},
         InputInterface::Asi,
         {"初始化接口失败!"}},
        {"pci open fails",
         sim::SimKind::Pci,
         true,
         [](sim::SimConfig& c) { c.openFails = true; },
         InputInterface::Asi,
         {"初始化接口失败!"}},
        {"pci busy",
         sim::SimKind::Pci,
         true,
         [](sim::SimConfig& c) { c.busy = true; },
         InputInterface::Asi,
         {"PCI ERROR!", "初始化接口失败!"}},
        {"pci cable no lock",
         sim::SimKind::Pci,
         true,
         [](sim::SimConfig& c) { c.noLock = true; },
         InputInterface::Cable,
         {"初始化接口失败!"}},
        {"usb open fails",
         sim::SimKind::Usb,
         true,
         [](sim::SimConfig& c) { c.openFails = true; },
         InputInterface::Asi,
         {"初始化接口失败!"}},
        {"usb cable no lock",
         sim::SimKind::Usb,
         true,
         [](sim::SimConfig& c) { c.noLock = true; },
         InputInterface::Cable,
         {"初始化接口失败!"}},
        {"pci fifo refused",
         sim::SimKind::Pci,
         true,
         [](sim::SimConfig& c) { c.refusedCodes.push_back(zel::kIoctlPciFifoSetup); },
         InputInterface::Asi,
         {"初始化接口失败!"}},
        // The box gives no event name for its data: initialised, but it could never deliver.
        {"usb without data event",
         sim::SimKind::Usb,
         true,
         [](sim::SimConfig& c) { c.refusedCodes.push_back(zel::kIoctlUsbEventName); },
         InputInterface::Asi,
         {"初始化接口失败!"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        messages_.clear();
        sim::SimConfig c = simConfig(row.kind);
        c.frequencyKHz = 474000;
        row.fault(c);
        if (row.plugged) plug(c);
        InterfaceSettings settings;
        settings.inputInterface = row.input;
        settings.cableFrequencyKHz = 474000;
        CardSource source(settings);
        EXPECT_EQ(source.open(stop_), LiveOpenResult::Failed);
        EXPECT_EQ(messages_, row.messages);
        std::vector<std::uint8_t> block(kLiveBlockBytes);
        std::array<std::uint32_t, kLiveMaxGroupsPerRead> times{};
        EXPECT_FALSE(source.waitForData(20ms));
        EXPECT_EQ(source.read(block, times).groups, 0u);
        source.close();
        if (pci_) {
            // Never told to receive, nor to stop.
            EXPECT_NE(pci_->registerValue(zel::kRegControl), zel::kCmdStartReceive);
            EXPECT_NE(pci_->registerValue(zel::kRegControl), zel::kCmdStop);
            sim::unplug(pci_);
            pci_.reset();
        }
        if (usb_) {
            sim::unplug(usb_);
            usb_.reset();
        }
        zel::resetLibraryState();
    }
}

// ---------------------------------------------------------------------------------------------

class Interruption : public CardSourceTest, public ::testing::WithParamInterface<sim::SimKind> {};

TEST_P(Interruption, WaitsTimeOutThenTheStreamGoesOnWhereItStopped) {
    sim::SimConfig c = simConfig(GetParam());
    // After the first second of stream, at speed 20: one second without data from the PCI card,
    // two from the USB box, where a read that finds the pipe empty takes a while to give up
    // (1000 empty transfers) before the waits can time out.
    c.interruptSeconds = GetParam() == sim::SimKind::Pci ? 20 : 40;
    plug(c);
    CardSource source;
    ASSERT_EQ(source.open(stop_), LiveOpenResult::Ready);
    Received r;
    {
        TimerThread timer(source);
        r = receive(source, 20, 100ms, true);
    }
    source.close();
    EXPECT_GE(r.timeoutsAfterData, 1);
    ASSERT_GE(r.groups, r.groupsBeforeGap + 20);
    // Nothing was lost across the gap: the packets carry their index.
    for (std::size_t i = 0; i < r.bytes.size() / 188; ++i) {
        ASSERT_EQ(packetIndex(r.bytes.data() + i * 188), i % kIndexedPackets) << "packet " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Cards, Interruption,
                         ::testing::Values(sim::SimKind::Pci, sim::SimKind::Usb),
                         [](const auto& info) { return kindName(info.param); });

TEST_F(CardSourceTest, LostUsbFramingIsAnEmptyBatchAndReadingGoesOn) {
    sim::SimConfig c = simConfig(sim::SimKind::Usb);
    c.lostFramingAfter = 10;  // junk bytes behind the eleventh group
    plug(c);
    CardSource source;
    ASSERT_EQ(source.open(stop_), LiveOpenResult::Ready);
    const Received r = receive(source, 60, 200ms);
    source.close();
    EXPECT_GE(r.framingLost, 1);
    EXPECT_GE(r.groups, 60u);
    // Whatever came is whole groups of the file's consecutive packets.
    for (std::size_t g = 0; g < r.groups; ++g) {
        const std::uint8_t* group = r.bytes.data() + g * 40 * 188;
        for (std::size_t j = 1; j < 40; ++j) {
            ASSERT_EQ(packetIndex(group + j * 188), (packetIndex(group) + j) % kIndexedPackets);
        }
    }
}

// ---------------------------------------------------------------------------------------------

TEST_F(CardSourceTest, WakeEndsAWaitAtOnceAndAStopEndsTheReceiveStartRetries) {
    // A wake with no wait in progress ends the next wait; a wake ends a long wait on a card
    // whose stream does not come.
    sim::SimConfig c = simConfig(sim::SimKind::Pci);
    c.interruptSeconds = 100000;
    c.speed = 1000;  // the first second of stream is soon gone, then nothing comes
    plug(c);
    CardSource source;
    ASSERT_EQ(source.open(stop_), LiveOpenResult::Ready);
    source.wake();
    EXPECT_FALSE(source.waitForData(10s));
    std::vector<std::uint8_t> block(kLiveBlockBytes);
    std::array<std::uint32_t, kLiveMaxGroupsPerRead> times{};
    for (int reads = 0; reads < 1000 && source.waitForData(100ms); ++reads) {
        source.read(block, times);  // what came before the stream stopped
    }
    const auto started = Clock::now();
    std::thread waker([&] {
        std::this_thread::sleep_for(20ms);
        source.wake();
    });
    EXPECT_FALSE(source.waitForData(10s));
    waker.join();
    EXPECT_LT(Clock::now() - started, 5s);  // woken, not timed out
    source.close();
    sim::unplug(pci_);
    zel::resetLibraryState();

    // A USB box that refuses its start code never starts receiving; the start is retried until
    // the stop request.
    sim::SimConfig u = simConfig(sim::SimKind::Usb);
    u.refusedRequests.push_back(zel::kVendorStartCode);
    plug(u);
    CardSource refused;
    auto startAttempts = [&] {
        int attempts = 0;
        for (const auto& request : usb_->requests())
            attempts += request.request == zel::kVendorStartCode;
        return attempts;
    };
    // The stop comes once the start has been refused twice (however slowly a loaded machine
    // gets there), or after five seconds.
    std::thread stopper([&] {
        const auto deadline = Clock::now() + 5s;
        while (startAttempts() < 2 && Clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        stop_ = true;
    });
    EXPECT_EQ(refused.open(stop_), LiveOpenResult::Stopped);
    stopper.join();
    EXPECT_GE(startAttempts(), 2);
    EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace orv::test
