#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QWizard>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ConfigurationPage.h"
#include "PerformUpdatePage.h"
#include "ScriptedDialogs.h"
#include "TableModel.h"
#include "UpdateOutcome.h"
#include "UpdateResultPage.h"
#include "firmware/wizard/WizardTestSupport.h"

namespace pagestest {

using updatetest::module;
using updatetest::recipe;
using wizardtest::State;
using wizardtest::Way;

constexpr uint8_t kLine1 = 0x09;

// Stands in for the connect page: the table page follows it, and it holds
// the field that asks to keep the configuration when a test registers it.
class StartPage : public QMXWizardPage {
public:
    explicit StartPage(bool withPreserveField) {
        preserve_.setParent(this);
        preserve_.hide();
        if (withPreserveField) registerField(QStringLiteral("preserveConfig"), &preserve_);
    }
    void setPreserve(bool preserve) { preserve_.setChecked(preserve); }

private:
    QCheckBox preserve_;
};

// A wizard of the start page and the last three pages of the uploader over
// a simulated system; the boxes are answered by the test's script.
class PagesTest : public wizardtest::WizardTest {
protected:
    void TearDown() override {
        wizard.reset();
        updateOutcome = {};
        WizardTest::TearDown();
    }

    // A simulated system of `modules` in its bootloader, connected, with
    // the update configuration of `files`.
    void bringUp(std::vector<vxsim::BootModule> modules,
                 const std::vector<std::pair<std::string, vxsim::BootImageRecipe>>& files,
                 State state = State::Bootloader) {
        ASSERT_EQ(connect(Way::Tcp, state, std::move(modules)), "");
        thread.setSystem(update.get());
        ASSERT_EQ(configure(files), "");
    }

    // The wizard, shown on its start page.
    void buildWizard(bool withPreserveField = false) {
        wizard = std::make_unique<QWizard>();
        start = new StartPage(withPreserveField);
        table = new ConfigurationPage;
        perform = new PerformUpdatePage;
        result = new UpdateResultPage;
        for (QMXWizardPage* page : {static_cast<QMXWizardPage*>(start), static_cast<QMXWizardPage*>(table),
                                    static_cast<QMXWizardPage*>(perform), static_cast<QMXWizardPage*>(result)}) {
            wizard->addPage(page);
            page->setSystem(update.get());
            page->setThread(&thread);
        }
        wizard->show();
    }
    // Built and moved on to the controller table.
    void openTable(bool withPreserveField = false) {
        buildWizard(withPreserveField);
        wizard->next();
        ASSERT_EQ(wizard->currentPage(), table);
    }
    // From the table, "&Start" answered and the update run to its end; the
    // boxes that follow answered with `later`.
    void runUpdate(std::initializer_list<int> later = {}) {
        dialogs.answerBox(0);
        for (int answer : later) dialogs.answerBox(answer);
        wizard->next();
        ASSERT_EQ(wizard->currentPage(), perform);
        ASSERT_TRUE(wizardtest::waitFor([&] { return perform->isComplete(); }, std::chrono::seconds(60)));
    }

    template <typename T>
    T* child(QWidget* page, const char* name) const {
        T* widget = page->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QTableView* view() const { return table->tableView(); }
    QModelIndex cell(int row, int column) const { return table->model()->index(row, column); }
    Qt::CheckState mark(int row) const {
        return static_cast<Qt::CheckState>(cell(row, TableModel::kUpdate).data(Qt::CheckStateRole).toInt());
    }
    QAbstractButton* startButton() const { return wizard->button(QWizard::CommitButton); }

    // Clicks the check box of `row`'s mark, with Control held when `control`.
    void clickMark(int row, bool control = false) {
        const QModelIndex index = cell(row, TableModel::kUpdate);
        QStyleOptionViewItem option;
        option.initFrom(view());
        option.rect = view()->visualRect(index);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = view()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view());
        if (control) QTest::keyPress(view(), Qt::Key_Control);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, control ? Qt::ControlModifier : Qt::NoModifier,
                          box.center());
        if (control) QTest::keyRelease(view(), Qt::Key_Control);
    }

    // The host's command frames with `command` since the last clear.
    size_t commandsSent(uint8_t command) const {
        size_t count = 0;
        for (const vxsim::Bytes& frame : sim->bootloader().hostFrames())
            if (frame.size() == 5 && frame.back() == command) ++count;
        return count;
    }

    vxgui::ScriptedDialogs dialogs;
    std::unique_ptr<QWizard> wizard;
    StartPage* start = nullptr;
    ConfigurationPage* table = nullptr;
    PerformUpdatePage* perform = nullptr;
    UpdateResultPage* result = nullptr;
};

}  // namespace pagestest
