#pragma once

#include <QFile>
#include <QString>
#include <QVector>

#include <cstdint>

// A file of comma-separated decimal integers, one row a line: no header, no
// quoting, rows of any length. Results are 0 or the numeric file error.
class CsvFile : public QFile {
public:
    // The largest row and column index setCell() accepts.
    static constexpr int kMaxIndex = 31;

    CsvFile() = default;

    // Replaces the rows by the file's: lines of at most 32 fields whose last
    // field is a number (so empty and title lines are skipped); a field that
    // is no number reads as 0. A file that cannot be opened gives OpenError;
    // one far longer than any table is not read and gives ReadError.
    int read(const QString& fileName);
    // Writes every row with as many fields as the widest row. A failed
    // write or close leaves a partial file and returns its error.
    int write(const QString& fileName);

    void clear();
    int rowCount() const { return static_cast<int>(rows_.size()); }
    int columnCount() const { return columnCount_; }
    // 0 for a cell the file does not hold.
    int cell(int row, int column) const;
    // Grows the rows with empty rows and a row with zeros as needed; indices
    // outside 0..31 are ignored.
    void setCell(int row, int column, int value);

private:
    QVector<QVector<int32_t>> rows_;
    int columnCount_ = 0;
};
