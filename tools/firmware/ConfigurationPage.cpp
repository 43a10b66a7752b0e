#include "ConfigurationPage.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QStringList>

#include "Dialogs.h"
#include "FirmwareDelegate.h"
#include "TableModel.h"
#include "UpdateSystem.h"
#include "ui_ConfigurationPage.h"

namespace {

constexpr int kStartButton = 0;
constexpr int kAbortButton = 1;
constexpr int kUpdateColumnWidth = 50;
constexpr int kRowHeight = 18;

}  // namespace

ConfigurationPage::ConfigurationPage(QWidget* parent)
    : QMXWizardPage(parent), form_(std::make_unique<Ui::ConfigurationPage>()) {
    form_->setupUi(this);
    form_->controllerTableView->installEventFilter(this);
    setTitle(QStringLiteral("Configure Update"));
    setSubTitle(QStringLiteral("Please select the controllers that you wish to update."));
    setCommitPage(true);
    setButtonText(QWizard::CommitButton, QStringLiteral("Start"));
}

ConfigurationPage::~ConfigurationPage() = default;

QTableView* ConfigurationPage::tableView() const { return form_->controllerTableView; }

bool ConfigurationPage::eventFilter(QObject* watched, QEvent* event) {
    if (model_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Control)
        model_->setApplyToType(event->type() == QEvent::KeyPress);
    return QMXWizardPage::eventFilter(watched, event);
}

void ConfigurationPage::showTable(std::unique_ptr<TableModel> model,
                             std::unique_ptr<FirmwareDelegate> delegate) {
    if (model_) disconnect(model_.get(), &TableModel::enableUpdateChanged, this,
                           &ConfigurationPage::completeChanged);
    // The view leaves the old model before it goes, and each model gets a
    // selection model of its own, which the view does not delete.
    QTableView* view = form_->controllerTableView;
    QItemSelectionModel* oldSelection = view->selectionModel();
    view->setItemDelegate(delegate.get());
    view->setModel(model.get());
    delete oldSelection;
    model_ = std::move(model);
    delegate_ = std::move(delegate);
    if (model_) connect(model_.get(), &TableModel::enableUpdateChanged, this,
                        &ConfigurationPage::completeChanged);
}

void ConfigurationPage::initializePage() {
    vxfw::UpdateSystem& system = *updateSystem();
    showTable(std::make_unique<TableModel>(system), std::make_unique<FirmwareDelegate>(system));

    QTableView* view = form_->controllerTableView;
    QHeaderView* header = view->horizontalHeader();
    for (int column = TableModel::kName; column < TableModel::kUpdate; ++column)
        header->setSectionResizeMode(column, QHeaderView::Stretch);
    header->setSectionResizeMode(TableModel::kUpdate, QHeaderView::Fixed);
    header->resizeSection(TableModel::kUpdate, kUpdateColumnWidth);
    header->setSectionsClickable(false);

    const int rows = model_->rowCount();
    if (rows > 0) {
        // Rows lower than the style's default need a lower minimum.
        view->verticalHeader()->setMinimumSectionSize(kRowHeight);
        for (int row = 0; row < rows; ++row) view->setRowHeight(row, kRowHeight);
        view->reset();
    }
}

bool ConfigurationPage::isComplete() const {
    vxfw::UpdateSystem* system = updateSystem();
    int32_t count = 0;
    if (!system || !system->getControllerCount(count).empty()) return false;
    for (int32_t index = 0; index < count; ++index)
        if (system->getUpdateFlag(index)) return true;
    return false;
}

void ConfigurationPage::cleanupPage() {
    // Back returns to the connect page, which connects anew.
    updateSystem()->disconnect();
    showTable(nullptr, nullptr);
}

bool ConfigurationPage::validatePage() {
    const int answer = vxgui::question(
        nullptr, QStringLiteral("Start firmware update"),
        QStringLiteral("WARNING: The firmware update process must NOT be interrupted!\n"
                       "Events like power loss or cable disconnect might damage the device.\n"
                       "The update may take several minutes.\n\n"
                       "Do you want to start the firmware update now?"),
        QStringList{QStringLiteral("&Start"), QStringLiteral("&Abort")}, kAbortButton, -1);
    return answer == kStartButton;
}
