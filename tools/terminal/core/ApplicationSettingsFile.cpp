#include "ApplicationSettingsFile.h"

#include <QDomElement>

#include <cstddef>

#include "TerminalXml.h"

namespace {

using terminalxml::appendElement;
using terminalxml::flag;
using terminalxml::flagText;
using terminalxml::number;

const QString kDocumentType = QStringLiteral("TextdeskApplicationSettings");
const QString kOlderDocumentType = QStringLiteral("QMXrs232TestApplicationSettings");
const QString kFirstVersion = QStringLiteral("1.0");
const QString kVersion = QStringLiteral("2.0");
const QString kWrongVersion = QStringLiteral("Wrong application settings file version!");
const QString kNotOpened =
    QStringLiteral("Could not open application settings file. Set defaults.");
// Eight slot paths, a list of baud rates and two strings: a few KiB.
constexpr size_t kMaxFileBytes = size_t{1} << 20;

const QString kQuickLoadSlotsElement = QStringLiteral("QuickLoadSlots");
const QString kSlot = QStringLiteral("Slot");
const QString kFile = QStringLiteral("file");
const QString kPortConfiguration = QStringLiteral("PortConfiguration");
// Spelt so in every settings file there is.
const QString kConnectionType = QStringLiteral("ConnctionType");
const QString kConnection = QStringLiteral("connection");
const QString kNetworkConnection = QStringLiteral("1");
const QString kSerialOptions = QStringLiteral("SerialOptions");
const QString kBaudRates = QStringLiteral("BaudRates");
const QString kEntry = QStringLiteral("Entry");
const QString kRate = QStringLiteral("rate");
const QString kSendInitialString = QStringLiteral("SendInitialString");
const QString kSendTerminalString = QStringLiteral("SendTerminalString");
const QString kSend = QStringLiteral("send");
const QString kString = QStringLiteral("string");
const QString kComPort = QStringLiteral("ComPort");
const QString kPortIndex = QStringLiteral("portIndex");
const QString kBaudRateIndex = QStringLiteral("baudRateIndex");
const QString kNetworkConfiguration = QStringLiteral("NetworkConfiguration");
const QString kInterface = QStringLiteral("Interface");
const QString kIp = QStringLiteral("ip");
const QString kPort = QStringLiteral("port");

// A send switch and its string; a missing element clears both.
void readSendString(const QDomElement& options, const QString& name, bool& send,
                    QString& string) {
    const QDomElement element = options.firstChildElement(name);
    send = flag(element, kSend);
    string = element.attribute(kString);
}

void writeSendString(QDomElement& options, const QString& name, bool send,
                     const QString& string) {
    QDomElement element = appendElement(options, name);
    element.setAttribute(kSend, flagText(send));
    element.setAttribute(kString, string);
}

void readSettings(const QDomElement& root, bool withPortConfiguration,
                  ApplicationSettingsData& settings) {
    QDomElement slot = root.firstChildElement(kQuickLoadSlotsElement).firstChildElement(kSlot);
    for (QString& file : settings.slotFiles) {
        file = slot.attribute(kFile);
        slot = slot.nextSiblingElement(kSlot);
    }

    const QDomElement options = root.firstChildElement(kSerialOptions);
    const QDomElement rates = options.firstChildElement(kBaudRates);
    if (!rates.isNull()) {
        settings.baudRates.clear();
        for (QDomElement entry = rates.firstChildElement(kEntry); !entry.isNull();
             entry = entry.nextSiblingElement(kEntry)) {
            settings.baudRates.append(entry.attribute(kRate));
        }
    }
    readSendString(options, kSendInitialString, settings.sendInitialString,
                   settings.initialString);
    readSendString(options, kSendTerminalString, settings.sendTerminalString,
                   settings.terminalString);
    const QDomElement comPort = options.firstChildElement(kComPort);
    settings.comPort = number(comPort, kPortIndex);
    settings.baudRateIndex = number(comPort, kBaudRateIndex);

    if (!withPortConfiguration) return;
    const QString connection = root.firstChildElement(kPortConfiguration)
                                   .firstChildElement(kConnectionType)
                                   .attribute(kConnection);
    settings.connectionType =
        connection == kNetworkConnection ? NetworkConnection : SerialConnection;
    const QDomElement network =
        root.firstChildElement(kNetworkConfiguration).firstChildElement(kInterface);
    settings.networkIp = network.attribute(kIp);
    settings.networkPort = number(network, kPort);
}

}  // namespace

ApplicationSettingsFile::LoadResult ApplicationSettingsFile::loadApplicationSettings(
    ApplicationSettingsData& settings) const {
    bool opened = false;
    const auto document = terminalxml::readDocument(path_, {kDocumentType, kOlderDocumentType},
                                                    kMaxFileBytes, opened);
    if (!opened) return {false, kNotOpened};
    if (!document) return {};
    const QDomElement root = document->documentElement();
    const QString version = root.attribute(terminalxml::kVersionAttribute);
    if (version != kFirstVersion && version != kVersion) {
        terminalxml::showError(kWrongVersion);
        return {};
    }
    ApplicationSettingsData read = settings;
    readSettings(root, version == kVersion, read);
    settings = read;
    return {true, QString()};
}

bool ApplicationSettingsFile::saveApplicationSettings(
    const ApplicationSettingsData& settings) const {
    QDomDocument document = terminalxml::newDocument(kDocumentType, kVersion);
    QDomElement root = document.documentElement();

    QDomElement slotList = appendElement(root, kQuickLoadSlotsElement);
    for (const QString& file : settings.slotFiles)
        appendElement(slotList, kSlot).setAttribute(kFile, file);

    QDomElement portConfiguration = appendElement(root, kPortConfiguration);
    appendElement(portConfiguration, kConnectionType)
        .setAttribute(kConnection, settings.connectionType);

    QDomElement options = appendElement(root, kSerialOptions);
    QDomElement rates = appendElement(options, kBaudRates);
    for (const QString& rate : settings.baudRates)
        appendElement(rates, kEntry).setAttribute(kRate, rate);
    writeSendString(options, kSendInitialString, settings.sendInitialString,
                    settings.initialString);
    writeSendString(options, kSendTerminalString, settings.sendTerminalString,
                    settings.terminalString);
    QDomElement comPort = appendElement(options, kComPort);
    comPort.setAttribute(kPortIndex, settings.comPort);
    comPort.setAttribute(kBaudRateIndex, settings.baudRateIndex);

    QDomElement network = appendElement(appendElement(root, kNetworkConfiguration), kInterface);
    network.setAttribute(kIp, settings.networkIp);
    network.setAttribute(kPort, settings.networkPort);

    return terminalxml::writeDocument(path_, document);
}
