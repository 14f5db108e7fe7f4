// Reading: the USB box's collection, resynchronisation and unit parsing, and the PCI ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "cardlib/usb_stream.h"
#include "platform/devio/event.h"
#include "platform/devio/zelcard_interface.h"
#include "tests/cardlib/card_fixture.h"

namespace orv::test {
namespace {

constexpr std::size_t kUnit = 190;

class ReadTest : public CardTest {
  protected:
    // Initialises, sets up the FIFO and starts receiving.
    void start(const sim::SimConfig& c, unsigned plainStream = 0) {
        if (c.kind == sim::SimKind::Usb) {
            usb_ = plugUsb(c);
        } else {
            pci_ = plugPci(c);
        }
        ASSERT_EQ(ZelInitCard(0, plainStream, 0, 1, 6000000, 474000, 6875, 2, 0), 0);
        ASSERT_EQ(ZelInitFifo(500, 0, 50, 0, 0), 0);
        ASSERT_EQ(ZelStartReceive(0), 0);
    }

    // Reads `blocks` blocks; returns the result and keeps the first packet index of each block.
    long long read(unsigned long blocks) {
        buffer_.assign(blocks * 8160, 0);
        rates_.assign(blocks, 0);
        records_.assign(blocks, ExtraDataInTs{});
        count_ = 99;
        firsts_.clear();
        const long long n =
            ZelReadData2(buffer_.data(), rates_.data(), records_.data(), count_, blocks, 0);
        const std::size_t blockBytes = zel::slot(0).rxBlockSize;
        for (long long b = 0; b < n; ++b) {
            const std::uint8_t* block = buffer_.data() + b * blockBytes;
            const std::uint32_t first = packetIndex(block);
            firsts_.push_back(first);
            // The 40 packets of a block are consecutive packets of the file.
            for (std::size_t j = 1; j < 40; ++j) {
                EXPECT_EQ(packetIndex(block + j * (blockBytes / 40)),
                          (first + j) % kIndexedPackets);
            }
        }
        return n;
    }

    std::shared_ptr<sim::UsbBox> usb_;
    std::shared_ptr<sim::PciCard> pci_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint32_t> rates_;
    std::vector<ExtraDataInTs> records_;
    std::vector<std::uint32_t> firsts_;
    unsigned count_ = 0;
};

TEST_F(ReadTest, FiveUsbBlocksNeed38950BytesAndCarryTheirRecords) {
    start(simConfig(sim::SimKind::Usb));
    ASSERT_EQ(read(5), 5);
    EXPECT_EQ(zel::state().usb.staging.size(), 38950u);
    EXPECT_EQ(firsts_, (std::vector<std::uint32_t>{0, 40, 80, 120, 160}));
    EXPECT_EQ(count_, 5u);
    for (const ExtraDataInTs& r : records_) {
        EXPECT_FLOAT_EQ(r.errorRatio, 0.001f);  // byte 29 = 0x40, bytes 30-32 = 00 03 E8
        EXPECT_EQ(r.statusByte, 0x86);
        EXPECT_TRUE(r.statusFlag);
        EXPECT_EQ(r.statusCode, 5u);
        EXPECT_EQ(r.rawTail[0], 41);
        EXPECT_EQ(r.rawTail[19], 60);
        EXPECT_EQ(r.rawQuality, 20);
    }
    for (std::uint32_t value : rates_) {
        EXPECT_NEAR(7520 * 10 * 8 * 27 / (value + 1.0), 2.0, 0.001);
    }
    EXPECT_EQ(read(5), 5);
    EXPECT_EQ(firsts_.front(), 200u);
}

TEST_F(ReadTest, InformationPacketDecoding) {
    std::vector<std::uint8_t> unit(kUnit, 0);
    unit[0] = 0x55;
    unit[1] = 0xAA;
    unit[10] = 7;
    unit[11] = 2;  // only 1 sets the flag
    unit[29] = 0x40;
    unit[30] = 0xF0;  // the high nibble is not part of the mantissa
    unit[31] = 0x03;
    unit[32] = 0xE8;
    unit[34] = 4;
    unit[36] = 255;
    unit[37] = 183;
    unit[38] = 0;
    ExtraDataInTs r{};
    zel::decodeInfoUnit(unit.data(), r);
    EXPECT_EQ(r.statusByte, 7);
    EXPECT_FALSE(r.statusFlag);
    EXPECT_FLOAT_EQ(r.errorRatio, 0.001f);
    EXPECT_FLOAT_EQ(r.offsetValue, 4 * 6875 * 1000 / 512.0f);
    EXPECT_FLOAT_EQ(r.levelDbuv, 43.5f);
    EXPECT_FLOAT_EQ(r.qualityDb, 54.5f);
    EXPECT_EQ(r.rawRatio[0], 0x40);
    EXPECT_EQ(r.rawRatio[1], 0xF0);
}

TEST_F(ReadTest, ResynchronisationDropsUnframedAndShortTransfers) {
    struct Case {
        const char* name;
        std::size_t garbage;
        std::size_t firstTransfer;
        std::uint32_t firstBlock;
    };
    const Case cases[] = {
        {"a transfer without the pattern", 65536, 0, 0},
        {"a transfer of 60 units", 0, 60 * kUnit, 80},
        {"a transfer of 60 units and a byte", 0, 60 * kUnit + 1, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        zel::resetLibraryState();
        for (auto& d : devices_)
            sim::unplug(d);
        auto c = simConfig(sim::SimKind::Usb);
        c.garbageBytes = k.garbage;
        c.firstTransferBytes = k.firstTransfer;
        start(c);
        ASSERT_EQ(read(5), 5);
        EXPECT_EQ(firsts_.front(), k.firstBlock);
    }
}

TEST_F(ReadTest, MissingInformationPacketGivesMinusTwoThenResynchronises) {
    auto c = simConfig(sim::SimKind::Usb);
    c.dropInfoAfter = 4;
    start(c);
    EXPECT_EQ(read(5), -2);
    EXPECT_EQ(zel::state().usb.ringAvailable, 0u);
    ASSERT_EQ(read(5), 5);
    for (std::size_t b = 1; b < firsts_.size(); ++b) {
        EXPECT_EQ(firsts_[b], (firsts_[b - 1] + 40) % kIndexedPackets);
    }
    EXPECT_GE(firsts_.front(), 200u);
}

TEST_F(ReadTest, LostFramingGivesMinusOneThenResynchronises) {
    auto c = simConfig(sim::SimKind::Usb);
    c.lostFramingAfter = 2;
    start(c);
    for (std::uint32_t b = 0; b < 3; ++b) {
        ASSERT_EQ(read(1), 1);
        EXPECT_EQ(firsts_.front(), 40 * b);
    }
    EXPECT_EQ(read(1), -1);
    ASSERT_EQ(read(1), 1);
    EXPECT_GE(firsts_.front(), 160u);
}

TEST_F(ReadTest, GroupsAndInformationPacketsInRunsParse) {
    auto c = simConfig(sim::SimKind::Usb);
    c.groupsPerRun = 2;  // two groups, then their two information packets
    start(c);
    ASSERT_EQ(read(4), 4);
    EXPECT_EQ(firsts_, (std::vector<std::uint32_t>{40, 80, 120, 160}));
    EXPECT_EQ(count_, 4u);
    ASSERT_EQ(read(4), 4);
    EXPECT_EQ(firsts_.front(), 200u);
}

// Information units in runs; the first transfer ends one unit into the last group of the first
// run, so the resynchronisation starts there; later the framing is lost and an information unit
// is missing. Whatever each read answers, every block handed out holds whole packets of the
// source, in order: none repeated, none shifted, none made of an information unit. Reads of a
// size that cuts the runs go on in step.
TEST_F(ReadTest, BlocksAfterResynchronisationHoldOnlyTheSourcesPackets) {
    struct Case {
        unsigned runs;
        unsigned long blocks;
    };
    const Case cases[] = {{2, 5}, {2, 1}, {3, 3}};
    constexpr std::size_t kSourcePackets = 40000;
    const std::vector<std::uint8_t> source = indexedStream(kSourcePackets);
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "runs of " << k.runs << ", reads of " << k.blocks);
        zel::resetLibraryState();
        for (auto& d : devices_)
            sim::unplug(d);
        auto c = simConfig(sim::SimKind::Usb);
        c.bytes = source;
        c.groupsPerRun = k.runs;
        c.firstTransferBytes = (40 * (k.runs - 1) + 1) * kUnit;
        c.lostFramingAfter = 30;
        c.dropInfoAfter = 70;
        start(c);

        std::vector<std::uint8_t> buffer(k.blocks * 7520);
        std::vector<std::uint32_t> rates(k.blocks);
        std::vector<ExtraDataInTs> records(k.blocks);
        std::int64_t last = -1;   // index of the last packet handed out
        bool continuous = false;  // the previous read handed blocks out
        std::size_t handed = 0;
        int failures = 0;
        for (int r = 0; r < 400 && handed < 120 && last < 30000; ++r) {
            unsigned count = 0;
            const long long n =
                ZelReadData2(buffer.data(), rates.data(), records.data(), count, k.blocks, 0);
            if (n <= 0) {
                failures += n < 0;
                continuous = false;
                continue;
            }
            ASSERT_EQ(n, static_cast<long long>(k.blocks));
            EXPECT_EQ(count, k.blocks);
            for (std::size_t i = 0; i < k.blocks * 40; ++i) {
                const std::uint8_t* p = buffer.data() + i * 188;
                ASSERT_EQ(p[0], 0x47) << "read " << r << ", packet " << i;
                const std::uint32_t index = packetIndex(p);
                ASSERT_LT(index, kSourcePackets);
                ASSERT_TRUE(std::equal(p, p + 188, source.begin() + index * 188))
                    << "packet " << index << " altered";
                if (continuous) {
                    ASSERT_EQ(index, last + 1) << "read " << r << ", packet " << i;
                } else {
                    ASSERT_GT(index, last) << "read " << r << ", packet " << i;
                }
                last = index;
                continuous = true;
            }
            handed += k.blocks;
        }
        EXPECT_GE(handed, 120u);
        // Each fault costs a read or two; a read that begins with the rest of a run of
        // information units is in step and costs nothing.
        EXPECT_GE(failures, 1);
        EXPECT_LE(failures, 4);
    }
}

TEST_F(ReadTest, PlainUsbStreamDeliversPacketsAsTheyCome) {
    start(simConfig(sim::SimKind::Usb, 204), 1);
    bool is188 = true;
    EXPECT_EQ(ZelGetInputPacketLen(&is188, 0), 0);
    EXPECT_FALSE(is188);
    ASSERT_EQ(read(3), 3);
    EXPECT_EQ(firsts_, (std::vector<std::uint32_t>{0, 40, 80}));
    EXPECT_EQ(count_, 0u);
}

TEST_F(ReadTest, UsbRateQueries) {
    auto c = simConfig(sim::SimKind::Usb);
    usb_ = plugUsb(c);
    ASSERT_EQ(initAsi(), 0);
    double mbps = 0;
    EXPECT_EQ(ZelGetInputBitrates(&mbps, 0), 0);
    EXPECT_NEAR(mbps, 2.0, 1e-6);

    zel::resetLibraryState();
    for (auto& d : devices_)
        sim::unplug(d);
    c.refusedRequests = {zel::kVendorSyncStatus};
    plugUsb(c);
    zel::state().deviceKind = zel::DeviceKind::UsbBox;
    ASSERT_EQ(ZelInitFifo(200, 0, 50, 0, 0), 0);
    EXPECT_EQ(ZelGetInputBitrates(&mbps, 0), 0);
    EXPECT_EQ(mbps, -1.0);
    bool is188 = false;
    EXPECT_EQ(ZelGetInputPacketLen(&is188, 0), -1);
    EXPECT_TRUE(is188);
}

TEST_F(ReadTest, PciRingWithNothingInItGivesNoBlocks) {
    auto c = simConfig(sim::SimKind::Pci);
    c.noSync = true;
    pci_ = plugPci(c);
    ASSERT_EQ(initAsi(), 0);
    ASSERT_EQ(ZelInitFifo(200, 0, 50, 0, 0), 0);
    bool is188 = false;
    EXPECT_EQ(ZelGetInputPacketLen(&is188, 0), -2);
    EXPECT_EQ(ZelStartReceive(0), -3);  // no input format detected
    EXPECT_EQ(read(5), 0);
}

TEST_F(ReadTest, PciReceiveStartAndMeasures) {
    start(simConfig(sim::SimKind::Pci, 204));
    EXPECT_EQ(zel::slot(0).rxBlockSize, 8160u);
    EXPECT_EQ(pci_->registerValue(zel::kRegRxBlockSize), 8156u);
    EXPECT_EQ(ZelStartReceive(0), -2);
    double mbps = 0;
    EXPECT_EQ(ZelGetInputBitrates(&mbps, 0), 0);
    EXPECT_NEAR(mbps, 2.0, 0.001);
    EXPECT_EQ(ZelStopReTran(0), 0);
    EXPECT_FALSE(zel::slot(0).receiving);
}

}  // namespace
}  // namespace orv::test
