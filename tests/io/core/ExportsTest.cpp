#include <gtest/gtest.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "VeltraxIO.h"
#include "core/Event.h"

namespace {

TEST(Exports, VersionIs2_0_3) {
    int major = 0, minor = 0, update = 0;
    EXPECT_EQ(VX_IO_GetVersion(&major, &minor, &update), VX_IO_OK);
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(update, 3);
}

TEST(Exports, LocatorInterfaceTypeWritesZeroOnFailure) {
    int type = 55;
    EXPECT_EQ(VX_IO_GetLocatorInterfaceType(&type, "network:10.0.0.2"), VX_IO_OK);
    EXPECT_EQ(type, VX_IO_IFACE_NETWORK);
    EXPECT_EQ(VX_IO_GetLocatorInterfaceType(&type, "Serial:COM1"), VX_IO_INVALID_LOCATOR);
    EXPECT_EQ(type, VX_IO_IFACE_UNKNOWN);
    type = 55;
    EXPECT_EQ(VX_IO_GetLocatorInterfaceType(&type, nullptr), VX_IO_INVALID_LOCATOR);
    EXPECT_EQ(type, VX_IO_IFACE_UNKNOWN);
}

TEST(Exports, OnlyTheShortListsCanBeEnumerated) {
    const std::pair<int, int> cases[] = {{1, 1}, {3, 1}, {2, 0}, {9999, 0}, {0, 0}, {-1, 0}};
    for (const auto& [type, expected] : cases) {
        int can = 42;
        EXPECT_EQ(VX_IO_CanEnumerateDevices(type, &can), VX_IO_OK);
        EXPECT_EQ(can, expected) << type;
    }
}

void ignoreBytes(void*, const void*, size_t) {}

TEST(Exports, OpenRefusesWhatNamesNoDeviceAndLeavesHandleZero) {
    const char* const locators[] = {"tcp:1.2.3.4", "COM1", "Usb:sn:1", nullptr};
    for (const char* locator : locators) {
        VX_IO_Handle handle = 17;
        EXPECT_EQ(VX_IO_Open(&handle, locator, nullptr, nullptr, ignoreBytes, nullptr),
                  VX_IO_INVALID_LOCATOR);
        EXPECT_EQ(handle, 0u);
    }
    // The locator's kind is checked before the callbacks.
    VX_IO_Handle handle = 17;
    EXPECT_EQ(VX_IO_Open(&handle, "tcp:1.2.3.4", "", nullptr, nullptr, nullptr),
              VX_IO_INVALID_LOCATOR);
    handle = 17;
    EXPECT_EQ(VX_IO_Open(&handle, "serial:COM1", "", nullptr, nullptr, nullptr),
              VX_IO_INVALID_OPTION);
    EXPECT_EQ(handle, 0u);
}

struct Enumeration {
    VX_IO_Result result;
    std::string text;
    size_t length;
};

Enumeration enumerate(int type, const char* options, size_t capacity = 256) {
    std::vector<char> buffer(capacity + 1, 'x');
    size_t length = capacity;
    const VX_IO_Result result = VX_IO_EnumerateDevices(type, options, buffer.data(), &length);
    return {result, result == VX_IO_OK ? std::string(buffer.data()) : std::string(), length};
}

TEST(Exports, EnumerationOfOtherTypesIsNotSupported) {
    for (int type : {2, 0, 4, 9998}) EXPECT_EQ(enumerate(type, "").result, VX_IO_NOT_SUPPORTED);
}

TEST(Exports, FullEnumerationNeedsOutputSelectionAndInterfaceType) {
    EXPECT_EQ(enumerate(9999, "iface-type usb").result, VX_IO_INVALID_OPTION);
    EXPECT_EQ(enumerate(9999, "iface-type usb\nfind-only-available").result, VX_IO_INVALID_OPTION);
    EXPECT_EQ(enumerate(9999, "include-locator").result, VX_IO_INVALID_OPTION);
    EXPECT_EQ(enumerate(9999, nullptr).result, VX_IO_INVALID_OPTION);

    const Enumeration nothing = enumerate(9999, "iface-type bluetooth\nonly-locator");
    EXPECT_EQ(nothing.result, VX_IO_OK);
    EXPECT_EQ(nothing.text, "");
    EXPECT_EQ(nothing.length, 0u);
    // Even the empty text needs room for its NUL; the length stays as given.
    EXPECT_EQ(enumerate(9999, "iface-type bluetooth\nonly-locator", 0).result,
              VX_IO_BUFFER_TOO_SMALL);
    EXPECT_EQ(enumerate(9999, "iface-type bluetooth\nonly-locator", 0).length, 0u);
}

Enumeration enumerateInterfaces(const char* options, size_t capacity = 256) {
    std::vector<char> buffer(capacity + 1, 'x');
    size_t length = capacity;
    const VX_IO_Result result = VX_IO_EnumerateInterfaces(options, buffer.data(), &length);
    return {result, result == VX_IO_OK ? std::string(buffer.data()) : std::string(), length};
}

TEST(Exports, InterfaceEnumerationRules) {
    EXPECT_EQ(enumerateInterfaces("include-all").result, VX_IO_INVALID_OPTION);
    EXPECT_EQ(enumerateInterfaces("iface-type usb\ninclude-all").result, VX_IO_NOT_SUPPORTED);
    const Enumeration nothing = enumerateInterfaces("iface-type none\ninclude-all");
    EXPECT_EQ(nothing.result, VX_IO_OK);
    EXPECT_EQ(nothing.text, "");
}

constexpr int kNoNamespace = -1;
constexpr int kChildFailed = -2;

// Runs `call` in a child process inside a network namespace of its own, so
// that whatever it lists of the network is the namespace's. Returns the
// child's exit code, kNoNamespace when no namespace can be made here, or
// kChildFailed when the child crashed or did not finish in time.
int inOwnNetworkNamespace(const std::function<int()>& call) {
    const pid_t child = fork();
    if (child < 0) return kNoNamespace;
    if (child == 0) {
        // A child that hangs is ended by the alarm instead of holding the test.
        alarm(20);
        if (unshare(CLONE_NEWNET) != 0) _exit(255);
        _exit(call());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return kChildFailed;
    return WEXITSTATUS(status) == 255 ? kNoNamespace : WEXITSTATUS(status);
}

TEST(Exports, AllInterfacesNeverGiveNotSupported) {
    const int result = inOwnNetworkNamespace([] {
        return enumerateInterfaces("iface-type all\niface-type usb\ninclude-name").result;
    });
    if (result == kNoNamespace) GTEST_SKIP() << "cannot create a network namespace";
    ASSERT_NE(result, kChildFailed) << "the listing crashed or hung";
    EXPECT_NE(result, VX_IO_NOT_SUPPORTED);
    EXPECT_NE(result, VX_IO_INVALID_OPTION);
}

VX_IO_Event errorEvent() {
    VX_IO_Event event;
    event.kind = VX_IO_EVENT_ERROR;
    event.code = 13;
    event.message = "link lost";
    return event;
}

VX_IO_Event discoveryEvent(int kind) {
    VX_IO_Event event;
    event.kind = kind;
    event.device = {{"device-sn", "QX-001"}, {"locator", "network:sn:QX-001"}, {"available", "1"}};
    return event;
}

TEST(Exports, EventDataNeedsTheMatchingKind) {
    const VX_IO_Event error = errorEvent();
    char buffer[64];
    size_t length = sizeof buffer;
    int code = 0;
    EXPECT_EQ(VX_IO_GetDiscoveryEventData(&error, "include-all", buffer, &length),
              VX_IO_WRONG_EVENT_KIND);
    for (int kind : {VX_IO_EVENT_DEVICE_AVAILABLE, VX_IO_EVENT_DEVICE_GONE}) {
        const VX_IO_Event discovery = discoveryEvent(kind);
        length = sizeof buffer;
        EXPECT_EQ(VX_IO_GetErrorEventData(&discovery, &code, buffer, &length),
                  VX_IO_WRONG_EVENT_KIND);
        EXPECT_EQ(VX_IO_GetDiscoveryEventData(&discovery, "include-device-sn", buffer, &length),
                  VX_IO_OK);
        EXPECT_STREQ(buffer, "device-sn=QX-001");
        EXPECT_EQ(length, 16u);
    }
    VX_IO_Event odd = discoveryEvent(3);
    EXPECT_EQ(VX_IO_GetDiscoveryEventData(&odd, "include-all", buffer, &length),
              VX_IO_WRONG_EVENT_KIND);
    EXPECT_EQ(VX_IO_GetErrorEventData(nullptr, &code, buffer, &length), VX_IO_WRONG_EVENT_KIND);
}

TEST(Exports, ErrorEventDataLeavesTheLengthWhenTooSmall) {
    const VX_IO_Event event = errorEvent();
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    int code = 0;
    size_t length = 9;
    EXPECT_EQ(VX_IO_GetErrorEventData(&event, &code, buffer, &length), VX_IO_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(buffer[0], 'x');
    length = 10;
    EXPECT_EQ(VX_IO_GetErrorEventData(&event, &code, buffer, &length), VX_IO_OK);
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(code, 13);
    EXPECT_STREQ(buffer, "link lost");
}

TEST(Exports, DiscoveryEventDataLeavesTheLengthWhenTooSmall) {
    const VX_IO_Event event = discoveryEvent(VX_IO_EVENT_DEVICE_AVAILABLE);
    char buffer[64];
    size_t length = 1;
    EXPECT_EQ(VX_IO_GetDiscoveryEventData(&event, "only-locator", buffer, &length),
              VX_IO_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 1u);
    length = 17;
    EXPECT_EQ(VX_IO_GetDiscoveryEventData(&event, "only-locator", buffer, &length), VX_IO_BUFFER_TOO_SMALL);
    length = 18;
    EXPECT_EQ(VX_IO_GetDiscoveryEventData(&event, "only-locator", buffer, &length), VX_IO_OK);
    EXPECT_STREQ(buffer, "network:sn:QX-001");
}

struct EventSeen {
    int calls = 0;
    int kind = -1;
    VX_IO_Result dataResult = -1;
    std::string text;
};

void onEvent(void* userData, int kind, const VX_IO_Event* event) {
    auto* seen = static_cast<EventSeen*>(userData);
    ++seen->calls;
    seen->kind = kind;
    char buffer[64];
    size_t length = sizeof buffer;
    seen->dataResult = VX_IO_GetDiscoveryEventData(event, "include-device-sn", buffer, &length);
    if (seen->dataResult == VX_IO_OK) seen->text = buffer;
}

TEST(Exports, TheEventCallbackReadsItsEventUnderTheApiMutex) {
    EventSeen seen;
    ASSERT_EQ(VX_IO_SetEventCallback(onEvent, &seen), VX_IO_OK);
    {
        std::lock_guard<std::mutex> lock(vxio::apiMutex());
        vxio::invokeEventCallback(discoveryEvent(VX_IO_EVENT_DEVICE_GONE));
    }
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.kind, VX_IO_EVENT_DEVICE_GONE);
    EXPECT_EQ(seen.dataResult, VX_IO_OK);
    EXPECT_EQ(seen.text, "device-sn=QX-001");

    ASSERT_EQ(VX_IO_SetEventCallback(nullptr, &seen), VX_IO_OK);
    {
        std::lock_guard<std::mutex> lock(vxio::apiMutex());
        vxio::invokeEventCallback(discoveryEvent(VX_IO_EVENT_DEVICE_GONE));
    }
    EXPECT_EQ(seen.calls, 1);
}

}  // namespace
