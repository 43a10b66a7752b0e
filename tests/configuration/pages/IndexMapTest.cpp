#include <gtest/gtest.h>

#include <QComboBox>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "IndexMapConfig.h"
#include "PageFixture.h"
#include "XmlConfigFile.h"
#include "sim/Gen1Opcodes.h"

namespace {

using namespace pagetest;

constexpr int kLibraryPage = 0;
constexpr int kTablePage = 2;
constexpr uint32_t kRefused = vxsim::refusal::kNotProcessable;
const QString kDocumentType = QStringLiteral("QMXConfigSettings");

constexpr uint32_t version(uint32_t major, uint32_t minor, uint32_t build) {
    return (major << 24) | (minor << 16) | build;
}

// Replaces the library's version for the pages made while it lives.
struct LibraryVersion {
    explicit LibraryVersion(uint32_t packed) {
        IndexMapConfig::libraryVersion = [packed] { return packed; };
    }
    ~LibraryVersion() { IndexMapConfig::libraryVersion = saved; }
    std::function<uint32_t()> saved = IndexMapConfig::libraryVersion;
};

std::vector<uint32_t> mapOf(const IndexMapConfig& page) {
    std::vector<uint32_t> map;
    for (uint32_t i = 0; i < page.channelCount(); ++i) map.push_back(page.entry(i));
    return map;
}

std::vector<uint32_t> modelMap(const vxsim::ControllerModel& model, uint32_t count) {
    std::vector<uint32_t> map;
    for (uint32_t i = 0; i < count; ++i) map.push_back(model.indexMapEntry(static_cast<uint8_t>(i)));
    return map;
}

class IndexMap : public ::testing::TestWithParam<bool> {
protected:
    IndexMap()
        : controller(vxsim::SystemSetup::standard(4, false)),
          open(GetParam() ? controller.libraryLocator() : controller.directLocator()) {}
    void SetUp() override { ASSERT_EQ(open.status, 0u); }

    QComboBox* box(int row) {
        return qobject_cast<QComboBox*>(form.ui.indexMapTable->cellWidget(row, 1));
    }
    QString tabText() {
        return form.ui.tabWidget->tabText(form.ui.tabWidget->indexOf(form.ui.indexMapTab));
    }
    // The map's physical channels as the combo boxes show them.
    std::vector<uint32_t> shown() {
        std::vector<uint32_t> values;
        for (int row = 0; row < form.ui.indexMapTable->rowCount(); ++row)
            values.push_back(static_cast<uint32_t>(box(row)->currentIndex()));
        return values;
    }

    Controller controller;
    OpenConnection open;
    Form form;
    vxgui::ScriptedDialogs dialogs;
    IndexMapConfig page{&form.window, &form.ui};
    QSignalSpy modifiedSignals{&page, &IndexMapConfig::indexMapModified};
    QTemporaryDir dir;
};

TEST_P(IndexMap, ChoosingAHeldChannelSwapsTheRows) {
    page.readFromController(&open.connection);
    ASSERT_EQ(form.ui.indexMapStackedWidget->currentIndex(), kTablePage);
    EXPECT_EQ(shown(), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(form.ui.indexMapTable->horizontalHeaderItem(0)->text(), "Channel\nIndex");
    EXPECT_EQ(form.ui.indexMapTable->horizontalHeaderItem(1)->text(), "Physical\nChannel");
    box(0)->setCurrentIndex(2);
    EXPECT_EQ(mapOf(page), (std::vector<uint32_t>{2, 1, 0, 3}));
    EXPECT_EQ(shown(), (std::vector<uint32_t>{2, 1, 0, 3}));
    EXPECT_EQ(modifiedSignals.count(), 1);
    EXPECT_EQ(tabText(), "Index Map*");

    // A read keeps the mark; the write reaches the model and finalises.
    page.readFromController(&open.connection);
    EXPECT_EQ(tabText(), "Index Map*");
    box(0)->setCurrentIndex(2);
    box(3)->setCurrentIndex(1);
    EXPECT_EQ(mapOf(page), (std::vector<uint32_t>{2, 3, 0, 1}));
    page.writeToController(&open.connection);
    EXPECT_EQ(modelMap(controller.model, 4), (std::vector<uint32_t>{2, 3, 0, 1}));
    EXPECT_EQ(controller.model.indexMapFinalizations(), 1u);
    EXPECT_EQ(tabText(), "Index Map");
    EXPECT_TRUE(dialogs.boxes().empty());

    Form other;
    IndexMapConfig reader(&other.window, &other.ui);
    reader.readFromController(&open.connection);
    EXPECT_EQ(mapOf(reader), (std::vector<uint32_t>{2, 3, 0, 1}));
}

TEST_P(IndexMap, RefusedWriteStopsAndKeepsTheMark) {
    page.readFromController(&open.connection);
    box(1)->setCurrentIndex(3);
    if (GetParam())
        controller.binary.addFault(vxsim::Fault::error(
            {-1, vxsim::gen1::kIndexMap, vxsim::gen1::kMapWrite}, vxsim::refusal::kNotProcessable));
    else
        controller.text.addFault(vxsim::TextFault::error("IM16", kRefused));
    page.writeToController(&open.connection);
    ASSERT_EQ(dialogs.boxTexts().size(), 1u);
    EXPECT_TRUE(dialogs.boxTexts()[0].startsWith("Error writing index map. Code: "))
        << dialogs.boxTexts()[0].toStdString();
    EXPECT_EQ(tabText(), "Index Map*");
    EXPECT_TRUE(page.isModified());
    EXPECT_EQ(modelMap(controller.model, 4), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(controller.model.indexMapFinalizations(), 0u);
}

TEST_P(IndexMap, XmlRoundTripAndRefusedMaps) {
    page.readFromController(&open.connection);
    box(0)->setCurrentIndex(3);
    XmlConfigFile out;
    out.create(kDocumentType);
    page.writeXML(out);
    const QString name = dir.filePath("map.xml");
    ASSERT_EQ(out.save(name), QString());

    Form other;
    IndexMapConfig reader(&other.window, &other.ui);
    QSignalSpy readerSignals(&reader, &IndexMapConfig::indexMapModified);
    reader.readFromController(&open.connection);
    XmlConfigFile in;
    ASSERT_EQ(in.load(name, kDocumentType), QString());
    EXPECT_EQ(in.value("Index_Map_0/Channel[3]:index"), "0");
    EXPECT_EQ(reader.readXML(in), QString());
    EXPECT_EQ(mapOf(reader), (std::vector<uint32_t>{3, 1, 2, 0}));
    EXPECT_EQ(readerSignals.count(), 1);
    EXPECT_TRUE(reader.isModified());

    struct Case {
        const char* what;
        std::vector<const char*> entries;
    };
    const Case refused[] = {
        {"a repeated channel", {"0", "0", "2", "1"}},
        {"a channel beyond the count", {"300", "1", "2", "3"}},
        {"a negative channel", {"-1", "1", "2", "3"}},
        {"no number, read as 0, repeats", {"x", "0", "2", "3"}},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        XmlConfigFile store;
        store.create(kDocumentType);
        for (size_t i = 0; i < c.entries.size(); ++i)
            store.setValue(QStringLiteral("Index_Map_0/Channel[%1]:index").arg(i), c.entries[i]);
        EXPECT_EQ(reader.readXML(store), "Invalid index map in XML file.");
        EXPECT_EQ(mapOf(reader), (std::vector<uint32_t>{3, 1, 2, 0}));
        EXPECT_EQ(readerSignals.count(), 1);
    }
}

TEST_P(IndexMap, CountZeroAndTooManyChannels) {
    // Before any read the count is 0: nothing written, nothing read, but
    // the read marks the page.
    XmlConfigFile store;
    store.create(kDocumentType);
    page.writeXML(store);
    EXPECT_EQ(store.value("Index_Map_0/Channel[0]:index"), QString());
    store.setValue("Index_Map_0/Channel[0]:index", "5");
    EXPECT_EQ(page.readXML(store), QString());
    EXPECT_EQ(page.channelCount(), 0u);
    EXPECT_EQ(modifiedSignals.count(), 1);
    EXPECT_EQ(tabText(), "Index Map*");

    // The library opens no system of more than 64 channels; a direct
    // connection reports the count as it is.
    if (GetParam()) return;
    Controller large(vxsim::SystemSetup::standard(65, false));
    OpenConnection openLarge(GetParam() ? large.libraryLocator() : large.directLocator());
    ASSERT_EQ(openLarge.status, 0u);
    page.readFromController(&openLarge.connection);
    EXPECT_EQ(form.ui.statusBar->currentMessage(), "Could not read number of channels");
    EXPECT_EQ(page.channelCount(), 0u);
    EXPECT_EQ(form.ui.indexMapTable->rowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, IndexMap, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Library" : "Direct"; });

TEST(IndexMapLibrary, GateAtVersion2_0_21) {
    struct Case {
        uint32_t version;
        bool enabled;
    };
    for (const Case& c : {Case{version(2, 0, 20), false}, Case{version(2, 0, 21), true},
                          Case{version(3, 0, 23), true}}) {
        SCOPED_TRACE(c.version);
        LibraryVersion library(c.version);
        Form form;
        form.ui.indexMapStackedWidget->setCurrentIndex(kTablePage);
        IndexMapConfig page(&form.window, &form.ui);
        const int tab = form.ui.tabWidget->indexOf(form.ui.indexMapTab);
        EXPECT_EQ(form.ui.tabWidget->isTabEnabled(tab), c.enabled);
        EXPECT_EQ(form.ui.indexMapStackedWidget->currentIndex(),
                  c.enabled ? kTablePage : kLibraryPage);
        if (!c.enabled) {
            EXPECT_EQ(form.ui.indexMapLabelDLL->text(),
                      "Index Map configuration\n not supported by library");
        }
    }
    // The real library is new enough.
    EXPECT_GE(IndexMapConfig::libraryVersion(), version(2, 0, 21));
}

}  // namespace
