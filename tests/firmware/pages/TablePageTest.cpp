#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>

#include "PagesTestSupport.h"

namespace {

using pagestest::kLine1;
using pagestest::module;
using pagestest::PagesTest;
using pagestest::recipe;

// Two modules of kind 2 whose only files are older, so nothing is marked
// at first, and one of kind 6 without any file.
class TablePageTest : public PagesTest {
protected:
    void SetUp() override {
        PagesTest::SetUp();
        bringUp({module(0x2001, 3), module(0x2002, 3), module(0x6001, 1)},
                {{"old.fw6", recipe(2, 3, kLine1, 2)}, {"older.fw6", recipe(2, 3, kLine1, 1)}});
    }
};

TEST_F(TablePageTest, FormAndTable) {
    openTable();
    EXPECT_EQ(table->title(), "Configure Update");
    EXPECT_EQ(table->subTitle(), "Please select the controllers that you wish to update.");
    EXPECT_TRUE(table->isCommitPage());
    EXPECT_EQ(startButton()->text(), "Start");
    EXPECT_EQ(child<QLabel>(table, "label")->text(),
              "In most cases there is no need to change the default settings.\n"
              "Clicking 'Start' will start the update process.");
    QTableView* v = view();
    EXPECT_EQ(v->objectName(), "controllerTableView");
    EXPECT_EQ(v->minimumWidth(), 430);
    EXPECT_EQ(v->editTriggers(), QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
                                     QAbstractItemView::EditKeyPressed);
    EXPECT_EQ(v->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(v->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_FALSE(v->verticalHeader()->isVisible());
    EXPECT_FALSE(v->horizontalHeader()->highlightSections());
    EXPECT_FALSE(v->horizontalHeader()->sectionsClickable());
    EXPECT_EQ(v->horizontalHeader()->sectionResizeMode(TableModel::kUpdate), QHeaderView::Fixed);
    EXPECT_EQ(v->columnWidth(TableModel::kUpdate), 50);
    for (int column = TableModel::kName; column < TableModel::kUpdate; ++column)
        EXPECT_EQ(v->horizontalHeader()->sectionResizeMode(column), QHeaderView::Stretch);
    ASSERT_EQ(v->model(), table->model());
    ASSERT_EQ(table->model()->rowCount(), 3);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(v->rowHeight(row), 18);
    EXPECT_EQ(cell(0, TableModel::kAvailable).data().toString(), "(1) 1.2.17   [...]");
    EXPECT_EQ(cell(2, TableModel::kAvailable).data().toString(), "none");
}

TEST_F(TablePageTest, ControlMarksTheWholeKindAndStartFollowsTheMarks) {
    openTable();
    EXPECT_FALSE(startButton()->isEnabled()) << "nothing marked";

    clickMark(1, true);
    EXPECT_EQ(mark(0), Qt::Checked);
    EXPECT_EQ(mark(1), Qt::Checked);
    EXPECT_EQ(mark(2), Qt::Unchecked);
    EXPECT_TRUE(startButton()->isEnabled());
    EXPECT_FALSE(table->model()->applyToType()) << "Control released";

    clickMark(0);
    EXPECT_EQ(mark(0), Qt::Unchecked);
    EXPECT_EQ(mark(1), Qt::Checked) << "without Control one controller";
    EXPECT_TRUE(startButton()->isEnabled());
    clickMark(1);
    EXPECT_EQ(mark(1), Qt::Unchecked);
    EXPECT_FALSE(startButton()->isEnabled()) << "the last mark gone";

    // Without a chosen firmware a single mark is refused.
    ASSERT_EQ(update->selectFirmware(1, -1), "");
    clickMark(1);
    EXPECT_EQ(mark(1), Qt::Unchecked);
    EXPECT_FALSE(startButton()->isEnabled());
    // A controller without candidates has no box to click.
    clickMark(2, true);
    EXPECT_EQ(mark(2), Qt::Unchecked);
    EXPECT_FALSE(startButton()->isEnabled());
}

TEST_F(TablePageTest, CurrentCellOpensTheCandidateEditor) {
    openTable();
    view()->setFocus();
    view()->setCurrentIndex(cell(0, TableModel::kAvailable));
    auto* editor = qobject_cast<QComboBox*>(view()->indexWidget(cell(0, TableModel::kAvailable)));
    ASSERT_NE(editor, nullptr) << "the current cell opens the editor";
    ASSERT_EQ(editor->count(), 2);
    EXPECT_EQ(editor->itemText(0), "(1) 1.2.17");
    EXPECT_EQ(editor->itemText(1), "(1) 1.1.17");
    EXPECT_EQ(editor->currentIndex(), 0);
    editor->setCurrentIndex(1);
    // Leaving the cell commits the choice.
    view()->setCurrentIndex(cell(1, TableModel::kName));
    int32_t selected = -1;
    EXPECT_EQ(update->getSelectedFirmware(0, selected), "");
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(cell(0, TableModel::kAvailable).data().toString(), "(1) 1.1.17   [...]");

    // No editor where there is no choice.
    view()->setCurrentIndex(cell(2, TableModel::kAvailable));
    EXPECT_EQ(view()->indexWidget(cell(2, TableModel::kAvailable)), nullptr);
}

TEST_F(TablePageTest, OnlyStartCommits) {
    openTable();
    clickMark(0, true);
    ASSERT_TRUE(startButton()->isEnabled());
    sim->bootloader().clearHostFrames();
    for (int answer : {1, -1}) {
        dialogs.answerBox(answer);
        wizard->next();
        EXPECT_EQ(wizard->currentPage(), table) << answer;
    }
    ASSERT_EQ(dialogs.boxes().size(), 2u);
    const vxgui::MessageBoxRequest& box = dialogs.boxes()[0];
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.parent, nullptr);
    EXPECT_EQ(box.title, "Start firmware update");
    EXPECT_EQ(box.text,
              "WARNING: The firmware update process must NOT be interrupted!\n"
              "Events like power loss or cable disconnect might damage the device.\n"
              "The update may take several minutes.\n\n"
              "Do you want to start the firmware update now?");
    EXPECT_EQ(box.buttons, (QStringList{"&Start", "&Abort"}));
    EXPECT_EQ(box.defaultButton, 1);
    EXPECT_EQ(box.escapeButton, -1);
    EXPECT_TRUE(sim->bootloader().hostFrames().empty()) << "no update started";
}

TEST_F(TablePageTest, BackDisconnectsAndEnteringAgainRebuilds) {
    openTable();
    const TableModel* first = table->model();
    wizard->back();
    EXPECT_EQ(wizard->currentPage(), start);
    EXPECT_EQ(update->getState(), 0) << "disconnected";
    EXPECT_EQ(table->model(), nullptr);

    // Connected anew, with another configuration: one newer file for kind 2.
    ASSERT_EQ(update->connect(), "");
    ASSERT_EQ(configure({{"new.fw6", recipe(2, 3, kLine1, 5)}}), "");
    wizard->next();
    ASSERT_NE(table->model(), nullptr);
    EXPECT_NE(table->model(), first);
    EXPECT_EQ(view()->model(), table->model());
    EXPECT_EQ(cell(0, TableModel::kAvailable).data().toString(), "(1) 1.5.17");
    EXPECT_EQ(mark(0), Qt::Checked);
    EXPECT_TRUE(startButton()->isEnabled());
}

}  // namespace
