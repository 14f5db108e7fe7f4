// The streaming round trip for each device kind: initialise, set up the FIFO, start receiving
// and read with ZelReadData2 on a reader thread that waits on the card's data event, while the
// simulated device plays a file. The delivered bytes are the file's packets in order, in 40-packet
// blocks, and the timing values give the file's bitrate.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "cardlib/card_state.h"
#include "cardlib/zelcard.h"
#include "platform/clock.h"
#include "platform/devio/event.h"
#include "platform/message.h"
#include "sim/sim_devices.h"
#include "sim/ts_source.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::test {
namespace {

struct Delivery {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> timing;
    std::size_t records = 0;
    std::size_t blocks = 0;
    int failedReads = 0;
};

// Reads `wanted` blocks in batches of up to five, waiting on the data event between reads.
Delivery readBlocks(std::size_t wanted) {
    Delivery d;
    std::vector<std::uint8_t> buffer(5 * 8160);
    std::uint32_t rates[5] = {};
    ExtraDataInTs records[5] = {};
    const ZelHandle dataEvent = hZelCardEvent[0].slot[1];
    while (d.blocks < wanted && d.failedReads < 50) {
        devio::waitForSingleObject(dataEvent, 200);
        unsigned count = 0;
        const long long n = ZelReadData2(buffer.data(), rates, records, count, 5, 0);
        if (n < 0) {
            ++d.failedReads;
            continue;
        }
        const std::size_t blockBytes = zel::slot(0).rxBlockSize;
        d.bytes.insert(d.bytes.end(), buffer.begin(), buffer.begin() + n * blockBytes);
        d.timing.insert(d.timing.end(), rates, rates + n);
        d.records += count;
        d.blocks += static_cast<std::size_t>(n);
    }
    return d;
}

std::vector<std::uint8_t> streamFile() {
    const std::filesystem::path capture =
        std::filesystem::path(ORV_STREAMS_DIR) / "cap-mpeg2-mp2-sdt.ts";
    std::ifstream in(capture, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A generated stream at a known bitrate stands in when the captures are absent.
std::vector<std::uint8_t> generatedFile() {
    tsgen::PresetOptions options;
    options.bitrate = 8'000'000;
    options.durationMs = 2000;
    return tsgen::generateStream(tsgen::cleanPreset(options).config);
}

class RoundTrip : public ::testing::TestWithParam<sim::SimKind> {
  protected:
    void SetUp() override { zel::resetLibraryState(); }
    void TearDown() override {
        zel::resetLibraryState();
        if (device_) sim::unplug(device_);
    }

    // Plays `file`, reads a little more than one loop of it and checks what arrived.
    void run(std::vector<std::uint8_t> file, double expectedBitrate) {
        sim::SimConfig c;
        c.kind = GetParam();
        c.bytes = std::move(file);
        c.speed = 25;
        const sim::TsSource reference(c.bytes);
        if (c.kind == sim::SimKind::Pci) {
            device_ = sim::plugInPci(c);
        } else {
            device_ = sim::plugInUsb(c);
        }
        VirtualClock clock;  // the library's waits; the device plays in real time
        ScopedMessageHook quiet([](std::string_view) {});
        ASSERT_EQ(ZelInitCard(0, 0, 0, 1, 6000000, 474000, 6875, 2, 0), 0);
        ASSERT_EQ(ZelInitFifo(1000, 0, 100, 0, 0), 0);
        ASSERT_EQ(ZelStartReceive(0), 0);

        const std::size_t wanted = reference.packetCount() / 40 + 10;
        Delivery d;
        std::thread reader([&] { d = readBlocks(wanted); });
        reader.join();
        EXPECT_EQ(ZelStopReTran(0), 0);

        ASSERT_GE(d.blocks, wanted);
        EXPECT_EQ(d.failedReads, 0);
        const std::size_t length = reference.packetLength();
        // Every delivered packet is the file's next one, looping at its end.
        std::size_t mismatches = 0;
        for (std::size_t i = 0; i < d.bytes.size() / length; ++i) {
            mismatches += !std::equal(reference.packet(i).begin(), reference.packet(i).end(),
                                      d.bytes.begin() + static_cast<std::ptrdiff_t>(i * length));
        }
        EXPECT_EQ(mismatches, 0u);
        for (std::uint32_t value : d.timing) {
            const double mbps = 40.0 * length * 10 * 8 * 27 / (value + 1.0);
            EXPECT_NEAR(mbps, expectedBitrate / 1e6, expectedBitrate / 1e6 * 0.01);
        }
        EXPECT_EQ(d.records, c.kind == sim::SimKind::Usb ? d.blocks : 0u);
    }

    std::shared_ptr<devio::Driver> device_;
};

TEST_P(RoundTrip, RealCapture) {
    if (!std::filesystem::is_directory(ORV_STREAMS_DIR)) GTEST_SKIP() << "no captures";
    auto file = streamFile();
    ASSERT_FALSE(file.empty());
    // The reference bitrate: the PCRs' own measure of the capture.
    const auto bitrate = sim::pcrBitrate(file, 0, 188);
    ASSERT_TRUE(bitrate.has_value());
    run(std::move(file), *bitrate);
}

TEST_P(RoundTrip, GeneratedStreamAtItsConfiguredBitrate) {
    run(generatedFile(), 8'000'000);
}

INSTANTIATE_TEST_SUITE_P(Cards, RoundTrip, ::testing::Values(sim::SimKind::Pci, sim::SimKind::Usb),
                         [](const auto& info) {
                             return info.param == sim::SimKind::Pci ? "Pci" : "Usb";
                         });

}  // namespace
}  // namespace orv::test
