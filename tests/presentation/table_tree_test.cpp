// The PSI/SI table tree: node labels built from stored sections, and the sections taken from
// the analysis' SI store.
#include <gtest/gtest.h>

#include <algorithm>

#include "presentation/table_tree.h"
#include "tests/presentation/texts_test_support.h"
#include "tools/tsgen/dvb_time.h"
#include "tools/tsgen/sections.h"

namespace {

using orv::TreeNode;
using texts_test::Bytes;

std::vector<std::string> labels(const TreeNode& n) {
    std::vector<std::string> out;
    for (const TreeNode& c : n.children)
        out.push_back(c.label);
    return out;
}

const TreeNode* child(const TreeNode& n, const std::string& label) {
    const auto it = std::find_if(n.children.begin(), n.children.end(),
                                 [&](const TreeNode& c) { return c.label == label; });
    return it == n.children.end() ? nullptr : &*it;
}

TEST(TableTree, NitHeaderDescriptorsAndTransportStreams) {
    tsgen::NitParams p;
    p.networkId = 0x0001;
    p.numbering.version = 3;
    p.numbering.sectionNumber = 1;
    p.numbering.lastSectionNumber = 2;
    p.networkDescriptors = {tsgen::networkNameDescriptor("Net")};
    p.transportStreams = {
        {0x0002, 0x0003, {{0x44, {0x03, 0x46, 0, 0, 0xFF, 0xF2, 3, 0x00, 0x68, 0x75, 0x0F}}}}};
    const Bytes nit = tsgen::buildNit(p);
    orv::TableSections sections;
    sections.nit.emplace_back(nit);
    const std::vector<TreeNode> tree = orv::buildTableTree(sections);
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree[0].label, "NIT");
    ASSERT_EQ(tree[0].children.size(), 1u);
    const TreeNode& section = tree[0].children[0];
    EXPECT_EQ(section.label, "table_id = 0x40, 0x0001, 段1");
    EXPECT_EQ(labels(section),
              (std::vector<std::string>{"NIT表头信息", "NIT描述信息", "传送流描述2"}));
    EXPECT_EQ(
        labels(section.children[0]),
        (std::vector<std::string>{"Table_id = 0x40 (表标识符)", "Section_length = 37 字节 (段长度)",
                                  "Version_number = 0x03 (版本号)", "Section_number = 0x01 (段号)",
                                  "Last_section_number = 0x02 (最后段号)",
                                  "Current_next_indicator = 1 (表示当前子表正被使用)"}));
    const TreeNode& cable = section.children[2].children.at(0);
    EXPECT_EQ(cable.label, "Cable Delivery System Descriptor(有线传送系统描述符)");
    EXPECT_EQ(labels(cable).at(0), "Descriptor_tag = 0x44");
    EXPECT_EQ(labels(cable).at(1), "Descriptor_length = 11 (字节)");
    EXPECT_EQ(labels(cable).at(6), "Symbol_rate = 006.8750 Msymbol/s");
    EXPECT_EQ(labels(section.children[1].children.at(0)).at(2), "Network_info = Net");
}

TEST(TableTree, SdtServicesEitEventsAndTimes) {
    tsgen::SdtParams sdtParams;
    sdtParams.services = {{0x0065, true, true, 4, false, {tsgen::serviceDescriptor(1, "P", "TV")}}};
    const Bytes sdt = tsgen::buildSdt(sdtParams);

    tsgen::EitParams eitParams;
    tsgen::EitEvent e;
    e.eventId = 0x0102;
    e.start = tsgen::unixTime(2009, 1, 2, 3, 4, 5);
    e.durationSeconds = 3600 + 120 + 3;
    e.descriptors = {{0x02, {0x10}}};  // video stream, 24 frames/s
    eitParams.events = {e};
    const Bytes eit = tsgen::buildEit(eitParams);
    const Bytes tdt = tsgen::buildTdt(tsgen::unixTime(2010, 2, 3, 4, 5, 6));
    tsgen::TotParams totParams;
    totParams.utc = tsgen::unixTime(2010, 2, 3, 4, 5, 7);
    totParams.descriptors = {tsgen::localTimeOffsetDescriptor({tsgen::LocalTimeOffset{}})};
    const Bytes tot = tsgen::buildTot(totParams);

    orv::TableSections sections;
    sections.sdt.emplace_back(sdt);
    sections.eit.emplace_back(eit);
    sections.tdt = tdt;
    sections.tot = tot;
    const std::vector<TreeNode> tree = orv::buildTableTree(sections);
    ASSERT_EQ(tree.size(), 4u);
    EXPECT_EQ(tree[0].label, "SDT");
    const TreeNode& services = *child(tree[0].children[0], "传送流业务内容描述");
    ASSERT_EQ(labels(services), std::vector<std::string>{"节目0x0065描述"});
    EXPECT_EQ(labels(services.children[0].children[0]).at(2), "Service_type = 0x01   数字电视业务");

    const TreeNode* events = child(tree[1].children[0], "事件信息描述");
    ASSERT_NE(events, nullptr);
    const TreeNode& event = events->children.at(0);
    EXPECT_EQ(event.label, "事件0x0102描述");
    EXPECT_EQ(labels(event).at(0), "事件起始时间及日期 = 2009/01/02 03:04:05");
    EXPECT_EQ(labels(event).at(1), "事件持续时间 = 01:02:03");
    EXPECT_EQ(event.children.at(2).label, "Video Stream Descriptor(视频流描述符)");
    EXPECT_EQ(labels(event.children.at(2)).at(3), "Frame_rate_code = 2   (24 帧/秒)");

    EXPECT_EQ(tree[2].label, "TDT");
    EXPECT_EQ(labels(tree[2]), std::vector<std::string>{"UTC_time = 2010/02/03 04:05:06"});
    EXPECT_EQ(tree[3].label, "TOT");
    EXPECT_EQ(labels(tree[3]),
              (std::vector<std::string>{"UTC_time = 2010/02/03 04:05:07", "内容描述"}));
}

TEST(TableTree, CatDescriptorsAndCurrentNextZero) {
    tsgen::CatParams p;
    p.numbering.currentNext = false;
    p.descriptors = {tsgen::caDescriptor(0x0B00, 0x0100)};
    const Bytes cat = tsgen::buildCat(p);
    orv::TableSections sections;
    sections.cat.emplace_back(cat);
    const std::vector<TreeNode> tree = orv::buildTableTree(sections);
    ASSERT_EQ(tree.size(), 1u);
    const TreeNode& s = tree[0].children.at(0);
    EXPECT_EQ(labels(s), (std::vector<std::string>{"CAT表头信息", "CA描述"}));
    EXPECT_EQ(labels(s.children[0]).back(), "Current_next_indicator = 0 (表示所传子表尚未被使用)");
    EXPECT_EQ(
        labels(s.children[1].children.at(0)),
        (std::vector<std::string>{"Descriptor_tag = 0x09", "Descriptor_length = 4 (字节)",
                                  "CA_System_ID = 0x0b00", "reserved = 7", "CA_PID = 0x0100"}));
}

TEST(TableTree, TakesTheSectionsOfTheSiStore) {
    orv::SiSectionStore store;
    tsgen::BatParams bat;
    bat.bouquetId = 0x0009;
    bat.bouquetDescriptors = {{0x47, {'B', 'q'}}};
    orv::StoredSiSection batEntry;
    batEntry.bytes = tsgen::buildBat(bat);
    store.list(orv::SiKind::Bat).entries.push_back(batEntry);
    orv::StoredEitSection eitEntry;
    eitEntry.bytes = tsgen::buildEit({});
    store.eitList(0x4E)->entries.push_back(eitEntry);
    const Bytes tdt = tsgen::buildTdt(tsgen::unixTime(2011, 5, 6, 7, 8, 9));
    store.tdt.present = true;
    std::copy(tdt.begin(), tdt.end(), store.tdt.bytes.begin());

    const std::vector<TreeNode> tree = orv::buildTableTree(orv::storedSections(store));
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[0].label, "BAT");
    EXPECT_EQ(labels(tree[0].children.at(0)),
              (std::vector<std::string>{"BAT表头信息", "业务群描述"}));
    EXPECT_EQ(labels(tree[0].children[0].children[1].children.at(0)).at(2), "BAT_info = Bq");
    EXPECT_EQ(tree[1].label, "EIT");
    EXPECT_EQ(tree[2].label, "TDT");
    EXPECT_EQ(labels(tree[2]), std::vector<std::string>{"UTC_time = 2011/05/06 07:08:09"});
}

// A TOT that ends after its time has no descriptor loop: its CRC_32 is no loop length.
TEST(TableTree, TotWithoutDescriptorLoop) {
    const Bytes tot = {0x73, 0x70, 9, 0xC0, 0x79, 0x12, 0x45, 0x00, 0x12, 0x34, 0x56, 0x78};
    const std::vector<TreeNode> nodes = orv::sectionNodes(tot);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].label, "UTC_time = 1993/10/13 12:45:00");
}

}  // namespace
