#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstddef>
#include <string>

#include "BoundedFile.h"

namespace vxfile {

// readWholeFile for the Qt programs: a Qt file name, the bytes as Qt keeps them.
inline FileRead readWholeFile(const QString& path, QByteArray& bytes, size_t limit) {
    std::string read;
    const FileRead result = readWholeFile(QFile::encodeName(path).toStdString(), read, limit);
    bytes = QByteArray::fromStdString(read);
    return result;
}

}  // namespace vxfile
