#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "support/ElfExports.h"

extern "C" int vxCtlHeaderC99Probe(void);

namespace {

const std::string kLibrary = "libVeltraxCTL.so";

const std::set<std::string> kExports = {
        "VX_CTL_GetFullVersionString",
        "VX_CTL_GetResultInfo",
        "VX_CTL_GetEventInfo",
        "VX_CTL_FindDevices",
        "VX_CTL_Open",
        "VX_CTL_Close",
        "VX_CTL_Cancel",
        "VX_CTL_Calibrate",
        "VX_CTL_Reference",
        "VX_CTL_Move",
        "VX_CTL_Stop",
        "VX_CTL_OpenStream",
        "VX_CTL_StreamFrame",
        "VX_CTL_CloseStream",
        "VX_CTL_AbortStream",
        "VX_CTL_GetProperty_i32",
        "VX_CTL_GetProperty_i64",
        "VX_CTL_GetProperty_s",
        "VX_CTL_SetProperty_i32",
        "VX_CTL_SetPropertyArray_i32",
        "VX_CTL_SetProperty_i64",
        "VX_CTL_SetPropertyArray_i64",
        "VX_CTL_SetProperty_s",
        "VX_CTL_RequestReadProperty",
        "VX_CTL_ReadProperty_i32",
        "VX_CTL_ReadProperty_i64",
        "VX_CTL_ReadProperty_s",
        "VX_CTL_RequestWriteProperty_i32",
        "VX_CTL_RequestWriteProperty_i64",
        "VX_CTL_RequestWriteProperty_s",
        "VX_CTL_RequestWritePropertyArray_i32",
        "VX_CTL_RequestWritePropertyArray_i64",
        "VX_CTL_WaitForWrite",
        "VX_CTL_CancelRequest",
        "VX_CTL_WaitForEvent",
        "VX_CTL_CreateOutputBuffer",
        "VX_CTL_FlushOutputBuffer",
        "VX_CTL_CancelOutputBuffer",
        "VX_CTL_OpenCommandGroup",
        "VX_CTL_CloseCommandGroup",
        "VX_CTL_CancelCommandGroup",
};

TEST(LibraryInterface, ExportsExactlyItsVxCtlFunctions) {
    ASSERT_EQ(41u, kExports.size());
    EXPECT_EQ(vxtest::exportedSymbols(vxtest::besideTestProgram(kLibrary)), kExports);
}

TEST(LibraryInterface, LoadsByFileNameAndGivesItsVersion) {
    void* library = ::dlopen(vxtest::besideTestProgram(kLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto version = reinterpret_cast<const char* (*)()>(::dlsym(library, "VX_CTL_GetFullVersionString"));
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version(), "1.1.44.63212");
    ::dlclose(library);
}

TEST(LibraryInterface, PublicHeaderIsPlainC99) {
    EXPECT_EQ(vxCtlHeaderC99Probe(), 0x10 + 0x06 + 0x0E + 0x12);
}

}  // namespace
