#include "SystemParametersConfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSpinBox>
#include <QTableWidget>

#include <algorithm>
#include <utility>

#include "QMXControl.h"
#include "Dialogs.h"
#include "PageMessages.h"
#include "QMXConnection.h"
#include "SystemParameter.h"
#include "XmlConfigFile.h"
#include "ui_QMXConfiguration.h"

namespace {

const QString kTitle = QStringLiteral("System Parameters");
const QString kSetupResource = QStringLiteral(":/qmxconfiguration/setup/SystemParametersSetup.xml");
const QString kSetupType = QStringLiteral("QMXConfigurationSetup");
const QString kCheckBoxName = QStringLiteral("checkbox");
constexpr int kGlobalColumn = 0;
constexpr int kSeparateColumn = 1;
constexpr int kFirstChannelColumn = 2;
constexpr uint32_t kPositioner = 0;
constexpr int32_t kDistanceCodeInverted = 5;
constexpr int kLayoutSpacing = 6;
constexpr int kLayoutMargin = 9;

bool isTuning(const QDomElement& element) {
    return element.attribute(QStringLiteral("mode")) == QLatin1String("tuning");
}

SystemParameter::PropertyKey keyOf(const QDomElement& element) {
    return {element.attribute(QStringLiteral("component")).toUInt(),
            element.attribute(QStringLiteral("subcomponent")).toUInt(),
            element.attribute(QStringLiteral("property")).toUInt()};
}

void warn(const QString& text) {
    vxgui::MessageBoxRequest box;
    box.icon = QMessageBox::Warning;
    box.title = QStringLiteral("Warning");
    box.text = text;
    box.buttons = QStringList{QStringLiteral("Ok")};
    vxgui::dialogs().messageBox(box);
}

}  // namespace

// Resources of a static library are registered by name, outside any
// namespace.
static void initSetupResource() { Q_INIT_RESOURCE(SystemParametersSetup); }

SystemParametersConfig::SystemParametersConfig(QObject* parent, Ui::QMXConfigurationClass* form,
                                               QMXConnection* connection)
    : QObject(parent), form_(form), connection_(connection),
      layout_(new QHBoxLayout(form->systemParametersTab)) {
    initSetupResource();
    layout_->setSpacing(kLayoutSpacing);
    layout_->setContentsMargins(kLayoutMargin, kLayoutMargin, kLayoutMargin, kLayoutMargin);
}

SystemParametersConfig::~SystemParametersConfig() { qDeleteAll(parameters_); }

bool SystemParametersConfig::parseSetup(QDomDocument* setup) const {
    QFile file(kSetupResource);
    return file.open(QIODevice::ReadOnly) && setup->setContent(&file, true) &&
           setup->doctype().name() == kSetupType;
}

void SystemParametersConfig::setTabText() {
    const int tab = form_->tabWidget->indexOf(form_->systemParametersTab);
    form_->tabWidget->setTabText(tab, configpages::tabTitle(kTitle, modified_));
}

void SystemParametersConfig::setModified(bool modified) {
    if (modified_ != modified) {
        modified_ = modified;
        setTabText();
    }
    if (modified) emit systemParametersModified();
}

void SystemParametersConfig::systemParameterModified() {
    if (!modified_) {
        modified_ = true;
        setTabText();
    }
    emit systemParametersModified();
}

void SystemParametersConfig::clear(bool clearChannels) {
    if (building_) {
        clearPending_ = true;
        clearChannelsPending_ = clearChannelsPending_ || clearChannels;
        return;
    }
    clearNow(clearChannels);
}

void SystemParametersConfig::clearNow(bool clearChannels) {
    delete table_;
    table_ = nullptr;
    if (clearChannels) listedChannels_.clear();
    if (modified_) {
        modified_ = false;
        setTabText();
    }
    qDeleteAll(parameters_);
    parameters_.clear();
}

uint32_t SystemParametersConfig::readChannel(const SystemParameter& row, uint32_t channel,
                                             int32_t* value) {
    if (row.mode() == SystemParameter::Tuning) {
        uint32_t read = 0;
        const uint32_t status =
            connection_->readTuningParameter(channel, static_cast<uint32_t>(row.type()), &read);
        *value = static_cast<int32_t>(read);
        return status;
    }
    const SystemParameter::PropertyKey key = row.propertyKey();
    return connection_->getChannelProperty(channel, key.component, key.subcomponent,
                                           key.property, value);
}

uint32_t SystemParametersConfig::writeChannel(const SystemParameter& row, uint32_t channel,
                                              int32_t value) {
    if (row.mode() == SystemParameter::Tuning)
        return connection_->writeTuningParameter(channel, static_cast<uint32_t>(row.type()),
                                                 value);
    const SystemParameter::PropertyKey key = row.propertyKey();
    return connection_->setChannelProperty(channel, key.component, key.subcomponent,
                                           key.property, value);
}

bool SystemParametersConfig::probe(const QDomElement& element) {
    // Channel 0 decides for the whole system, listed or not.
    int32_t dropped = 0;
    if (!isTuning(element) &&
        element.attribute(QStringLiteral("mode")) == QLatin1String("property")) {
        const SystemParameter::PropertyKey key = keyOf(element);
        return connection_->getChannelProperty(0, key.component, key.subcomponent, key.property,
                                               &dropped) == VX_OK;
    }
    uint32_t value = 0;
    return connection_->readTuningParameter(
               0, static_cast<uint32_t>(element.attribute(QStringLiteral("type")).toInt()),
               &value) == VX_OK;
}

void SystemParametersConfig::readFromSystem() {
    if (building_) return;
    clearNow(true);
    uint32_t count = 0;
    if (const uint32_t status = connection_->getNumberOfChannels(&count)) {
        configpages::showError(tr("Error reading number of channels. Code: %1"), status);
        return;
    }
    for (uint32_t channel = 0; channel < count; ++channel) {
        uint32_t type = 0;
        // A channel whose type cannot be read is listed.
        if (connection_->getChannelType(channel, &type) != VX_OK || type == kPositioner)
            listedChannels_.append(channel);
    }
    if (listedChannels_.isEmpty()) return;

    table_ = new QTableWidget(0, kFirstChannelColumn + listedChannels_.size(),
                              form_->systemParametersTab);
    QStringList headers{QStringLiteral("Global Value"), QStringLiteral("Separate\nValues")};
    for (const uint32_t channel : listedChannels_) headers << tr("Channel %1").arg(channel);
    table_->setHorizontalHeaderLabels(headers);

    QDomDocument setup;
    if (!parseSetup(&setup)) {
        configpages::showError(tr("Internal error"));
        return;
    }
    building_ = true;
    for (QDomElement element = setup.documentElement().firstChildElement(QStringLiteral("Parameter"));
         !element.isNull(); element = element.nextSiblingElement(QStringLiteral("Parameter"))) {
        if (!probe(element)) continue;
        buildRow(element);
        // Keep the window live during a long read; user input waits, as a
        // click on Read or Disconnect would take the table away here.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (clearPending_) break;
    }
    building_ = false;
    if (clearPending_) {
        clearPending_ = false;
        clearNow(std::exchange(clearChannelsPending_, false));
        return;
    }
    table_->resizeColumnsToContents();
    table_->resizeRowsToContents();
    layout_->addWidget(table_);
    for (SystemParameter* row : parameters_) row->setNotifyModified(true);
}

void SystemParametersConfig::buildRow(const QDomElement& element) {
    const QString rawName = element.attribute(QStringLiteral("name"));
    auto* row = new SystemParameter(QString(rawName).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    parameters_.append(row);
    connect(row, &SystemParameter::systemParameterModified, this,
            &SystemParametersConfig::systemParameterModified);
    if (isTuning(element)) {
        row->setMode(SystemParameter::Tuning);
        row->setType(element.attribute(QStringLiteral("type")).toInt());
    } else {
        row->setMode(SystemParameter::Property);
        row->setPropertyKey(keyOf(element));
    }
    const QString global = element.attribute(QStringLiteral("global"));
    row->setGlobal(global == QLatin1String("true"));

    auto* container = new QWidget;
    auto* box = new QCheckBox(container);
    box->setObjectName(kCheckBoxName);
    box->setEnabled(global == QLatin1String("false"));
    row->setSeparateValuesBox(box);

    const QDomElement names = element.firstChildElement(QStringLiteral("ValueNames"));
    const int channels = listedChannels_.size();
    if (names.isNull()) {
        const int minimum = element.attribute(QStringLiteral("minValue")).toInt();
        const int maximum = element.attribute(QStringLiteral("maxValue")).toInt();
        const auto spinBox = [&] {
            auto* spin = new QSpinBox;
            spin->setRange(minimum, maximum);
            return spin;
        };
        row->setGlobalSpinBox(spinBox());
        for (int i = 0; i < channels; ++i) row->addChannelSpinBox(spinBox());
    } else {
        QStringList items;
        for (QDomElement name = names.firstChildElement(QStringLiteral("ValueName"));
             !name.isNull(); name = name.nextSiblingElement(QStringLiteral("ValueName")))
            items << name.attribute(QStringLiteral("name"));
        const auto comboBox = [&] {
            auto* combo = new QComboBox;
            combo->addItems(items);
            return combo;
        };
        row->setGlobalComboBox(comboBox());
        for (int i = 0; i < channels; ++i) row->addChannelComboBox(comboBox());
    }

    const int tableRow = table_->rowCount();
    table_->insertRow(tableRow);
    table_->setVerticalHeaderItem(tableRow, new QTableWidgetItem(rawName));
    auto* layout = new QHBoxLayout(container);
    layout->setSpacing(0);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addStretch();
    layout->addWidget(box);
    layout->addStretch();
    table_->setCellWidget(tableRow, kSeparateColumn, container);
    table_->setCellWidget(tableRow, kGlobalColumn, row->globalWidget());
    for (int i = 0; i < channels; ++i)
        table_->setCellWidget(tableRow, kFirstChannelColumn + i, row->channelWidget(i));

    // A channel that does not answer shows the parameter's default, so that
    // a later write sends a defined value.
    const int32_t fallback = element.attribute(QStringLiteral("value")).toInt();
    int32_t reference = fallback;
    bool allSame = true;
    for (int i = 0; i < channels; ++i) {
        int32_t value = 0;
        if (readChannel(*row, listedChannels_[i], &value) != VX_OK) value = fallback;
        row->setChannelValue(i, value);
        if (i == 0)
            reference = value;
        else if (value != reference)
            allSame = false;
    }
    row->setValue(reference);
    row->separateValuesBox()->setChecked(!allSame);
    row->updateSeparateValues();
}

bool SystemParametersConfig::writeToSystem() {
    for (const SystemParameter* row : parameters_) {
        for (int i = 0; i < listedChannels_.size(); ++i) {
            const uint32_t status = writeChannel(*row, listedChannels_[i], row->effectiveValue(i));
            if (status != VX_OK) {
                configpages::showError(tr("Error writing system parameter. Code: %1"), status);
                return false;
            }
        }
    }
    if (modified_) {
        modified_ = false;
        setTabText();
    }
    return true;
}

QString SystemParametersConfig::pathPrefix(const SystemParameter& row) const {
    if (row.mode() == SystemParameter::Tuning) return QStringLiteral("T_%1").arg(row.type());
    const SystemParameter::PropertyKey key = row.propertyKey();
    return QStringLiteral("P_%1_%2_%3").arg(key.component).arg(key.subcomponent).arg(key.property);
}

void SystemParametersConfig::writeToXml(XmlConfigFile& store) {
    for (const SystemParameter* row : parameters_) {
        const QString prefix = pathPrefix(*row);
        store.setValue(prefix + QStringLiteral(":name"), row->name());
        // What the controller would get, so that a value set only in the
        // global column survives a save and a reload.
        for (int i = 0; i < row->channelCount(); ++i)
            store.setValue(prefix + QStringLiteral("/Channel[%1]:value").arg(i),
                           QString::number(row->effectiveValue(i)));
    }
    for (int i = 0; i < listedChannels_.size(); ++i) {
        uint32_t type = 0;
        if (const uint32_t status = connection_->getSensorType(listedChannels_[i], &type)) {
            configpages::showError(tr("Error reading sensor type. Code: %1"), status);
            return;
        }
        store.setValue(QStringLiteral("SensorTypes/Channel[%1]:sensor").arg(i),
                       QString::number(type));
    }
}

QString SystemParametersConfig::readFromXml(const XmlConfigFile& store) {
    QDomDocument setup;
    if (!parseSetup(&setup)) return tr("Internal error");
    const int columns = table_ ? table_->columnCount() : 0;
    for (QDomElement element = setup.documentElement().firstChildElement(QStringLiteral("Parameter"));
         !element.isNull(); element = element.nextSiblingElement(QStringLiteral("Parameter"))) {
        const QString name = element.attribute(QStringLiteral("name"));
        const QString prefix =
            element.attribute(QStringLiteral("mode")) == QLatin1String("property")
                ? QStringLiteral("P_%1_%2_%3")
                      .arg(element.attribute(QStringLiteral("component")),
                           element.attribute(QStringLiteral("subcomponent")),
                           element.attribute(QStringLiteral("property")))
                : QStringLiteral("T_") + element.attribute(QStringLiteral("type"));
        for (int tableRow = 0; table_ && tableRow < table_->rowCount(); ++tableRow) {
            const QTableWidgetItem* header = table_->verticalHeaderItem(tableRow);
            if (!header || header->text() != name || columns <= kFirstChannelColumn) continue;
            SystemParameter* row = parameters_.value(tableRow);
            if (!row) continue;
            for (int column = kFirstChannelColumn; column < columns; ++column) {
                const int position = column - kFirstChannelColumn;
                const QWidget* widget = table_->cellWidget(tableRow, column);
                const QString kind = widget ? widget->accessibleDescription() : QString();
                if (kind != SystemParameter::kSpinBox && kind != SystemParameter::kComboBox)
                    continue;
                const QString text =
                    store.value(prefix + QStringLiteral("/Channel[%1]:value").arg(position));
                if (!text.isEmpty() && text.toInt() != row->channelValue(position))
                    row->setChannelValue(position, text.toInt());
            }
            QList<int> values;
            for (int i = 0; i < row->channelCount(); ++i) values << row->channelValue(i);
            const bool allSame =
                std::all_of(values.begin(), values.end(), [&](int v) { return v == values.first(); });
            QCheckBox* box = table_->cellWidget(tableRow, kSeparateColumn)
                                 ->findChild<QCheckBox*>(kCheckBoxName);
            box->setChecked(!allSame);
            if (allSame && !values.isEmpty()) row->setValue(values.first());
        }
    }

    const QString title = QStringLiteral("Changing Sensortypes...");
    const int answer = vxgui::question(
        nullptr, title,
        tr("Sensortypes for all channels will be overwritten.\nThis will take effect "
           "immediately. continue?"),
        {QStringLiteral("Apply"), QStringLiteral("Discard")}, 0);
    if (answer == 0) {
        for (int i = 0; i < listedChannels_.size(); ++i) {
            const uint32_t channel = listedChannels_[i];
            bool isNumber = false;
            const uint32_t type =
                store.value(QStringLiteral("SensorTypes/Channel[%1]:sensor").arg(i))
                    .toUInt(&isNumber, 10);
            // A text that is no number names no sensor type.
            if (!isNumber) {
                warn(tr("No sensortype defined for channel %1 in XML-File!").arg(channel));
                continue;
            }
            if (const uint32_t status = connection_->setSensorType(channel, type))
                return tr("Error setting sensor type. Code: %1").arg(status);
        }
    } else if (answer == 1) {
        warn(tr("Sensortypes from XML-File were not written.\nSaving the system parameters "
                "from XML-File can lead to unexpected behaviour!"));
    }
    return {};
}

void SystemParametersConfig::updateInversion(uint channel, uint parameterValue) {
    const bool wasModified = modified_;
    for (SystemParameter* row : parameters_) {
        if (row->mode() != SystemParameter::Tuning || row->type() != kDistanceCodeInverted)
            continue;
        row->setNotifyModified(false);
        int reference = 0;
        bool allSame = true;
        for (int i = 0; i < listedChannels_.size(); ++i) {
            const int value = listedChannels_[i] == channel ? static_cast<int>(parameterValue)
                                                            : row->channelValue(i);
            row->setChannelValue(i, value);
            if (i == 0)
                reference = value;
            else if (value != reference)
                allSame = false;
        }
        row->setValue(reference);
        row->separateValuesBox()->setChecked(!allSame);
        row->updateSeparateValues();
        row->setNotifyModified(true);
    }
    setModified(wasModified);
}
