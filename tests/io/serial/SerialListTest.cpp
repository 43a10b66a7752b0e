#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VeltraxIO.h"
#include "platform/SerialPort.h"
#include "serial/ComPortList.h"
#include "sim/Pty.h"

namespace {

using Clock = std::chrono::steady_clock;

// Pseudo-terminals as the machine's ports, and a clock the test moves on.
class SerialListing : public ::testing::Test {
protected:
    void SetUp() override {
        vxio::setComPortSource({[this] {
                                    std::lock_guard<std::mutex> lock(mutex_);
                                    return ports_;
                                },
                                [this] {
                                    std::lock_guard<std::mutex> lock(mutex_);
                                    return now_;
                                }});
    }
    void TearDown() override { vxio::setComPortSource({}); }

    void plug(std::vector<std::string> ports) {
        std::lock_guard<std::mutex> lock(mutex_);
        ports_ = std::move(ports);
    }
    void advance(std::chrono::milliseconds step) {
        std::lock_guard<std::mutex> lock(mutex_);
        now_ += step;
    }

    template <typename Call>
    static std::string listText(Call call) {
        char buffer[1024];
        size_t length = sizeof buffer;
        const VX_IO_Result result = call(buffer, &length);
        EXPECT_EQ(result, VX_IO_OK);
        return result == VX_IO_OK ? std::string(buffer, length) : std::string();
    }
    static std::string shortList(const std::string& options) {
        return listText([&](char* b, size_t* l) {
            return VX_IO_EnumerateDevices(VX_IO_IFACE_SERIAL, options.c_str(), b, l);
        });
    }
    static std::string search(const std::string& options) {
        return listText([&](char* b, size_t* l) {
            return VX_IO_EnumerateDevices(VX_IO_IFACE_ALL, options.c_str(), b, l);
        });
    }
    static std::string interfaces(const std::string& options) {
        return listText(
            [&](char* b, size_t* l) { return VX_IO_EnumerateInterfaces(options.c_str(), b, l); });
    }

    vxsim::Pty a_, b_;
    std::mutex mutex_;
    std::vector<std::string> ports_;
    Clock::time_point now_ = Clock::now();
};

TEST_F(SerialListing, ShortListKeepsItsCacheForThreeSecondsUnlessForced) {
    const std::string lineA = "serial:" + a_.devicePath();
    const std::string both = lineA + "\nserial:" + b_.devicePath();
    plug({a_.devicePath()});
    EXPECT_EQ(shortList(""), lineA);
    plug({a_.devicePath(), b_.devicePath()});
    advance(std::chrono::milliseconds(3000));
    EXPECT_EQ(shortList(""), lineA);
    EXPECT_EQ(shortList("force-rescan 1"), both);
    plug({});
    advance(std::chrono::milliseconds(2999));
    EXPECT_EQ(shortList(""), both);
    advance(std::chrono::milliseconds(2));
    EXPECT_EQ(shortList(""), "");
}

TEST_F(SerialListing, SearchSharesTheCache) {
    plug({a_.devicePath()});
    EXPECT_EQ(search("iface-type serial\nonly-locator"), "serial:" + a_.devicePath());
    plug({b_.devicePath()});
    EXPECT_EQ(search("iface-type serial\nonly-locator"), "serial:" + a_.devicePath());
    EXPECT_EQ(search("iface-type serial\ninclude-all\nforce-rescan"),
              "iface-type=serial|locator=serial:" + b_.devicePath());
}

TEST_F(SerialListing, PortHeldElsewhereIsListedButNotFound) {
    plug({a_.devicePath(), b_.devicePath()});
    vxplatform::SerialPort holder;
    ASSERT_EQ(holder.open(b_.devicePath(), {}), 0);
    EXPECT_EQ(shortList("force-rescan"),
              "serial:" + a_.devicePath() + "\nserial:" + b_.devicePath());
    EXPECT_EQ(search("iface-type serial\nonly-locator\nforce-rescan"), "serial:" + a_.devicePath());
    EXPECT_EQ(interfaces("iface-type serial\ninclude-name\ninclude-serial-port"),
              "name=" + a_.devicePath() + "|serial-port=" + a_.devicePath() +
                  "\nname=" + b_.devicePath() + "|serial-port=" + b_.devicePath());
    holder.close();
    EXPECT_EQ(search("iface-type serial\nonly-locator"), "serial:" + a_.devicePath());
    EXPECT_EQ(search("iface-type serial\nonly-locator\nforce-rescan"),
              "serial:" + a_.devicePath() + "\nserial:" + b_.devicePath());
}

// Too small a buffer: the short list tells the length it needs and leaves the
// empty text; the full list leaves the caller's capacity as it was.
TEST_F(SerialListing, TooSmallABufferIsRefusedAsEachListSays) {
    plug({a_.devicePath()});
    const std::string line = "serial:" + a_.devicePath();
    struct Case {
        int type;
        const char* options;
        size_t capacity;
        size_t lengthAfter;
        char firstByteAfter;
    };
    const Case cases[] = {
        {VX_IO_IFACE_SERIAL, "", 0, line.size(), 'x'},
        {VX_IO_IFACE_SERIAL, "", 1, line.size(), '\0'},
        {VX_IO_IFACE_SERIAL, "", line.size(), line.size(), '\0'},
        {VX_IO_IFACE_ALL, "iface-type serial\nonly-locator", 1, 1, 'x'},
        {VX_IO_IFACE_ALL, "iface-type serial\nonly-locator", line.size(), line.size(), 'x'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " / " + std::to_string(c.capacity));
        std::vector<char> buffer(line.size() + 1, 'x');
        size_t length = c.capacity;
        EXPECT_EQ(VX_IO_EnumerateDevices(c.type, c.options, buffer.data(), &length),
                  VX_IO_BUFFER_TOO_SMALL);
        EXPECT_EQ(length, c.lengthAfter);
        EXPECT_EQ(buffer[0], c.firstByteAfter);
    }
    std::vector<char> buffer(line.size() + 1, 'x');
    size_t length = buffer.size();
    ASSERT_EQ(VX_IO_EnumerateDevices(VX_IO_IFACE_SERIAL, "", buffer.data(), &length), VX_IO_OK);
    EXPECT_EQ(length, line.size());
    EXPECT_EQ(std::string(buffer.data()), line);
}

TEST_F(SerialListing, InterfacesAreReadAfreshEveryTime) {
    plug({a_.devicePath()});
    EXPECT_EQ(interfaces("iface-type serial\ninclude-iface-type\ninclude-name"),
              "iface-type=serial|name=" + a_.devicePath());
    plug({});
    EXPECT_EQ(interfaces("iface-type serial\ninclude-name"), "");
}

}  // namespace
