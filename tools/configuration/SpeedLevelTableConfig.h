#pragma once

#include <QObject>

#include <array>
#include <cstdint>

class QAction;
class QMXConnection;
namespace Ui {
class QMXConfigurationClass;
}

// One step-move setting of the speed level table.
struct SpeedLevelEntry {
    int32_t steps;
    int32_t amplitude;
    int32_t frequency;
};

// The "Speed Level Table" tab: the controller's table of at most 32 entries,
// read, edited with range checks, written back, imported from and exported
// to CSV files.
class SpeedLevelTableConfig : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxEntries = 32;

    SpeedLevelTableConfig(QObject* parent, Ui::QMXConfigurationClass* form,
                          QMXConnection* connection);

    // Both use the connection given at construction (the window passes the
    // same one).
    void readFromController(QMXConnection* connection);
    // Only when modified. False when a write failed (its box has been
    // shown).
    bool writeToController(QMXConnection* connection);
    // At Disconnect: empty table, table page shown, buttons disabled, mark
    // cleared; the entries stay until the next read.
    void clear();
    bool isModified() const { return modified_; }

signals:
    void speedLevelTableModified();

private slots:
    void speedLevelTable_cellClicked(int row, int column);
    void speedLevelTable_cellChanged(int row, int column);
    void insertRowBefore();
    void insertRowAfter();
    void removeThisRow();
    void importSLTButton_clicked();
    void exportSLTButton_clicked();

private:
    void setModified(bool modified);
    void updateTable();
    void insertAt(int row);
    void changedByUser();
    void setActionsEnabled(bool enabled);

    Ui::QMXConfigurationClass* form_;
    QMXConnection* connection_;
    int count_ = 0;
    std::array<SpeedLevelEntry, kMaxEntries> entries_{};
    int currentRow_ = 0;
    int currentColumn_ = 0;
    QAction* insertBeforeAction_;
    QAction* insertAfterAction_;
    QAction* removeAction_;
    bool modified_ = false;
    bool updating_ = false;
};
