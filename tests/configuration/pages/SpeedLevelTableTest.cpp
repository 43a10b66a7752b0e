#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "QMXControl.h"
#include "PageFixture.h"
#include "SpeedLevelTableConfig.h"

namespace {

using namespace pagetest;

constexpr int kTablePage = 0;
constexpr int kNotSupportedPage = 1;
constexpr int kSpeedLevelTab = 1;
constexpr uint32_t kRefused = vxsim::refusal::kNotProcessable;

// The table widget's rows as text: cells joined by ",", rows by ";".
std::string shown(QTableWidget* table) {
    std::string text;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (row) text += ';';
        for (int column = 0; column < table->columnCount(); ++column) {
            if (column) text += ',';
            text += table->item(row, column)->text().toStdString();
        }
    }
    return text;
}

// The model's table as text, in the same form.
std::string held(const vxsim::ControllerModel& model) {
    std::string text;
    for (uint8_t i = 0; i < model.speedLevelTableSize(); ++i) {
        const auto level = model.speedLevel(i);
        if (i) text += ';';
        text += std::to_string(level[0]) + ',' + std::to_string(level[1]) + ',' +
                std::to_string(level[2]);
    }
    return text;
}

class SpeedLevelTable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(open.status, VX_OK);
        page.readFromController(&open.connection);
        controller.text.clearRecords();
    }

    QTableWidget* table() { return form.ui.speedLevelTable; }
    QString tabText() { return form.ui.tabWidget->tabText(kSpeedLevelTab); }
    std::vector<bool> actionsEnabled() {
        std::vector<bool> enabled;
        for (QAction* action : table()->actions()) enabled.push_back(action->isEnabled());
        return enabled;
    }
    QAction* action(int index) { return table()->actions().at(index); }
    void click(int row, int column) { emit table()->cellClicked(row, column); }
    QString file(const char* name) { return dir.filePath(QString::fromLatin1(name)); }
    QString withContent(const char* name, const std::string& content) {
        QFile out(file(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(content.data(), static_cast<qint64>(content.size()));
        return out.fileName();
    }
    void import(const QString& name) {
        dialogs.answerFile(name);
        form.ui.importSLTButton->click();
    }
    void exportTo(const QString& name) {
        dialogs.answerFile(name);
        form.ui.exportSLTButton->click();
    }

    Controller controller{vxsim::SystemSetup::standard(2, true)};
    OpenConnection open{controller.directLocator()};
    Form form;
    vxgui::ScriptedDialogs dialogs;
    SpeedLevelTableConfig page{&form.window, &form.ui, &open.connection};
    QSignalSpy modifiedSignals{&page, &SpeedLevelTableConfig::speedLevelTableModified};
    QTemporaryDir dir;
};

TEST_F(SpeedLevelTable, ReadFillsTheTableAndOffersTheFiles) {
    EXPECT_EQ(form.ui.speedLevelTableStackedWidget->currentIndex(), kTablePage);
    EXPECT_EQ(shown(table()), "1,100,1000;2,200,1010;3,300,1020;4,400,1030");
    EXPECT_EQ(shown(table()), held(controller.model));
    EXPECT_EQ(table()->horizontalHeaderItem(0)->text(), "Steps");
    EXPECT_EQ(table()->horizontalHeaderItem(1)->text(), "Amplitude");
    EXPECT_EQ(table()->horizontalHeaderItem(2)->text(), "Frequency");
    EXPECT_EQ(table()->item(0, 0)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_TRUE(form.ui.importSLTButton->isEnabled());
    EXPECT_TRUE(form.ui.exportSLTButton->isEnabled());
    EXPECT_FALSE(page.isModified());
    EXPECT_EQ(tabText(), "Speed Level Table");
    EXPECT_EQ(table()->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(table()->actions().size(), 3);
    EXPECT_EQ(action(0)->text(), "Insert row before this row");
    EXPECT_EQ(action(1)->text(), "Insert row after this row");
    EXPECT_EQ(action(2)->text(), "Remove this row");
    EXPECT_TRUE(dialogs.boxes().empty());

    page.clear();
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_EQ(table()->columnCount(), 0);
    EXPECT_FALSE(form.ui.importSLTButton->isEnabled());
    EXPECT_FALSE(form.ui.exportSLTButton->isEnabled());
}

TEST_F(SpeedLevelTable, CellEditsAreCheckedAgainstTheirColumnsRange) {
    struct Case {
        int column;
        const char* typed;
        const char* message;  // empty: taken
        int timeoutMs;
    };
    const Case cases[] = {
        {0, "30000", "Valid range is 0..29999.", 4000},
        {0, "-1", "Valid range is 0..29999.", 4000},
        {1, "0", "Valid range is 1..4095.", 4000},
        {1, "4096", "Valid range is 1..4095.", 4000},
        {2, "18501", "Valid range is 0..18500.", 4000},
        {2, "abc", "Invalid value!", 2000},
        {0, "", "Invalid value!", 2000},
        {0, "29999", "", 0},
        {1, "1", "", 0},
        {2, "0", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        form.ui.statusBar->clearMessage();
        const QString before = table()->item(1, c.column)->text();
        table()->item(1, c.column)->setText(QString::fromLatin1(c.typed));
        EXPECT_EQ(form.ui.statusBar->currentMessage(), c.message);
        EXPECT_EQ(messageTimeout(form.ui.statusBar), c.timeoutMs);
        EXPECT_EQ(table()->item(1, c.column)->text(), *c.message ? before : c.typed);
    }
    EXPECT_TRUE(page.isModified());
    EXPECT_EQ(tabText(), "Speed Level Table*");
    EXPECT_EQ(modifiedSignals.count(), 3);  // one for each taken value
    page.writeToController(&open.connection);
    EXPECT_EQ(held(controller.model), "1,100,1000;29999,1,0;3,300,1020;4,400,1030");
}

TEST_F(SpeedLevelTable, ContextActionsFollowTheCountAndTheClickedRow) {
    // Insert, Insert after, Remove: enabled only once a cell is clicked.
    const std::vector<bool> none = {false, false, false};
    EXPECT_EQ(actionsEnabled(), none);
    click(1, 0);
    EXPECT_EQ(actionsEnabled(), (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(table()->item(1, 2)->isSelected());
    EXPECT_FALSE(table()->item(0, 0)->isSelected());

    action(0)->trigger();
    EXPECT_EQ(shown(table()), "1,100,1000;1,4095,1000;2,200,1010;3,300,1020;4,400,1030");
    EXPECT_EQ(actionsEnabled(), none) << "a rebuild asks for a click again";
    EXPECT_EQ(tabText(), "Speed Level Table*");
    click(0, 1);
    action(1)->trigger();
    EXPECT_EQ(shown(table()), "1,100,1000;1,4095,1000;1,4095,1000;2,200,1010;3,300,1020;"
                              "4,400,1030");
    click(4, 0);
    action(2)->trigger();
    EXPECT_EQ(shown(table()), "1,100,1000;1,4095,1000;1,4095,1000;2,200,1010;4,400,1030");
    EXPECT_EQ(modifiedSignals.count(), 3);

    // One entry: nothing to remove; 32: nothing to insert.
    ASSERT_EQ(controller.model.setSpeedLevelTableSize(1), 0);
    page.readFromController(&open.connection);
    EXPECT_EQ(tabText(), "Speed Level Table");
    click(0, 0);
    EXPECT_EQ(actionsEnabled(), (std::vector<bool>{true, true, false}));
    ASSERT_EQ(controller.model.setSpeedLevelTableSize(32), 0);
    page.readFromController(&open.connection);
    EXPECT_EQ(table()->rowCount(), 32);
    click(31, 2);
    EXPECT_EQ(actionsEnabled(), (std::vector<bool>{false, false, true}));
}

TEST_F(SpeedLevelTable, ASizeRequestThatTimesOutShowsTheNotSupportedPage) {
    table()->item(0, 0)->setText("5");
    ASSERT_TRUE(page.isModified());
    controller.text.addFault(vxsim::TextFault::silent("SLTC", 1));
    page.readFromController(&open.connection);
    EXPECT_EQ(form.ui.speedLevelTableStackedWidget->currentIndex(), kNotSupportedPage);
    EXPECT_EQ(form.ui.label_8->text(), "Speed Level Table\nconfiguration not supported.");
    EXPECT_FALSE(page.isModified());
    EXPECT_EQ(tabText(), "Speed Level Table");
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_EQ(controller.text.commandTexts(), std::vector<std::string>{"SLTC32"});
    // A write has nothing to send, and the next read comes back.
    page.writeToController(&open.connection);
    page.readFromController(&open.connection);
    EXPECT_EQ(form.ui.speedLevelTableStackedWidget->currentIndex(), kTablePage);
}

TEST_F(SpeedLevelTable, ASizeBeyondTheTableEndsTheReadWithCode9) {
    table()->item(0, 0)->setText("5");
    const std::string before = shown(table());
    controller.text.addFault(vxsim::TextFault::replace("SLTC", ":SLTS33\n", 1));
    page.readFromController(&open.connection);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    const vxgui::MessageBoxRequest& box = dialogs.boxes()[0];
    EXPECT_EQ(box.text, "Error reading speed level table. Code: 9");
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QStringList{"Ok"});
    EXPECT_EQ(box.parent, nullptr);
    EXPECT_EQ(shown(table()), before);
    EXPECT_TRUE(page.isModified());
    // Entries 0 to 31 were asked for, the 33rd never.
    const std::vector<std::string> commands = controller.text.commandTexts();
    ASSERT_EQ(commands.size(), 33u);
    EXPECT_EQ(commands.back(), "SLTC127");
}

TEST_F(SpeedLevelTable, WriteSendsSizeEntriesAndStoreInOrder) {
    page.writeToController(&open.connection);
    EXPECT_TRUE(controller.text.commandTexts().empty()) << "nothing to write";

    click(3, 0);
    action(2)->trigger();
    table()->item(0, 1)->setText("4095");
    controller.text.clearRecords();
    page.writeToController(&open.connection);
    EXPECT_EQ(controller.text.commandTexts(),
              (std::vector<std::string>{"SLTC64,3", "SLTC128,1,4095,1000", "SLTC129,2,200,1010",
                                        "SLTC130,3,300,1020", "SLTC160"}));
    EXPECT_EQ(held(controller.model), "1,4095,1000;2,200,1010;3,300,1020");
    EXPECT_EQ(controller.model.storedSpeedLevelTables(), 1u);
    EXPECT_FALSE(page.isModified());
    EXPECT_EQ(tabText(), "Speed Level Table");
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(SpeedLevelTable, AFailedWriteKeepsTheMark) {
    struct Case {
        vxsim::TextFault fault;
        const char* message;
        size_t commands;
    };
    const Case cases[] = {
        {vxsim::TextFault::error("SLTC133", kRefused),
         "Error writing speed level entry 5. Code: 150\nThe system should be reset.", 7},
        {vxsim::TextFault::error("SLTC64", kRefused),
         "Error writing speed level table. Code: 150\nThe system should be reset.", 1},
        {vxsim::TextFault::error("SLTC160", kRefused),
         "Error writing speed level table. Code: 150\nThe system should be reset.", 10},
    };
    for (int i = 0; i < 4; ++i) {  // eight entries
        click(0, 0);
        action(1)->trigger();
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        dialogs.clear();
        controller.text.clearRecords();
        controller.text.clearFaults();
        controller.text.addFault(c.fault);
        page.writeToController(&open.connection);
        EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{c.message});
        EXPECT_EQ(controller.text.commandTexts().size(), c.commands);
        EXPECT_TRUE(page.isModified());
        EXPECT_EQ(tabText(), "Speed Level Table*");
    }
}

TEST_F(SpeedLevelTable, CsvImports) {
    std::string lines33;
    for (int i = 0; i < 33; ++i) lines33 += std::to_string(i) + ",100,1000\n";
    struct Case {
        const char* what;
        std::string content;
        const char* message;  // empty: imported
        const char* table;    // the table afterwards
    };
    const char* unchanged = "1,100,1000;2,200,1010;3,300,1020;4,400,1030";
    const Case cases[] = {
        {"title line", "Steps,Amplitude,Frequency\n5,500,1500\n6,600,1600\n", "",
         "5,500,1500;6,600,1600"},
        {"CRLF line ends", "7,700,1700\r\n8,800,1800\r\n", "", "7,700,1700;8,800,1800"},
        {"a two-field line among three", "1,2,3\n4,5\n", "", "1,2,3;4,5,0"},
        {"33 lines", lines33, "Error reading file. Wrong file format.", unchanged},
        {"two fields only", "1,2\n3,4\n", "Error reading file. Wrong file format.", unchanged},
        {"empty file", "", "Error reading file. Wrong file format.", unchanged},
        {"a one-field line", "1,2,3\n4\n", "Error reading file. Invalid value range.", unchanged},
        {"steps out of range", "30000,1,1\n", "Error reading file. Invalid value range.",
         unchanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        page.readFromController(&open.connection);
        dialogs.clear();
        modifiedSignals.clear();
        form.ui.statusBar->showMessage("before");
        import(withContent("table.csv", c.content));
        ASSERT_EQ(dialogs.fileRequests().size(), 1u);
        const vxgui::FileDialogRequest& request = dialogs.fileRequests()[0];
        EXPECT_EQ(request.kind, vxgui::FileDialogRequest::Kind::Open);
        EXPECT_EQ(request.caption, "Select File");
        EXPECT_EQ(request.directory, ".");
        EXPECT_EQ(request.filter, "CSV files (*.csv)");
        EXPECT_EQ(shown(table()), c.table);
        const bool imported = *c.message == '\0';
        EXPECT_EQ(dialogs.boxTexts(), imported ? std::vector<QString>{}
                                               : std::vector<QString>{c.message});
        EXPECT_EQ(form.ui.statusBar->currentMessage(),
                  imported ? "Successfully read speed level table file." : "");
        EXPECT_EQ(page.isModified(), imported);
        EXPECT_EQ(modifiedSignals.count(), imported ? 1 : 0);
    }
    // A file that cannot be opened gives its code; a cancelled choice does nothing.
    dialogs.clear();
    import(file("missing.csv"));
    EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{"Error reading file. Code: 5"});
    dialogs.clear();
    import(QString());
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_EQ(shown(table()), unchanged);
}

TEST_F(SpeedLevelTable, ExportNamesTheFileAndImportsBackTheSameTable) {
    struct Case {
        const char* answer;
        const char* written;
    };
    const Case cases[] = {{"table", "table.csv"}, {"UPPER.CSV", "UPPER.CSV"}, {"x.csv", "x.csv"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        exportTo(file(c.answer));
        QFile written(file(c.written));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll().toStdString(),
                  "1,100,1000\n2,200,1010\n3,300,1020\n4,400,1030\n");
        EXPECT_EQ(form.ui.statusBar->currentMessage(),
                  "Successfully wrote speed level table file.");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
    const vxgui::FileDialogRequest& request = dialogs.fileRequests().back();
    EXPECT_EQ(request.kind, vxgui::FileDialogRequest::Kind::Save);
    EXPECT_EQ(request.caption, "Select File");
    EXPECT_EQ(request.filter, "CSV files (*.csv)");
    EXPECT_FALSE(page.isModified()) << "exporting changes no mark";

    const std::string original = shown(table());
    import(withContent("other.csv", "9,9,9\n"));
    ASSERT_EQ(shown(table()), "9,9,9");
    import(file("table.csv"));
    EXPECT_EQ(shown(table()), original);
    EXPECT_TRUE(dialogs.boxes().empty());
}

// A full disk: the file may not grow past a few bytes. Run in a child
// process, which alone carries the limit.
TEST_F(SpeedLevelTable, AnExportPastTheFileSizeLimitShowsItsCode) {
    const QString name = file("limited.csv");
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        const rlimit limit{16, 16};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        exportTo(name);
        QString report = form.ui.statusBar->currentMessage() + '|';
        for (const QString& text : dialogs.boxTexts()) report += text;
        const QByteArray bytes = report.toUtf8();
        const bool sent = write(pipeFds[1], bytes.constData(), bytes.size()) == bytes.size();
        _exit(sent ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report, "|Error reading file. Code: " +
                          std::to_string(static_cast<int>(QFileDevice::WriteError)));
    EXPECT_EQ(QFileInfo(name).size(), 16) << "the file stops at the limit";
}

}  // namespace
