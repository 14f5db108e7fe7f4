// Measurements, conversions, channel status, constellation, transmit, the PID filter entry point
// and the version text.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cardlib/signal_conversions.h"
#include "platform/text_codec.h"
#include "tests/cardlib/card_fixture.h"

namespace orv::test {
namespace {

TEST(SignalConversions, LevelTableCases) {
    struct Case {
        std::uint8_t a, b;
        float level;
    };
    const Case cases[] = {{0, 0, 115.0f},    {114, 9, 115.0f},  {115, 200, 115.0f},
                          {116, 0, 113.8f},  {200, 0, 93.2f},   {254, 0, 91.8f},
                          {255, 0, 91.8f},   {255, 34, 91.8f},  {255, 35, 91.7f},
                          {255, 50, 90.7f},  {255, 183, 43.5f}, {255, 200, 43.5f},
                          {255, 255, 43.5f}, {255, 120, 71.4f}};
    for (const Case& k : cases) {
        EXPECT_FLOAT_EQ(zel::signalLevelDbuv(k.a, k.b), k.level) << int(k.a) << "," << int(k.b);
    }
}

TEST(SignalConversions, QualityByConstellation) {
    struct Case {
        std::uint8_t x;
        std::uint32_t code;
        double db;
    };
    const Case cases[] = {
        {0, 7, 54.5},  // 210 / 5 + 12.5
        {0, 5, 195 / 1.38 + 10},
        {10, 6, 215 / 9.0 + 13.5},
        {20, 8, 185 / (0.38 * 20 + 4) + 13.8},
        {3, 9, 180 / 3.4 + 20.3},
        {3, 4, -1.0},
        {3, 10, -1.0},
    };
    for (const Case& k : cases) {
        EXPECT_NEAR(zel::qualityDb(k.x, k.code), k.db, 1e-4) << int(k.x) << " code " << k.code;
    }
}

TEST(SignalConversions, ErrorRatioDivisors) {
    EXPECT_FLOAT_EQ(zel::errorRatio(1000, 0x40), 0.001f);
    EXPECT_FLOAT_EQ(zel::errorRatio(1300, 0x00), 0.01f);  // 130000, not 100000
    EXPECT_FLOAT_EQ(zel::errorRatio(1000, 0x80), 0.0001f);
    EXPECT_FLOAT_EQ(zel::errorRatio(1000, 0xC0), 0.00001f);
}

TEST(LibraryInformation, VersionTextIs121Cp936Bytes) {
    std::vector<char> buffer(200, '\x7F');
    EXPECT_EQ(ZelGetDllVersionForRivudUsb(buffer.data()), 0);
    EXPECT_EQ(std::strlen(buffer.data()), 121u);
    EXPECT_EQ(buffer[122], '\x7F');  // nothing past the terminator
    const CodecResult text = cp936ToUtf8(buffer.data());
    if (text.status == CodecStatus::NoConverter) GTEST_SKIP() << "no GBK converter";
    EXPECT_EQ(text.text,
              "码流分析仪第二版.协议:以0X55 0X55开头的包为TS流包;以0XAA 0XAA开头的包为QAM信息包."
              "每隔40的整数倍个TS流包间隔一个QAM信息包.");
}

TEST_F(CardTest, PciMeasurementRegisters) {
    auto c = simConfig(sim::SimKind::Pci);
    c.agc = 0x155;
    c.quality = 0x1234;
    c.berCount = 0x10000 | 2048;  // only the low 16 bits count
    plugPci(c);
    ASSERT_EQ(initCable(474000, 6875, 2), 0);
    float ber = -1;
    int agc = -1;
    int quality = -1;
    EXPECT_EQ(ZelGetQAM_BER(&ber, 0), 0);
    EXPECT_FLOAT_EQ(ber, 2048 / 4194304.0f);
    EXPECT_EQ(ZelGetQAM_AGC(&agc, 0), 0);
    EXPECT_EQ(agc, 0x155);
    EXPECT_EQ(ZelGetQAM_SignalQuality(&quality, 0), 0);
    EXPECT_EQ(quality, 0x1234);
    unsigned short pids[2] = {0x100, 0x101};
    EXPECT_EQ(ZelSetReceivePidFilter(2, pids, 0), 0);
}

TEST_F(CardTest, BerOfOnlyTheHighHalfIsZero) {
    auto c = simConfig(sim::SimKind::Pci);
    c.berCount = 0;
    plugPci(c);
    ASSERT_EQ(initCable(474000, 6875, 2), 0);
    float ber = -1;
    EXPECT_EQ(ZelGetQAM_BER(&ber, 0), 0);
    EXPECT_EQ(ber, 0.0f);
}

TEST_F(CardTest, UsbChannelStatusAndConstellation) {
    auto c = simConfig(sim::SimKind::Usb);
    c.levelA = 255;
    c.levelB = 50;
    c.qualityByte = 0;
    plugUsb(c);
    ASSERT_EQ(initCable(474000, 6875, 2), 0);
    CurChannelParameter p{};
    const std::uint64_t before = orv::nowMs();
    ASSERT_EQ(ZelGetQAM_CurChannelParameter(&p, 0), 0);
    EXPECT_GE(orv::nowMs() - before, 500u);
    EXPECT_EQ(p.tunerLocked, 1u);
    EXPECT_EQ(p.carrierLocked, 1u);
    EXPECT_EQ(p.frameLocked, 1u);
    EXPECT_FLOAT_EQ(p.errorRatio, 0.001f);
    EXPECT_EQ(p.statusCode, 5u);
    EXPECT_FLOAT_EQ(p.offsetValue, 2 * 6875 * 1000 / 512.0f);
    EXPECT_FLOAT_EQ(p.scaledValue, 16 * 1000000 / 262144.0f);
    EXPECT_FLOAT_EQ(p.levelDbuv, 90.7f);
    EXPECT_FLOAT_EQ(p.qualityDb, 54.5f);
    const std::uint8_t raw[4] = {0x40, 0x00, 0x03, 0xE8};
    EXPECT_EQ(std::memcmp(p.rawRatio, raw, 4), 0);

    std::uint8_t samples[64] = {};
    unsigned long size = sizeof samples;
    EXPECT_EQ(ZelReadXingzuotuData(samples, size, 0), 0);
    EXPECT_EQ(size, 64u);
    EXPECT_EQ(samples[1], 37);
}

TEST_F(CardTest, UsbOnlyExportsOnAPciCard) {
    plugPci(simConfig(sim::SimKind::Pci));
    CurChannelParameter p{};
    std::uint8_t samples[64] = {};
    unsigned long size = sizeof samples;
    EXPECT_EQ(ZelGetQAM_CurChannelParameter(&p, 0), -4);
    EXPECT_EQ(ZelReadXingzuotuData(samples, size, 0), -4);
}

TEST_F(CardTest, TransmitRingAcceptsWhatIsFreeAndAFullRingWritesNothing) {
    auto pci = plugPci(simConfig(sim::SimKind::Pci));
    ASSERT_EQ(initAsi(), 0);
    ASSERT_EQ(ZelInitFifo(4, 3, 50, 50, 0), 0);
    std::vector<std::uint8_t> blocks(5 * 7520, 0x47);
    EXPECT_EQ(ZelWriteData(blocks.data(), 2, 0), 2);
    EXPECT_EQ(ZelWriteData(blocks.data(), 5, 0), 1);
    EXPECT_EQ(ZelWriteData(blocks.data(), 5, 0), 0);
    EXPECT_EQ(pci->transmittedBlocks(), 0u);
}

TEST_F(CardTest, TransmitStartAndStop) {
    auto pci = plugPci(simConfig(sim::SimKind::Pci));
    ASSERT_EQ(initAsi(), 0);
    ASSERT_EQ(ZelInitFifo(4, 3, 50, 50, 0), 0);
    EXPECT_EQ(ZelStartTransmit(0), 0);
    EXPECT_EQ(ZelStartTransmit(0), -2);
    EXPECT_EQ(ZelInitFifo(4, 3, 50, 50, 0), -2);  // busy
    EXPECT_EQ(ZelStopReTran(0), 0);
    EXPECT_FALSE(zel::slot(0).transmitting);
}

TEST_F(CardTest, TransmitStartNotAcknowledged) {
    auto c = simConfig(sim::SimKind::Pci);
    plugPci(c);
    ASSERT_EQ(initAsi(), 0);
    c.busy = true;
    zel::resetLibraryState();
    for (auto& d : devices_)
        sim::unplug(d);
    plugPci(c);
    ASSERT_EQ(ZelInitFifo(4, 3, 50, 50, 0), 0);
    EXPECT_EQ(ZelStartTransmit(0), -3);
    EXPECT_FALSE(zel::slot(0).transmitting);
}

}  // namespace
}  // namespace orv::test
