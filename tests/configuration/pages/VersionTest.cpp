#include <gtest/gtest.h>

#include <QTextEdit>

#include <string>

#include "PageFixture.h"
#include "VersionConfig.h"

namespace {

using namespace pagetest;

TEST(VersionTexts, PackedVersions) {
    struct Case {
        uint32_t version;
        const char* text;
    };
    const Case cases[] = {
        {0, "unknwon"},
        {0xFFFFFFFFu, "N/A"},
        {(1u << 27) | (2u << 24) | (3u << 16) | 4u, "(1) 2.3.4"},
        {0xFFFFFFFEu, "(31) 7.255.65534"},
        {0x02010010u, "(0) 2.1.16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(VersionConfig::versionText(c.version), QString::fromLatin1(c.text));
    }
}

TEST(VersionTexts, FeatureNamesOfTheClearedBits) {
    struct Case {
        uint8_t byte;
        QStringList names;
    };
    const Case cases[] = {
        {0x00, {"Low Vibration Mode", "Periodic Sensor Error Correction"}},
        {0x01, {"Periodic Sensor Error Correction"}},
        {0x02, {"Low Vibration Mode"}},
        {0x03, {"None"}},
        {0xFC, {"Low Vibration Mode", "Periodic Sensor Error Correction"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byte);
        EXPECT_EQ(VersionConfig::featureNames(c.byte), c.names);
    }
}

// The report's lines after the locator line, for a system of one
// positioner and one end effector as the simulator's standard setup makes
// it. Without a module the library reports the version as not given (no
// line), a direct connection gets no answer (the "None" line).
std::string reportAfterLocator(bool handControl, bool library) {
    const char* handControlLine = handControl ? "Hand Control Module:\t(0) 1.3.2\n"
                                  : library   ? ""
                                              : "Hand Control Module:\tNone\n";
    return std::string("Interface Module:\t(0) 2.1.16\n"
                       "Number of Channels:\t2\n") +
           handControlLine +
           "----------------------------------------\n"
           "Channel 0:\n"
           "\tType:\tPositioner\n"
           "\tSerial:\t0x2100\n"
           "\tSC:\t(0) 1.2.10\n"
           "\tSG:\t(0) 1.0.20\n"
           "\tFeatures:\t\u2022 Low Vibration Mode\n"
           "\t\t\u2022 Periodic Sensor Error Correction\n"
           "\n\n"
           "Channel 1:\n"
           "\tType:\tEnd Effector\n"
           "\tSerial:\t0x9101\n"
           "\tEM:\t(0) 1.2.11\n"
           "\n";
}

TEST(VersionReport, PositionerAndEndEffectorInBothModes) {
    for (const bool handControl : {false, true}) {
        Controller controller(vxsim::SystemSetup::standard(2, handControl, 1));
        for (const bool library : {true, false}) {
            SCOPED_TRACE(std::string(handControl ? "hand control" : "none") +
                         (library ? ", library" : ", direct"));
            OpenConnection open(library ? controller.libraryLocator() : controller.directLocator());
            ASSERT_EQ(open.status, 0u);
            Form form;
            form.ui.teVersion->setPlainText(QStringLiteral("old report"));
            VersionConfig page(&form.window, &form.ui);
            page.readFromController(&open.connection);
            const std::string report = form.ui.teVersion->toPlainText().toStdString();
            const std::string locatorLine = "System Locator:\t\t";
            ASSERT_EQ(report.rfind(locatorLine, 0), 0u) << report;
            const size_t end = report.find('\n');
            EXPECT_GT(end, locatorLine.size());
            EXPECT_EQ(report.substr(end + 1), reportAfterLocator(handControl, library));
            EXPECT_EQ(form.ui.statusBar->currentMessage(), QString());
        }
    }
}

TEST(VersionReport, FeatureLinesFollowTheFeatureByte) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* lines;
    };
    const Case cases[] = {
        {{}, "\tFeatures:\t\u2022 None\n"},
        {{0x03}, "\tFeatures:\t\u2022 None\n"},
        {{0x01, 0x00}, "\tFeatures:\t\u2022 Periodic Sensor Error Correction\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        vxsim::SystemSetup setup = vxsim::SystemSetup::standard(1, false);
        setup.channels[0].featureBytes = c.bytes;
        Controller controller(setup);
        for (const bool library : {true, false}) {
            OpenConnection open(library ? controller.libraryLocator() : controller.directLocator());
            ASSERT_EQ(open.status, 0u);
            Form form;
            VersionConfig page(&form.window, &form.ui);
            page.readFromController(&open.connection);
            const std::string report = form.ui.teVersion->toPlainText().toStdString();
            EXPECT_NE(report.find(std::string("\tSG:\t(0) 1.0.20\n") + c.lines + "\n"),
                      std::string::npos)
                << report;
        }
    }
}

TEST(VersionReport, RefusedChannelReadEndsTheReport) {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(2, false);
    setup.channels[1].reportsFirmware = false;
    Controller controller(setup);
    OpenConnection open(controller.directLocator());
    ASSERT_EQ(open.status, 0u);
    Form form;
    VersionConfig page(&form.window, &form.ui);
    page.readFromController(&open.connection);
    const std::string report = form.ui.teVersion->toPlainText().toStdString();
    EXPECT_NE(report.find("Channel 1:\n\tType:\tPositioner\n\tSerial:\t0x6101"), std::string::npos)
        << report;
    EXPECT_EQ(report.find("\tSC:\t(0) 1.2.11"), std::string::npos);
    EXPECT_EQ(form.ui.statusBar->currentMessage(), QStringLiteral("Could not read channel info"));
    EXPECT_EQ(messageTimeout(form.ui.statusBar), 2000);
}

}  // namespace
