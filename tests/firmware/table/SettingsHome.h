#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <string>

#include "firmware/files/FilesTestSupport.h"

namespace fwtest {

// The user's configuration folder, a temporary one for the whole process:
// Qt reads it once, at the first settings object.
inline const std::string& configHome() {
    static TempDir home;
    static const bool set = qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.path()));
    (void)set;
    return home.path();
}

}  // namespace fwtest
