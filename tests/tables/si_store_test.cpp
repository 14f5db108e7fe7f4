// The SI section store through the handlers' entry points: distinct sections by CRC_32, the list
// capacities, the EIT classification and the restart of an EIT list.
#include <gtest/gtest.h>

#include <memory>

#include "engine/repetition_check.h"
#include "engine/si_handlers.h"
#include "engine/si_section_store.h"
#include "tools/tsgen/sections.h"

namespace orv {
namespace {

std::unique_ptr<AnalysisContext> freshContext() {
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->initDone = true;
    ctx->streamBitrate.current = 1.504;
    beginRun(*ctx, kEventOfflineStart);
    return ctx;
}

tsgen::Section nit(uint16_t networkId) {
    tsgen::NitParams p;
    p.networkId = networkId;
    p.networkDescriptors = {tsgen::networkNameDescriptor("One"),
                            tsgen::networkNameDescriptor("Two")};
    p.transportStreams = {{0x21, 0x22, {}}, {0x31, 0x32, {}}};
    return tsgen::buildNit(p);
}

tsgen::Section eit(uint8_t tableId, uint16_t serviceId, uint8_t sectionNumber,
                   uint8_t version = 0) {
    tsgen::EitParams p;
    p.tableId = tableId;
    p.serviceId = serviceId;
    p.numbering.sectionNumber = sectionNumber;
    p.numbering.lastSectionNumber = 3;
    p.numbering.version = version;
    p.lastTableId = tableId;
    return tsgen::buildEit(p);
}

TEST(SiStore, NitSectionsAreKeptOnceEachUpToTheCapacity) {
    auto ctx = freshContext();
    const tsgen::Section one = nit(1);
    for (int i = 0; i < 1000; ++i) {
        ++ctx->packetCounter;
        OnNitSection(*ctx, one);
    }
    const SiSectionList& list = ctx->siStore.list(SiKind::NitActual);
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.entries[0].bytes, one);
    const SiHeaderRecord& h = list.entries[0].header;
    EXPECT_EQ(h.networkId, 1);
    EXPECT_EQ(h.networkName, std::string("One\0Two\0", 8));
    EXPECT_EQ(h.firstTransportStreamId, 0x21);
    EXPECT_EQ(h.firstOriginalNetworkId, 0x22);
    EXPECT_TRUE(ctx->siStore.newTable);
    EXPECT_TRUE(ctx->si[0].firstTableAccepted);

    auto ctx2 = freshContext();
    for (uint16_t id = 1; id <= 65; ++id)
        OnNitSection(*ctx2, nit(id));
    EXPECT_EQ(ctx2->siStore.list(SiKind::NitActual).count(), 64);
    EXPECT_EQ(ctx2->siStore.list(SiKind::NitActual).crcs.size(), 64u);
    EXPECT_EQ(ctx2->siStore.list(SiKind::NitOther).count(), 0);
}

TEST(SiStore, IsKnownCrc) {
    const uint32_t list[] = {5, 7, 9};
    EXPECT_TRUE(IsKnownCrc(9, list, 3));
    EXPECT_FALSE(IsKnownCrc(9, list, 2));
    EXPECT_FALSE(IsKnownCrc(5, list, 0));
    EXPECT_FALSE(IsKnownCrc(5, list, -1));
}

TEST(SiStore, ClassifyEitSection) {
    SiSectionStore store;
    auto held = [&](uint16_t service, uint8_t number, uint32_t crc) {
        StoredEitSection e;
        e.header.serviceId = service;
        e.header.transportStreamId = 1;
        e.header.originalNetworkId = 2;
        e.header.sectionNumber = number;
        e.header.crc32 = crc;
        store.eitList(0x4E)->entries.push_back(e);
    };
    held(10, 0, 0xAAAA);
    held(10, 1, 0xBBBB);
    struct Case {
        unsigned tableId, service, number, ts;
        uint32_t crc;
        EitClass expected;
    } cases[] = {
        {0x4E, 11, 0, 1, 0x1, EitClass::New},            // unknown service, section 0
        {0x4E, 11, 1, 1, 0x1, EitClass::Held},           // unknown service, not section 0
        {0x4E, 10, 0, 9, 0x1, EitClass::New},            // another transport stream
        {0x4E, 10, 2, 1, 0xCCCC, EitClass::New},         // a new section number
        {0x4E, 10, 1, 1, 0xCCCC, EitClass::Held},        // section 1 changed: not taken
        {0x4E, 10, 2, 1, 0xAAAA, EitClass::Held},        // the CRC is held already
        {0x4E, 10, 0, 1, 0xAAAA, EitClass::Held},        // section 0 as held
        {0x4E, 10, 0, 1, 0xDDDD, EitClass::NewVersion},  // section 0 changed
        {0x4F, 10, 0, 1, 0xDDDD, EitClass::New},         // another list
        {0x40, 10, 0, 1, 0xDDDD, EitClass::New},         // no list: as empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.service * 100 + c.number);
        EXPECT_EQ(ClassifyEitSection(store, c.tableId, c.service, c.number, c.ts, 2, c.crc),
                  c.expected);
    }
}

TEST(SiStore, EitListStartsAtSectionZeroAndRestartsOnANewVersion) {
    auto ctx = freshContext();
    const EitSectionList& list = *ctx->siStore.eitList(0x4E);
    OnEitSection(*ctx, eit(0x4E, 5, 1));
    EXPECT_EQ(list.count(), 0);  // only a section 0 creates the list
    ctx->packetCounter = 100;
    measureSectionStart(*ctx, 0x4E, 0);  // where the section 0 below starts
    OnEitSection(*ctx, eit(0x4E, 5, 0));
    OnEitSection(*ctx, eit(0x4E, 5, 1));
    OnEitSection(*ctx, eit(0x4E, 6, 0));
    OnEitSection(*ctx, eit(0x4E, 5, 1));
    ASSERT_EQ(list.count(), 3);
    ctx->packetCounter = 1100;  // the next start, 1 s after the list began
    measureSectionStart(*ctx, 0x4E, 1);
    OnEitSection(*ctx, eit(0x4E, 5, 0, 1));
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.entries[0].header.versionNumber, 1);
    EXPECT_EQ(list.entries[0].header.serviceId, 5);
    EXPECT_FALSE(ctx->siStore.eitRebuilding);
    // The statistics of the list carry over the restart: 1000 packets of 188 bytes at 1.504
    // Mbit/s are 1 s.
    EXPECT_DOUBLE_EQ(list.repetition.longest, 1.0);
    EXPECT_EQ(list.repetition.lastSeen, 1100u);
}

TEST(SiStore, TimeTablesKeepOneRecord) {
    auto ctx = freshContext();
    const tsgen::Section tdt = tsgen::buildTdt(1700000000);
    std::vector<uint8_t> assembled = tdt;
    assembled.push_back(0xAB);  // the byte after the section is kept with it
    assembled.push_back(0xCD);
    OnTdtTotSection(*ctx, assembled);
    ASSERT_TRUE(ctx->siStore.tdt.present);
    EXPECT_EQ(ctx->siStore.tdt.bytes[8], 0xAB);
    EXPECT_EQ(ctx->siStore.tdt.bytes[9], 0xCD);
    EXPECT_TRUE(ctx->siStore.newSection);
    EXPECT_TRUE(ctx->si[4].firstTableAccepted);
    const tsgen::Section tot = tsgen::buildTot({1700000000, {}});
    OnTdtTotSection(*ctx, tot);
    ASSERT_TRUE(ctx->siStore.tot.present);
    EXPECT_EQ(ctx->siStore.tot.bytes, tot);
    // A TDT cut short is no TDT.
    auto ctx2 = freshContext();
    OnTdtTotSection(*ctx2, std::span(tdt).first(6));
    EXPECT_FALSE(ctx2->siStore.tdt.present);
}

TEST(SiStore, ResetsAndTeardownEmptyTheStore) {
    auto ctx = freshContext();
    OnNitSection(*ctx, nit(1));
    OnEitSection(*ctx, eit(0x50, 1, 0));
    OnRstSection(*ctx, tsgen::buildRst({{}}));
    teardownRun(*ctx);
    EXPECT_EQ(ctx->siStore.list(SiKind::NitActual).count(), 0);
    EXPECT_EQ(ctx->siStore.eitList(0x50)->count(), 0);
    OnNitSection(*ctx, nit(1));
    OnRstSection(*ctx, tsgen::buildRst({{}}));
    resetAll(*ctx);
    EXPECT_EQ(ctx->siStore.list(SiKind::NitActual).count(), 0);
    EXPECT_FALSE(ctx->siStore.rst.present);
    EXPECT_FALSE(ctx->siStore.newTable);
    EXPECT_FALSE(ctx->si[0].firstTableAccepted);
}

}  // namespace
}  // namespace orv
