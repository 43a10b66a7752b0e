#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/Gen2Layout.h"
#include "sim/Gen2Model.h"

namespace {

using vxsim::PropertyValue;
namespace key = vxsim::gen2key;

TEST(Gen2Model, ASelectedPropertyFollowsItsSelectorAndCannotBeWritten) {
    vxsim::Gen2Model model;
    model.define({0, 0x100}, int32_t{0});
    model.defineSelected({0, 0x200}, {0, 0x100}, {{0, PropertyValue{int32_t{10}}}, {1, PropertyValue{std::string("one")}}});
    EXPECT_EQ(model.read({0, 0x200}).second, PropertyValue{int32_t{10}});
    ASSERT_EQ(model.write({0, 0x100}, int32_t{1}), vxsim::gen2result::kOk);
    EXPECT_EQ(model.read({0, 0x200}).second, PropertyValue{std::string("one")});
    ASSERT_EQ(model.write({0, 0x100}, int32_t{2}), vxsim::gen2result::kOk);
    EXPECT_EQ(model.read({0, 0x200}).first, vxsim::gen2result::kInvalidKey);
    EXPECT_EQ(model.write({0, 0x200}, int32_t{3}), vxsim::gen2result::kPermissionDenied);
    // Defined again as a plain property, it is one.
    model.define({0, 0x200}, int32_t{4});
    EXPECT_EQ(model.read({0, 0x200}).second, PropertyValue{int32_t{4}});
}

TEST(Gen2Model, AnsweredWritesGiveTheirResultAndChangeNothing) {
    vxsim::Gen2Model model;
    model.define({3, 0x300}, int32_t{5});
    model.answerWrites({3, 0x300}, 0x19);
    EXPECT_EQ(model.write({3, 0x300}, int32_t{6}), 0x19);
    EXPECT_EQ(model.read({3, 0x300}).second, PropertyValue{int32_t{5}});
    EXPECT_EQ(model.write({2, 0x300}, int32_t{6}), vxsim::gen2result::kInvalidKey);
}

TEST(Gen2Layout, CountsVersionsSettingsAndCatalogueAreWhereAHostReadsThem) {
    vxsim::Gen2Layout layout;
    layout.interfaceVersion = {1, {0, 2, 3, 4}};
    layout.handControlModule = vxsim::Gen2Version{5, {0, 6, 7, 0}};
    vxsim::Gen2Module module;
    module.channels = {{1, 2, 3, 2}, {4, 5, 6, 3}};
    module.version1 = {8, {0, 9, 10, 11}};
    module.version2 = {12, {0, 13, 14, 15}};
    module.catalogue = {{300, "first", 2, 1}, {301, "second", 3, 0}};
    layout.modules = {module, module};
    vxsim::Gen2Model model;
    vxsim::defineLayout(model, layout);

    EXPECT_EQ(model.read({0, key::kNumberOfChannels}).second, PropertyValue{int32_t{4}});
    EXPECT_EQ(model.read({0, key::kNumberOfModules}).second, PropertyValue{int32_t{2}});
    EXPECT_EQ(model.read({0, key::kDeviceFlags}).second, PropertyValue{vxsim::kGen2HandControlModuleFlag});
    EXPECT_EQ(model.read({0, key::kModuleVersionA}).second, PropertyValue{int32_t{1}});
    ASSERT_EQ(model.write({0, key::kModuleVersionSelect}, int32_t{1}), vxsim::gen2result::kOk);
    EXPECT_EQ(model.read({0, key::kModuleVersionB}).second, (PropertyValue{std::vector<int32_t>{0, 6, 7, 0}}));

    EXPECT_EQ(model.read({1, key::kModuleChannelCount}).second, PropertyValue{int32_t{2}});
    EXPECT_EQ(model.read({1, key::kChannelVersionA}).second, (PropertyValue{std::vector<int32_t>{8, 12}}));
    EXPECT_EQ(model.read({1, key::kChannelVersionB}).second,
              (PropertyValue{std::vector<int32_t>{0, 9, 10, 11, 0, 13, 14, 15}}));
    // Channels are numbered module after module.
    EXPECT_EQ(model.read({3, key::kMoveMode}).second, PropertyValue{int32_t{4}});
    EXPECT_EQ(model.read({3, key::kMovementType}).second, PropertyValue{int32_t{3}});
    EXPECT_EQ(model.read({4, key::kMoveMode}).first, vxsim::gen2result::kInvalidKey);

    EXPECT_EQ(model.read({2, key::kPositionerTypeCount}).second, PropertyValue{int32_t{2}});
    ASSERT_EQ(model.write({2, key::kPositionerTypeIndex}, int32_t{1}), vxsim::gen2result::kOk);
    EXPECT_EQ(model.read({2, key::kPositionerTypeName}).second, PropertyValue{std::string("second")});
    EXPECT_EQ(model.read({2, key::kPositionerTypeCode}).second, PropertyValue{int32_t{301}});
    // Another channel's index is its own.
    EXPECT_EQ(model.read({0, key::kPositionerTypeCode}).second, PropertyValue{int32_t{300}});
}

}  // namespace
