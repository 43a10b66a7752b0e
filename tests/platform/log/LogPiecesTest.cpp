#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/KeptLog.h"
#include "platform/LogText.h"

namespace {

using std::chrono::hours;
using std::chrono::microseconds;
using std::chrono::seconds;

TEST(ElapsedTime, ShowsHoursOnlyFromOneHourOnAndMicrosecondsAsSixDigits) {
    struct Case {
        microseconds elapsed;
        const char* text;
    };
    const Case cases[] = {
        {seconds(12) + microseconds(345), "12.000345"},
        {hours(1) + seconds(15) + microseconds(250000), "1:15.250000"},
        {microseconds(0), "0.000000"},
        {seconds(3599) + microseconds(999999), "3599.999999"},
        {hours(1), "1:0.000000"},
        {hours(25) + seconds(61), "25:61.000000"},
        {-(seconds(1) + microseconds(5)), "-1.000005"},
        {-hours(2), "-2:0.000000"},
    };
    for (const Case& c : cases) EXPECT_EQ(vxplatform::formatElapsed(c.elapsed), c.text);
}

TEST(HexDump, TwoLowerCaseDigitsPerByteSeparatedByBlanks) {
    const uint8_t bytes[] = {0x00, 0xA0, 0x0F, 0xFF};
    EXPECT_EQ(vxplatform::hexDump(bytes, sizeof bytes), "00 a0 0f ff");
    EXPECT_EQ(vxplatform::hexDump(bytes, 1), "00");
    EXPECT_EQ(vxplatform::hexDump(bytes, 0), "");
}

std::string contents(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(KeptLog, ATakenNameGetsANumberAndTheEarlierFileStaysAsItWas) {
    std::string pattern = (std::filesystem::temp_directory_path() / "keptlog-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::string folder = pattern;

    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        std::string path;
        std::FILE* file = vxplatform::createKeptLog(folder, "Log_2026-12-08_08-05-09", &path);
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "run %d\n", i);
        std::fclose(file);
        paths.push_back(path);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{folder + "/Log_2026-12-08_08-05-09.log",
                                               folder + "/Log_2026-12-08_08-05-09_2.log",
                                               folder + "/Log_2026-12-08_08-05-09_3.log"}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(contents(paths[i]), "run " + std::to_string(i) + "\n");

    EXPECT_EQ(vxplatform::createKeptLog(folder + "/missing", "Log"), nullptr);
    std::filesystem::remove_all(folder);
}

}  // namespace
