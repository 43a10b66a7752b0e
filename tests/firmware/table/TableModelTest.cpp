#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "FirmwareDelegate.h"
#include "TableModel.h"
#include "firmware/update/UpdateTestSupport.h"

namespace {

using updatetest::module;
using updatetest::recipe;
using updatetest::State;
using updatetest::Way;

constexpr uint8_t kLine1 = 0x09;
const Qt::ItemFlags kStandard = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
const Qt::ItemFlags kCheckable = kStandard | Qt::ItemIsUserCheckable;

struct Row {
    const char* name;
    const char* current;
    const char* available;
    Qt::CheckState update;
    Qt::ItemFlags availableFlags;
    Qt::ItemFlags updateFlags;
};

// Two modules of kind 2 with three candidates, one of kind 3 with one, one
// of kind 6 with none.
class TableModelTest : public updatetest::UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        ASSERT_EQ(connect(Way::Tcp, State::Bootloader,
                          {module(0x2001, 3), module(0x2002, 3), module(0x3001, 3), module(0x6001, 1)}),
                  "");
        ASSERT_EQ(configure({{"a.fw6", recipe(2, 3, kLine1, 2)},
                             {"b.fw6", recipe(2, 3, kLine1, 5)},
                             {"c.fw6", recipe(2, 3, kLine1, 4)},
                             {"d.fw6", recipe(3, 3, kLine1, 4)}}),
                  "");
        model = std::make_unique<TableModel>(*update);
        tester = std::make_unique<QAbstractItemModelTester>(
            model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void TearDown() override {
        tester.reset();
        model.reset();
        UpdateTest::TearDown();
    }

    QModelIndex cell(int row, int column) const { return model->index(row, column); }
    QString text(int row, int column) const { return model->data(cell(row, column)).toString(); }
    Qt::CheckState mark(int row) const {
        return static_cast<Qt::CheckState>(model->data(cell(row, TableModel::kUpdate), Qt::CheckStateRole).toInt());
    }
    std::vector<Qt::CheckState> marks() const {
        std::vector<Qt::CheckState> out;
        for (int row = 0; row < model->rowCount(); ++row) out.push_back(mark(row));
        return out;
    }

    std::unique_ptr<TableModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(TableModelTest, TextsAndFlagsFollowTheCandidates) {
    const Row kRows[] = {
        {"LIN (0x2001)(3)", "(1) 1.3.17", "(1) 1.5.17   [...]", Qt::Checked, kCheckable | Qt::ItemIsEditable, kCheckable},
        {"LIN (0x2002)(3)", "(1) 1.3.17", "(1) 1.5.17   [...]", Qt::Checked, kCheckable | Qt::ItemIsEditable, kCheckable},
        {"ROT (0x3001)(3)", "(1) 1.3.17", "(1) 1.4.17", Qt::Checked, kCheckable, kCheckable},
        {"FRC (0x6001)(1)", "(1) 1.3.17", "none", Qt::Unchecked, kStandard, Qt::NoItemFlags},
    };
    ASSERT_EQ(model->rowCount(), 4);
    EXPECT_EQ(model->columnCount(), 4);
    const char* const headers[] = {"Controller", "Current firmware", "Available firmware", "Update"};
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(model->headerData(column, Qt::Horizontal).toString(), headers[column]);
        EXPECT_FALSE(model->headerData(column, Qt::Vertical).isValid());
        EXPECT_FALSE(model->headerData(column, Qt::Horizontal, Qt::ToolTipRole).isValid());
    }
    for (int row = 0; row < 4; ++row) {
        const Row& r = kRows[row];
        SCOPED_TRACE(r.name);
        EXPECT_EQ(text(row, TableModel::kName), r.name);
        EXPECT_EQ(text(row, TableModel::kCurrent), r.current);
        EXPECT_EQ(text(row, TableModel::kAvailable), r.available);
        EXPECT_FALSE(model->data(cell(row, TableModel::kUpdate)).isValid()) << "no text in the mark column";
        EXPECT_FALSE(model->data(cell(row, TableModel::kAvailable), Qt::CheckStateRole).isValid());
        EXPECT_EQ(mark(row), r.update);
        EXPECT_EQ(model->flags(cell(row, TableModel::kName)), kStandard);
        EXPECT_EQ(model->flags(cell(row, TableModel::kCurrent)), kStandard);
        EXPECT_EQ(model->flags(cell(row, TableModel::kAvailable)), r.availableFlags);
        EXPECT_EQ(model->flags(cell(row, TableModel::kUpdate)), r.updateFlags);
    }
    EXPECT_EQ(model->flags(QModelIndex()), Qt::NoItemFlags);

    // A controller with candidates but none chosen.
    ASSERT_EQ(update->selectFirmware(0, -1), "");
    ASSERT_EQ(update->selectFirmware(2, -1), "");
    EXPECT_EQ(text(0, TableModel::kAvailable), "none   [...]");
    EXPECT_EQ(text(2, TableModel::kAvailable), "none");

    // Outside the bootloader the system answers nothing: an empty table.
    const QModelIndex first = cell(0, TableModel::kName);
    ASSERT_EQ(update->disconnect(), "");
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_FALSE(model->data(first).isValid());
}

TEST_F(TableModelTest, MarksOneOrEveryControllerOfTheKind) {
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy enable(model.get(), &TableModel::enableUpdateChanged);

    EXPECT_TRUE(model->setData(cell(1, TableModel::kUpdate), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(marks(), (std::vector<Qt::CheckState>{Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
    ASSERT_EQ(changed.count(), 4) << "the mark column of every row, one row at a time";
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(changed[row][0].toModelIndex(), cell(row, TableModel::kUpdate));
        EXPECT_EQ(changed[row][1].toModelIndex(), cell(row, TableModel::kUpdate));
    }
    EXPECT_EQ(enable.count(), 1);

    // Without a chosen candidate a single mark is refused and changes nothing.
    changed.clear();
    enable.clear();
    EXPECT_FALSE(model->setData(cell(3, TableModel::kUpdate), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(mark(3), Qt::Unchecked);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(enable.count(), 0);

    // With the kind: both modules of kind 2, and a kind without candidates too.
    model->setApplyToType(true);
    EXPECT_TRUE(model->setData(cell(0, TableModel::kUpdate), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(marks(), (std::vector<Qt::CheckState>{Qt::Unchecked, Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
    EXPECT_TRUE(model->setData(cell(1, TableModel::kUpdate), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(marks(), (std::vector<Qt::CheckState>{Qt::Checked, Qt::Checked, Qt::Checked, Qt::Unchecked}));
    EXPECT_EQ(enable.count(), 2);
    model->setApplyToType(false);

    EXPECT_FALSE(model->setData(cell(0, TableModel::kName), Qt::Checked, Qt::EditRole));
    EXPECT_FALSE(model->setData(QModelIndex(), Qt::Checked, Qt::CheckStateRole));
    const QModelIndex mark0 = cell(0, TableModel::kUpdate);
    ASSERT_EQ(update->disconnect(), "");
    EXPECT_FALSE(model->setData(mark0, Qt::Unchecked, Qt::CheckStateRole));
}

TEST_F(TableModelTest, EditorListsTheCandidatesAndSelects) {
    FirmwareDelegate delegate(*update);
    QWidget parent;
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    const QModelIndex available = cell(0, TableModel::kAvailable);
    std::unique_ptr<QWidget> editor(delegate.createEditor(&parent, QStyleOptionViewItem(), available));
    auto* combo = qobject_cast<QComboBox*>(editor.get());
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), "(1) 1.2.17");
    EXPECT_EQ(combo->itemText(1), "(1) 1.5.17");
    EXPECT_EQ(combo->itemText(2), "(1) 1.4.17");
    EXPECT_EQ(combo->currentIndex(), 1) << "the selected candidate";

    QStyleOptionViewItem option;
    option.rect = QRect(5, 6, 70, 18);
    delegate.updateEditorGeometry(combo, option, available);
    EXPECT_EQ(combo->geometry(), option.rect);

    combo->setCurrentIndex(2);
    delegate.setModelData(combo, model.get(), available);
    int32_t selected = -2;
    EXPECT_EQ(update->getSelectedFirmware(0, selected), "");
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(update->getSelectedFirmware(1, selected), "");
    EXPECT_EQ(selected, 1) << "the other module of the kind keeps its choice";
    EXPECT_EQ(text(0, TableModel::kAvailable), "(1) 1.4.17   [...]");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), available);

    // A candidate the controller does not have is refused.
    EXPECT_FALSE(model->setData(available, 3, Qt::EditRole));
    EXPECT_FALSE(model->setData(cell(0, TableModel::kCurrent), 0, Qt::EditRole));
    EXPECT_EQ(update->getSelectedFirmware(0, selected), "");
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(changed.count(), 1);

    // Without the system's answers the editor stays empty.
    ASSERT_EQ(update->disconnect(), "");
    std::unique_ptr<QWidget> empty(delegate.createEditor(&parent, QStyleOptionViewItem(), available));
    EXPECT_EQ(qobject_cast<QComboBox*>(empty.get())->count(), 0);
}

}  // namespace
