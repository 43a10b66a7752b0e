#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableWidget>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "WindowFixture.h"
#include "support/SparseFile.h"

namespace {

using namespace windowtest;
using namespace std::chrono_literals;

// The tool's file reads, each given a file far longer than any of its kind
// that starts as one: not read, refused with the text for a file that
// cannot be read, at once; the pages keep what they showed.
TEST_F(WindowTest, FilesTooLongToReadAreRefusedAsUnreadable) {
    Controller controller{threeChannelSystem()};
    QMXConfiguration window;
    connectTo(window, controller.directLocator());
    ASSERT_EQ(status(window), "Connected.");
    QTemporaryDir dir;
    struct Row {
        const char* button;
        const char* file;
        const char* start;
        const char* text;
    };
    const Row table[] = {
        {"readXMLButton", "huge.xml",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE QMXConfigSettings>\n"
         "<QMXConfigSettings version=\"1.0\">\n",
         "Can't open configuration file."},
        {"importSLTButton", "huge.csv", "1,4095,1000\n", "Error reading file. Code: 1"},
    };
    auto* speedLevels = child<QTableWidget>(window, "speedLevelTable");
    const int rows = speedLevels->rowCount();
    ASSERT_GT(rows, 0);
    const QString first = speedLevels->item(0, 0)->text();
    for (const Row& row : table) {
        SCOPED_TRACE(row.button);
        const QString path = dir.filePath(QString::fromLatin1(row.file));
        ASSERT_TRUE(vxtest::writeSparseTebibyte(path.toStdString(), row.start));
        dialogs.clear();
        dialogs.answerFile(path);
        const auto start = std::chrono::steady_clock::now();
        button(window, row.button)->click();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{row.text});
        EXPECT_EQ(speedLevels->rowCount(), rows);
        EXPECT_EQ(speedLevels->item(0, 0)->text(), first);
        // No page took anything: Write stays disabled.
        EXPECT_EQ(bar(window), kConnectedBar);
    }
}

}  // namespace
