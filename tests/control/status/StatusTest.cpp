#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QMXControl.h"

namespace {

struct KnownStatus {
    VX_STATUS code;
    const char* text;
};

TEST(StatusText, KnownCodesGiveTheirTextAndZero) {
    const KnownStatus cases[] = {
        {0, "no error"},          {1, "initialization error"},   {5, "invalid system index"},
        {12, "internal error"},   {17, "id list too small"},      {23, "query-buffer size"},
        {25, "compatibility error"}, {128, "no such slave error"}, {144, "could not find reference mark"},
        {155, "invalid sub component"}, {157, "permission denied"}, {160, "calibration failed"},
        {240, "unknown command"}, {255, "other error"},
    };
    for (const auto& c : cases) {
        const char* text = nullptr;
        EXPECT_EQ(VX_GetStatusInfo(c.code, &text), 0u) << c.code;
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.text) << c.code;
        EXPECT_STREQ(VX_GetStatusText(c.code), c.text) << c.code;
    }
}

TEST(StatusText, CodesWithoutARowGiveTheUnknownTextAnd255) {
    for (VX_STATUS code : {11u, 16u, 26u, 127u, 134u, 138u, 139u, 158u, 159u, 161u, 239u, 254u, 256u, 1000u,
                           0xFFFFFFFFu}) {
        const char* text = nullptr;
        EXPECT_EQ(VX_GetStatusInfo(code, &text), 255u) << code;
        EXPECT_STREQ(text, "<unknown status code>") << code;
        EXPECT_STREQ(VX_GetStatusText(code), "<unknown status code>") << code;
    }
}

TEST(StatusText, TheTableHasExactly54Rows) {
    int known = 0;
    for (VX_STATUS code = 0; code < 4096; ++code) {
        const char* text = nullptr;
        if (VX_GetStatusInfo(code, &text) == 0) ++known;
    }
    EXPECT_EQ(known, 54);
}

TEST(StatusText, TextsAreStaticAndStable) {
    const char* first = VX_GetStatusText(143);
    const char* viaInfo = nullptr;
    VX_GetStatusInfo(143, &viaInfo);
    EXPECT_EQ(first, VX_GetStatusText(143));
    EXPECT_EQ(first, viaInfo);
    EXPECT_EQ(VX_GetStatusText(11), VX_GetStatusText(12345));
}

TEST(KeyPacking, PropertyKeysPackComponentSubComponentAndProperty) {
    EXPECT_EQ(VX_EPK(0x02, 0x0F, 0x005E), 0x020F005Eu);
    EXPECT_EQ(VX_EPK(0x03, 0x0A, 0x003C), 0x030A003Cu);
    EXPECT_EQ(VX_EPK(0xFF, 0xFF, 0xFFFF), 0xFFFFFFFFu);
    EXPECT_EQ(VX_EPK(0, 0, 0), 0u);
}

TEST(KeyPacking, SelectorValuesPackAndUnpack) {
    EXPECT_EQ(VX_ESV(0x12, 0x34), 0x1234u);
    unsigned int high = 0xDEAD, low = 0xBEEF;
    VX_DSV(0x12345678, &high, &low);
    EXPECT_EQ(high, 0x56u);
    EXPECT_EQ(low, 0x78u);
    for (unsigned int h : {0u, 1u, 0x80u, 0xFFu}) {
        for (unsigned int l : {0u, 0x7Fu, 0xFFu}) {
            VX_DSV(VX_ESV(static_cast<unsigned char>(h), static_cast<unsigned char>(l)), &high, &low);
            EXPECT_EQ(high, h);
            EXPECT_EQ(low, l);
        }
    }
}

TEST(LibraryVersion, FullTextNamesMajorMinorUpdateAndBuild) {
    EXPECT_STREQ(VX_GetFullDLLVersionString(), "3.0.23.63405");
    EXPECT_EQ(VX_GetFullDLLVersionString(), VX_GetFullDLLVersionString());
}

}  // namespace
