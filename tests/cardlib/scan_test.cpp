// The QAM scan of the interface settings through the exports: 98 initialisations on the virtual
// clock find the simulated channel and nothing else.
#include <gtest/gtest.h>

#include <vector>

#include "tests/cardlib/card_fixture.h"

namespace orv::test {
namespace {

std::vector<unsigned long> scanFrequencies() {
    std::vector<unsigned long> table{52000, 60000, 68000, 80000, 88000};
    for (unsigned long f = 115000; f <= 459000; f += 8000)
        table.push_back(f);
    for (unsigned long f = 474000; f <= 858000; f += 8000)
        table.push_back(f);
    return table;
}

std::vector<unsigned long> scan(unsigned qamIndex) {
    std::vector<unsigned long> found;
    for (unsigned long f : scanFrequencies()) {
        if (ZelInitCard(1, 0, 0, 0, 6000000, f, 6875, qamIndex, 0) == 0) found.push_back(f);
    }
    return found;
}

TEST_F(CardTest, ScanOfThePciCardFindsTheChannel) {
    ASSERT_EQ(scanFrequencies().size(), 98u);
    plugPci(simConfig(sim::SimKind::Pci));
    EXPECT_EQ(scan(2), std::vector<unsigned long>{474000});
    EXPECT_TRUE(messages_.empty());
}

TEST_F(CardTest, ScanOfTheUsbBoxFindsTheChannel) {
    auto c = simConfig(sim::SimKind::Usb);
    c.frequencyKHz = 858000;
    c.qamIndex = 4;
    plugUsb(c);
    EXPECT_EQ(scan(4), std::vector<unsigned long>{858000});
    EXPECT_TRUE(scan(2).empty());
}

}  // namespace
}  // namespace orv::test
