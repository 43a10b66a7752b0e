#include <gtest/gtest.h>

#include <QFile>
#include <QSpinBox>

#include "IndexMapConfig.h"
#include "SystemParameter.h"
#include "SystemParametersConfig.h"
#include "WindowFixture.h"
#include "XmlConfigFile.h"

namespace {

using namespace windowtest;

const QString kDocumentType = QStringLiteral("QMXConfigSettings");

class Xml : public WindowTest {
protected:
    void SetUp() override {
        window = std::make_unique<QMXConfiguration>();
        connectTo(*window, controller.directLocator());
        ASSERT_EQ(status(*window), "Connected.");
        controller.text.clearRecords();
    }

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    IndexMapConfig* indexMap() { return window->findChild<IndexMapConfig*>(); }
    std::vector<uint32_t> map() {
        std::vector<uint32_t> entries;
        for (uint32_t i = 0; i < indexMap()->channelCount(); ++i)
            entries.push_back(indexMap()->entry(i));
        return entries;
    }
    // The first row of the system parameters page with a spin box.
    SystemParameter* spinRow() {
        for (SystemParameter* row : window->findChild<SystemParametersConfig*>()->parameters())
            if (qobject_cast<QSpinBox*>(row->globalWidget())) return row;
        return nullptr;
    }
    std::vector<int> sensorTypes() {
        std::vector<int> types;
        for (size_t c = 0; c < controller.model.channelCount(); ++c)
            types.push_back(controller.model.sensorType(c));
        return types;
    }
    std::vector<QString> errorTexts() {
        std::vector<QString> texts;
        for (const vxgui::MessageBoxRequest& box : dialogs.boxes()) {
            if (box.title != "Error") continue;
            EXPECT_EQ(box.icon, QMessageBox::Critical);
            EXPECT_EQ(box.buttons, QStringList{"Ok"});
            EXPECT_EQ(box.defaultButton, 0);
            EXPECT_EQ(box.escapeButton, -1);
            EXPECT_EQ(box.parent, nullptr);
            texts.push_back(box.text);
        }
        return texts;
    }
    void click(const char* name) { button(*window, name)->click(); }

    Controller controller{threeChannelSystem()};
    std::unique_ptr<QMXConfiguration> window;
    QTemporaryDir dir;
};

TEST_F(Xml, TheFileDialogsStartInTheHomeFolder) {
    click("readXMLButton");
    click("writeXMLButton");
    ASSERT_EQ(dialogs.fileRequests().size(), 2u);
    const vxgui::FileDialogRequest& open = dialogs.fileRequests()[0];
    const vxgui::FileDialogRequest& save = dialogs.fileRequests()[1];
    EXPECT_EQ(open.kind, vxgui::FileDialogRequest::Kind::Open);
    EXPECT_EQ(open.caption, "Open XML Configuration");
    EXPECT_EQ(save.kind, vxgui::FileDialogRequest::Kind::Save);
    EXPECT_EQ(save.caption, "Save XML Configuration");
    for (const vxgui::FileDialogRequest& request : dialogs.fileRequests()) {
        EXPECT_EQ(request.parent, window.get());
        EXPECT_EQ(request.directory, QDir::homePath());
        EXPECT_EQ(request.filter, "XML Files (*.xml)");
    }
    // Both were cancelled: nothing was shown, sent or written.
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_TRUE(controller.text.commandTexts().empty());
    EXPECT_TRUE(dir.isValid() && QDir(dir.path()).isEmpty());
}

TEST_F(Xml, AFileTheStoreRefusesLeavesThePagesAsTheyWere) {
    {
        XmlConfigFile other;
        other.create("QMXConfigurationSetup");
        ASSERT_EQ(other.save(path("other.xml")), "");
        QFile broken(path("broken.xml"));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("<!DOCTYPE QMXConfigSettings>\n<QMXConfigSettings>");
    }
    struct Case {
        const char* file;
        const char* error;  // the start of the store's text
    };
    const Case cases[] = {
        {"missing.xml", "Configuration file does not exist."},
        {"other.xml", "Wrong document type."},
        {"broken.xml", "Config file parse error at line "},
    };
    indexMapBox(*window, 0)->setCurrentIndex(2);
    const std::vector<uint32_t> edited = map();
    const int value = spinRow()->value();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        dialogs.clear();
        dialogs.answerFile(path(c.file));
        click("readXMLButton");
        const std::vector<QString> errors = errorTexts();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_TRUE(errors.front().startsWith(QString::fromLatin1(c.error)))
            << errors.front().toStdString();
        EXPECT_EQ(dialogs.boxes().size(), 1u);
        EXPECT_EQ(map(), edited);
        EXPECT_EQ(spinRow()->value(), value);
        EXPECT_TRUE(controller.text.commandTexts().empty());
    }
}

TEST_F(Xml, WriteThenReadAfterAReconnectRestoresParametersSensorTypesAndIndexMap) {
    SystemParameter* row = spinRow();
    ASSERT_NE(row, nullptr);
    const int read = row->value();
    auto* spin = qobject_cast<QSpinBox*>(row->globalWidget());
    const int saved = read < spin->maximum() ? read + 1 : read - 1;
    row->setValue(saved);
    indexMapBox(*window, 0)->setCurrentIndex(2);
    ASSERT_EQ(map(), (std::vector<uint32_t>{2, 1, 0}));
    dialogs.answerFile(path("saved.xml"));
    click("writeXMLButton");
    ASSERT_TRUE(QFile::exists(path("saved.xml")));
    EXPECT_TRUE(dialogs.boxes().empty());

    click("connectButton");
    for (size_t c = 0; c < controller.model.channelCount(); ++c)
        controller.model.setSensorType(c, 9);
    click("connectButton");
    ASSERT_EQ(status(*window), "Connected.");
    row = spinRow();
    EXPECT_EQ(row->value(), read);
    EXPECT_EQ(map(), (std::vector<uint32_t>{0, 1, 2}));

    dialogs.clear();
    dialogs.answerFile(path("saved.xml"));
    click("readXMLButton");
    EXPECT_TRUE(errorTexts().empty());
    EXPECT_EQ(spinRow()->value(), saved);
    EXPECT_EQ(map(), (std::vector<uint32_t>{2, 1, 0}));
    EXPECT_EQ(sensorTypes(), (std::vector<int>{1, 2, 3}));
    // The sensor types page shows the selected channel's type again.
    auto* sensorType = child<QComboBox>(*window, "sensorType");
    EXPECT_EQ(sensorType->currentData().toInt(), 1);
    EXPECT_TRUE(button(*window, "writeButton")->isEnabled());
}

TEST_F(Xml, ThePageReadersErrorsAreShownInOneBox) {
    XmlConfigFile store;
    store.create(kDocumentType);
    for (int i = 0; i < 3; ++i) {
        store.setValue(QStringLiteral("Index_Map_0/Channel[%1]:index").arg(i), "0");
        store.setValue(QStringLiteral("SensorTypes/Channel[%1]:sensor").arg(i), "4");
    }
    ASSERT_EQ(store.save(path("invalid.xml")), "");
    controller.text.addFault(vxsim::TextFault::error("SST1", 3, 1));
    dialogs.answerFile(path("invalid.xml"));
    click("readXMLButton");
    EXPECT_EQ(errorTexts(), std::vector<QString>{"Error setting sensor type. Code: 3\n"
                                                 "Invalid index map in XML file."});
    EXPECT_EQ(map(), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(sensorTypes(), (std::vector<int>{4, 2, 3}));
}

TEST_F(Xml, WriteXmlReportsAFileThatCannotBeCreated) {
    dialogs.answerFile(dir.path());
    click("writeXMLButton");
    EXPECT_EQ(errorTexts(), std::vector<QString>{"Could not create output file."});
}

}  // namespace
