#include "CsvFile.h"

#include <QByteArray>
#include <QStringList>

#include <cstddef>

#include "BoundedFileQt.h"

namespace {

constexpr int kMaxFields = CsvFile::kMaxIndex + 1;
// A speed level table is at most 32 lines of three numbers, some 1.2 KiB;
// the widest table this file holds (32 rows of 32 fields of up to 11
// characters and a separator) is 12 KiB. The rest is room for title and
// empty lines.
constexpr size_t kMaxFileBytes = size_t{64} << 10;

}  // namespace

int CsvFile::read(const QString& fileName) {
    clear();
    setFileName(fileName);
    QByteArray bytes;
    switch (vxfile::readWholeFile(fileName, bytes, kMaxFileBytes)) {
    case vxfile::FileRead::Read:
        break;
    case vxfile::FileRead::CouldNotOpen:
        return static_cast<int>(OpenError);
    case vxfile::FileRead::TooLarge:
        return static_cast<int>(ReadError);
    }
    // Every carriage return dropped, as text mode drops it: "\r\n" ends a
    // line as "\n" does.
    bytes.replace("\r", "");
    const QString text = QString::fromLatin1(bytes);
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::KeepEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (fields.size() > kMaxFields) continue;
        QVector<int32_t> row;
        bool lastConverted = false;
        for (const QString& field : fields) {
            const int value = field.toInt(&lastConverted, 10);
            row.append(lastConverted ? value : 0);
        }
        if (!lastConverted) continue;
        rows_.append(row);
        if (row.size() > columnCount_) columnCount_ = static_cast<int>(row.size());
    }
    return 0;
}

int CsvFile::write(const QString& fileName) {
    setFileName(fileName);
    if (!open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return static_cast<int>(error());
    bool written = true;
    for (int row = 0; row < rowCount() && written; ++row) {
        QStringList fields;
        for (int column = 0; column < columnCount_; ++column)
            fields.append(QString::number(cell(row, column)));
        const QByteArray line = (fields.join(QLatin1Char(',')) + QLatin1Char('\n')).toLatin1();
        written = QFile::write(line) == line.size();
    }
    // Buffered lines reach the disk only here; a full disk shows up now.
    if (written) written = flush();
    const FileError failure = written ? NoError : (error() != NoError ? error() : WriteError);
    close();
    if (failure != NoError) return static_cast<int>(failure);
    return static_cast<int>(error());
}

void CsvFile::clear() {
    rows_.clear();
    columnCount_ = 0;
}

int CsvFile::cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= rows_[row].size()) return 0;
    return rows_[row][column];
}

void CsvFile::setCell(int row, int column, int value) {
    if (row < 0 || row > kMaxIndex || column < 0 || column > kMaxIndex) return;
    while (rowCount() <= row) rows_.append(QVector<int32_t>());
    QVector<int32_t>& cells = rows_[row];
    while (cells.size() <= column) cells.append(0);
    cells[column] = value;
    if (columnCount_ < column + 1) columnCount_ = column + 1;
}
