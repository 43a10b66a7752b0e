#include <numeric>

#include "Gen1Fixture.h"

namespace gen1test {

// Speed level table, configuration slots and EEPROM type of the hand control
// module, and the interface module's index map.
class HandControl : public Gen1Test {
protected:
    void SetUp() override {
        simulateTcp(SystemSetup::standard(2, true));
        ASSERT_EQ(openTcp(), 0u);
        endpoint().clearRequests();
    }
    std::vector<Bytes> requests() { return endpoint().requests(); }
};

TEST_F(HandControl, SpeedLevelTableIsReadWrittenAndStored) {
    ASSERT_EQ(system->writeSpeedLevelTableSize(32), 0u);
    EXPECT_EQ(model().speedLevelTableSize(), 32);
    uint32_t size = 0;
    ASSERT_EQ(system->readSpeedLevelTableSize(&size), 0u);
    EXPECT_EQ(size, 32u);
    ASSERT_EQ(system->writeSpeedLevelTableEntry(31, 0x10001, 0xFFFF, 7), 0u);
    EXPECT_EQ(model().speedLevel(31), (std::array<uint16_t, 3>{1, 0xFFFF, 7}));
    uint32_t v1 = 0, v2 = 0, v3 = 0;
    ASSERT_EQ(system->readSpeedLevelTableEntry(31, &v1, &v2, &v3), 0u);
    EXPECT_EQ(v1, 1u);
    EXPECT_EQ(v2, 0xFFFFFFFFu) << "entries are sign-extended";
    EXPECT_EQ(v3, 7u);
    ASSERT_EQ(system->writeSpeedLevelTableToEEPROM(), 0u);
    EXPECT_EQ(model().storedSpeedLevelTables(), 1u);

    const std::vector<Bytes> expected{
        gen1Packet(0x0002, 0x17, {0x40, 32, 0, 0, 0, 0, 0}),
        gen1Packet(0x0002, 0x17, {0x20, 0, 0, 0, 0, 0, 0}),
        gen1Packet(0x0002, 0x17, {0x9F, 0x01, 0x00, 0xFF, 0xFF, 0x07, 0x00}),
        gen1Packet(0x0002, 0x17, {0x7F, 0, 0, 0, 0, 0, 0}),
        gen1Packet(0x0002, 0x17, {0xA0, 0, 0, 0, 0, 0, 0})};
    EXPECT_EQ(requests(), expected);
}

TEST_F(HandControl, SpeedLevelTableRefusesIndicesAndSizesOutOfRange) {
    uint32_t value;
    EXPECT_EQ(system->readSpeedLevelTableEntry(-1, &value, &value, &value), 9u);
    EXPECT_EQ(system->readSpeedLevelTableEntry(32, &value, &value, &value), 9u);
    EXPECT_EQ(system->writeSpeedLevelTableEntry(32, 0, 0, 0), 9u);
    EXPECT_EQ(system->writeSpeedLevelTableSize(0), 9u);
    EXPECT_EQ(system->writeSpeedLevelTableSize(33), 9u);
    EXPECT_EQ(system->writeSpeedLevelTableSize(-1), 9u);
    EXPECT_EQ(endpoint().requestCount(), 0u);
}

TEST_F(HandControl, ConfigurationSlotRoundTrip) {
    std::vector<uint8_t> data(100);
    std::iota(data.begin(), data.end(), uint8_t(1));
    uint32_t size = static_cast<uint32_t>(data.size());
    ASSERT_EQ(system->writeHCMConfigSlot(3, data.data(), &size), 0u);
    std::vector<uint8_t> stored = model().slot(3);
    ASSERT_EQ(stored.size(), 256u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), stored.begin()));
    EXPECT_TRUE(std::all_of(stored.begin() + 100, stored.end(), [](uint8_t b) { return b == 0; }))
        << "what lies beyond the caller's bytes is written as zero";

    auto sent = requests();
    ASSERT_EQ(sent.size(), 1u + 32);
    EXPECT_EQ(sent[0], gen1Packet(0x0002, 0x1C, Bytes(12, 0)));
    EXPECT_EQ(sent[13], gen1Packet(0x0002, 0x1C, {0x01, 3, 96, 0, 97, 98, 99, 100, 0, 0, 0, 0}));

    std::vector<uint8_t> back(300, 0xEE);
    size = static_cast<uint32_t>(back.size());
    ASSERT_EQ(system->readHCMConfigSlot(3, back.data(), &size), 0u);
    ASSERT_EQ(size, 256u);
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), back.begin()));
    EXPECT_EQ(back[256], 0xEE) << "nothing written past the slot";
    EXPECT_EQ(requests().back(), gen1Packet(0x0002, 0x1C, {0x02, 3, 248, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(HandControl, SlotBuffersMustFitTheSlot) {
    std::vector<uint8_t> data(257);
    uint32_t size = 255;
    EXPECT_EQ(system->readHCMConfigSlot(0, data.data(), &size), 17u);
    EXPECT_EQ(size, 0u);
    size = 257;
    EXPECT_EQ(system->writeHCMConfigSlot(0, data.data(), &size), 17u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(requests().size(), 2u) << "only the slot size was asked for";
    size = 256;
    EXPECT_EQ(system->readHCMConfigSlot(256, data.data(), &size), 9u);
}

TEST_F(HandControl, SlotAnswersAreChecked) {
    std::vector<uint8_t> data(256);
    uint32_t size = 256;
    endpoint().addFault(Fault::error({0x0002, 0x1C, 0x02}, 150, 1));
    EXPECT_EQ(system->readHCMConfigSlot(0, data.data(), &size), 150u);
    EXPECT_EQ(size, 256u) << "untouched on failure";

    endpoint().addFault(Fault::replace({0x0002, 0x1C, 0x00}, gen1Packet(0x0008, 0x1C, Bytes(12, 0)), 1));
    EXPECT_EQ(system->readHCMConfigSlot(0, data.data(), &size), 14u);

    endpoint().addFault(Fault::replace({0x0002, 0x1C, 0x00}, gen1Packet(0x0002, 0x81, {0}), 1));
    EXPECT_EQ(system->writeHCMConfigSlot(0, data.data(), &size), 14u);

    endpoint().addFault(Fault::error({0x0002, 0x1C, 0x01}, 151, 1));
    EXPECT_EQ(system->writeHCMConfigSlot(0, data.data(), &size), 151u);

    endpoint().addFault(Fault::replace({0x0002, 0x1C, 0x01}, gen1Packet(0x0002, 0x81, {0}), 1));
    EXPECT_EQ(system->writeHCMConfigSlot(0, data.data(), &size), 14u);

    ASSERT_EQ(system->readHCMConfigSlot(0, data.data(), &size), 0u) << "all faults used up";
}

TEST_F(HandControl, EepromTypeIsReadInEitherMode) {
    uint32_t type = 0;
    ASSERT_EQ(system->readHCMEepromType(&type), 0u);
    EXPECT_EQ(type, 0x0100u);
    EXPECT_EQ(requests().front(), gen1Packet(0x0002, 0x2B, {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    system.reset();
    ASSERT_EQ(openTcp("async"), 0u);
    type = 0;
    ASSERT_EQ(system->readHCMEepromType(&type), 0u);
    EXPECT_EQ(type, 0x0100u);
}

TEST_F(HandControl, IndexMapIsReadWrittenAndFinalized) {
    uint8_t value = 0;
    ASSERT_EQ(system->readIndexFromIndexMap(7, &value), 0u);
    EXPECT_EQ(value, 7);
    ASSERT_EQ(system->writeIndexToIndexMap(7, 2), 0u);
    ASSERT_EQ(system->readIndexFromIndexMap(7, &value), 0u);
    EXPECT_EQ(value, 2);
    ASSERT_EQ(system->finalizeIndexMap(), 0u);
    EXPECT_EQ(model().indexMapFinalizations(), 1u);
    const std::vector<Bytes> expected{
        gen1Packet(0x0008, 0x13, {0x00, 7, 0}), gen1Packet(0x0008, 0x13, {0x10, 7, 2}),
        gen1Packet(0x0008, 0x13, {0x00, 7, 0}), gen1Packet(0x0008, 0x13, {0x11, 0, 0})};
    EXPECT_EQ(requests(), expected);
}

TEST_F(HandControl, IndexMapAnswersAreChecked) {
    uint8_t value = 0;
    endpoint().addFault(Fault::replace({0x0008, 0x13, 0x00}, gen1Packet(0x0008, 0x13, {0x01, 8, 1}), 1));
    EXPECT_EQ(system->readIndexFromIndexMap(7, &value), 1u) << "answer for another index";
    endpoint().addFault(Fault::error({0x0008, 0x13, 0x10}, 150, 1));
    EXPECT_EQ(system->writeIndexToIndexMap(7, 2), 150u);
    endpoint().addFault(Fault::error({0x0008, 0x13, 0x11}, 151, 1));
    EXPECT_EQ(system->finalizeIndexMap(), 151u);
    EXPECT_EQ(model().indexMapFinalizations(), 0u);
}

}  // namespace gen1test
