#pragma once

#include <QFileInfo>

#include <optional>

#include "TerminalConfiguration.h"

// A terminal configuration document (type TextdeskConfiguration, version
// "1.0") at one path. Failures are shown in the error box; after one,
// nothing has changed.
class ConfigurationFile {
public:
    explicit ConfigurationFile(const QFileInfo& file) : file_(file) {}

    // Writes `configuration`; an old file stays whole until the new one is.
    bool saveConfiguration(const TerminalConfiguration& configuration) const;
    // The buttons and inputs of the file; also takes the older document
    // type QMXrs232TestConfiguration.
    std::optional<TerminalConfiguration> loadConfiguration() const;

private:
    QFileInfo file_;
};
