#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QMXConnection;
class XmlConfigFile;
namespace Ui {
class QMXConfigurationClass;
}

// The "Index Map" tab: which physical channel each channel index names.
// Edits keep the map a permutation: choosing a channel another row holds
// swaps the two rows.
class IndexMapConfig : public QObject {
    Q_OBJECT

public:
    static constexpr uint32_t kMaxChannels = 64;
    // The controller library's version, packed as major in bits 31-24, minor
    // in 23-16 and build in 15-0. Tests replace it to try older libraries.
    static std::function<uint32_t()> libraryVersion;

    IndexMapConfig(QObject* parent, Ui::QMXConfigurationClass* form);

    void readFromController(QMXConnection* connection);
    // Only when modified; stops at the first refusal, keeps the mark and
    // returns false (its box has been shown).
    bool writeToController(QMXConnection* connection);
    void clear();
    bool isModified() const { return modified_; }
    // Empty on success; a map that is no permutation of the channels is
    // refused with the text to show and the page keeps its map.
    QString readXML(const XmlConfigFile& store);
    void writeXML(XmlConfigFile& store) const;

    uint32_t channelCount() const { return count_; }
    uint32_t entry(uint32_t index) const { return map_.at(index); }

signals:
    void indexMapModified();

private slots:
    void indexMapTableCellChanged(int row, int column);
    void comboBoxValueChanged(int value);

private:
    void updateTable();
    void setIdentity();
    void setModified(bool modified);
    void markEdited();

    Ui::QMXConfigurationClass* form_;
    uint32_t count_ = 0;
    std::array<uint32_t, kMaxChannels> map_{};
    bool modified_ = false;
    bool updating_ = false;
    bool busy_ = false;
};
