// Reading device list texts back into records, and undoing their escapes.

#include <gtest/gtest.h>

#include "search/DeviceListReader.h"

namespace {

using vxctl::DeviceRecord;

struct Decoded {
    const char* written;
    const char* meant;
};

class DecodeValue : public ::testing::TestWithParam<Decoded> {};

TEST_P(DecodeValue, UndoesEachEscapeOnce) { EXPECT_EQ(vxctl::decodeValue(GetParam().written), GetParam().meant); }

INSTANTIATE_TEST_SUITE_P(DeviceList, DecodeValue,
                         ::testing::Values(Decoded{"100%25", "100%"}, Decoded{"%0a", "%0a"}, Decoded{"a%0Ab", "a\nb"},
                                           Decoded{"%7C%3D%7C", "|=|"}, Decoded{"%257C", "%7C"},
                                           Decoded{"%25%25", "%%"}, Decoded{"%2", "%2"}, Decoded{"%%3D", "%="},
                                           Decoded{"", ""}, Decoded{"plain", "plain"}));

struct ReadList {
    const char* name;
    const char* text;
    std::vector<DeviceRecord> records;
};

const ReadList kLists[] = {
    {"TwoRecordsAndAnEmptyLine",
     "locator=usb:sn:A%7CB|available=1\n\nlocator=network:10.0.0.2",
     {{{"locator", "usb:sn:A|B"}, {"available", "1"}}, {{"locator", "network:10.0.0.2"}}}},
    {"PiecesNotOfTwoPartsAreSkipped", "key=|=value|a=b=c|flag|good=1||", {{{"good", "1"}}}},
    {"TheFirstValueOfAKeyCounts", "device-sn=first|device-sn=second", {{{"device-sn", "first"}}}},
    {"ALineWithNothingUsableIsAnEmptyRecord", "nothing\ndevice-sn=X%3D1", {{}, {{"device-sn", "X=1"}}}},
    {"NoLines", "\n\n", {}},
};

class ReadDeviceList : public ::testing::TestWithParam<ReadList> {};

TEST_P(ReadDeviceList, GivesOneRecordPerLine) { EXPECT_EQ(vxctl::readDeviceList(GetParam().text), GetParam().records); }

INSTANTIATE_TEST_SUITE_P(DeviceList, ReadDeviceList, ::testing::ValuesIn(kLists),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
