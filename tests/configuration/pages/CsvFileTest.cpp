#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

#include "CsvFile.h"
#include "configuration/TempFiles.h"

namespace {

// The rows as text: cells joined by ",", rows by ";".
std::string rowsOf(const CsvFile& file) {
    std::string text;
    for (int row = 0; row < file.rowCount(); ++row) {
        if (row) text += ';';
        for (int column = 0; column < file.columnCount(); ++column) {
            if (column) text += ',';
            text += std::to_string(file.cell(row, column));
        }
    }
    return text;
}

class CsvFileTest : public vxtest::TempFiles {
protected:
    CsvFileTest() : TempFiles("in.csv") {}
};

TEST_F(CsvFileTest, Reading) {
    std::string wide;
    for (int i = 0; i < 33; ++i) wide += (i ? "," : "") + std::to_string(i);
    struct Case {
        const char* what;
        std::string content;
        std::string rows;
        int columns;
    };
    const Case cases[] = {
        {"three fields a line", "1,4095,1000\n2,100,18500\n", "1,4095,1000;2,100,18500", 3},
        {"title line skipped", "Steps,Amplitude,Frequency\n7,8,9\n", "7,8,9", 3},
        {"CRLF line ends", "1,2,3\r\n4,5,6\r\n", "1,2,3;4,5,6", 3},
        {"no line end at the end", "1,2,3\n4,5,6", "1,2,3;4,5,6", 3},
        {"empty lines skipped", "\n1,2,3\n\n", "1,2,3", 3},
        {"rows of any length", "1\n2,3\n", "1,0;2,3", 2},
        {"a field that is no number reads 0", "x,5,6\n", "0,5,6", 3},
        {"an empty last field skips the line", "1,2,\n3,4,5\n", "3,4,5", 3},
        {"more than 32 fields skipped", wide + "\n1,2\n", "1,2", 2},
        {"negative numbers", "-1,-20,3\n", "-1,-20,3", 3},
        {"empty file", "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CsvFile file;
        ASSERT_EQ(file.read(withContent(c.content)), 0);
        EXPECT_EQ(rowsOf(file), c.rows);
        EXPECT_EQ(file.columnCount(), c.columns);
    }
}

TEST_F(CsvFileTest, CellsGrowAndIgnoreIndicesBeyondTheTable) {
    CsvFile file;
    file.setCell(2, 1, 7);
    EXPECT_EQ(file.rowCount(), 3);
    EXPECT_EQ(file.columnCount(), 2);
    EXPECT_EQ(rowsOf(file), "0,0;0,0;0,7");
    file.setCell(31, 31, 1);
    EXPECT_EQ(file.rowCount(), 32);
    EXPECT_EQ(file.columnCount(), 32);
    for (auto [row, column] : {std::pair{32, 0}, {0, 32}, {-1, 0}, {0, -1}})
        file.setCell(row, column, 9);
    EXPECT_EQ(file.rowCount(), 32);
    EXPECT_EQ(file.columnCount(), 32);
    EXPECT_EQ(file.cell(40, 0), 0);
    EXPECT_EQ(file.cell(0, 40), 0);
    file.clear();
    EXPECT_EQ(file.rowCount(), 0);
    EXPECT_EQ(file.columnCount(), 0);
}

TEST_F(CsvFileTest, WritingAndReadingBack) {
    CsvFile file;
    file.setCell(0, 0, 1);
    file.setCell(0, 2, -3);
    file.setCell(1, 1, 4095);
    const QString name = path("out.csv");
    ASSERT_EQ(file.write(name), 0);
    // Every row as wide as the widest; missing cells written as 0.
    EXPECT_EQ(contentOf(name), "1,0,-3\n0,4095,0\n");
    CsvFile back;
    ASSERT_EQ(back.read(name), 0);
    EXPECT_EQ(rowsOf(back), rowsOf(file));
    // Writing truncates.
    CsvFile shorter;
    shorter.setCell(0, 0, 5);
    ASSERT_EQ(shorter.write(name), 0);
    EXPECT_EQ(contentOf(name), "5\n");
}

TEST_F(CsvFileTest, AFileThatDoesNotOpenGivesItsErrorCode) {
    CsvFile file;
    EXPECT_EQ(file.read(path("missing.csv")), static_cast<int>(QFileDevice::OpenError));
    EXPECT_EQ(file.write(dir.path()), static_cast<int>(QFileDevice::OpenError));
}

}  // namespace
