#include "ConfigurationFile.h"

#include <QDomElement>

#include <cstddef>

#include "TerminalXml.h"

namespace {

using terminalxml::appendElement;
using terminalxml::flag;
using terminalxml::flagText;
using terminalxml::number;

const QString kDocumentType = QStringLiteral("TextdeskConfiguration");
const QString kOlderDocumentType = QStringLiteral("QMXrs232TestConfiguration");
const QString kVersion = QStringLiteral("1.0");
const QString kWrongVersion = QStringLiteral("Wrong file version!");
// A few hundred buttons and inputs take some tens of KiB; thousands still fit.
constexpr size_t kMaxFileBytes = size_t{4} << 20;

const QString kButtons = QStringLiteral("ShortCutButtons");
const QString kButton = QStringLiteral("Button");
const QString kInputs = QStringLiteral("DataInputs");
const QString kInput = QStringLiteral("Input");

const QString kName = QStringLiteral("name");
const QString kTextToSend = QStringLiteral("textToSend");
const QString kMinValue = QStringLiteral("minValue");
const QString kDefaultValue = QStringLiteral("defaultValue");
const QString kMaxValue = QStringLiteral("maxValue");
const QString kHasSlider = QStringLiteral("hasSlider");
const QString kSendAsBinary = QStringLiteral("sendAsBinary");
const QString kBinaryFormat = QStringLiteral("binaryFormat");
const QString kCallShortCut = QStringLiteral("callShortCut");
const QString kShortCutToCall = QStringLiteral("shortCutToCall");

DataInputRecord readInput(const QDomElement& element) {
    DataInputRecord input;
    input.name = element.attribute(kName);
    input.minValue = number(element, kMinValue);
    input.defaultValue = number(element, kDefaultValue);
    input.maxValue = number(element, kMaxValue);
    input.hasSlider = flag(element, kHasSlider);
    // Without the binary flag the format is not taken, whatever it says.
    if (element.hasAttribute(kSendAsBinary)) {
        input.sendAsBinary = flag(element, kSendAsBinary);
        input.binaryFormat = number(element, kBinaryFormat);
    }
    input.callShortCut = flag(element, kCallShortCut);
    input.shortCutToCall = number(element, kShortCutToCall);
    return input;
}

void writeInput(QDomElement& parent, const DataInputRecord& input) {
    QDomElement element = appendElement(parent, kInput);
    element.setAttribute(kName, input.name);
    element.setAttribute(kMinValue, input.minValue);
    element.setAttribute(kDefaultValue, input.defaultValue);
    element.setAttribute(kMaxValue, input.maxValue);
    element.setAttribute(kHasSlider, flagText(input.hasSlider));
    element.setAttribute(kSendAsBinary, flagText(input.sendAsBinary));
    element.setAttribute(kBinaryFormat, input.binaryFormat);
    element.setAttribute(kCallShortCut, flagText(input.callShortCut));
    element.setAttribute(kShortCutToCall, input.shortCutToCall);
}

}  // namespace

bool ConfigurationFile::saveConfiguration(const TerminalConfiguration& configuration) const {
    QDomDocument document = terminalxml::newDocument(kDocumentType, kVersion);
    QDomElement root = document.documentElement();
    QDomElement buttons = appendElement(root, kButtons);
    for (const ShortCutButtonRecord& button : configuration.buttons) {
        QDomElement element = appendElement(buttons, kButton);
        element.setAttribute(kName, button.name);
        element.setAttribute(kTextToSend, button.textToSend);
    }
    QDomElement inputs = appendElement(root, kInputs);
    for (const DataInputRecord& input : configuration.inputs) writeInput(inputs, input);
    return terminalxml::writeDocument(file_.filePath(), document);
}

std::optional<TerminalConfiguration> ConfigurationFile::loadConfiguration() const {
    bool opened = false;
    const auto document = terminalxml::readDocument(
        file_.filePath(), {kDocumentType, kOlderDocumentType}, kMaxFileBytes, opened);
    if (!opened) terminalxml::showError(terminalxml::kCouldNotOpenFile);
    if (!document) return std::nullopt;
    const QDomElement root = document->documentElement();
    if (root.attribute(terminalxml::kVersionAttribute) != kVersion) {
        terminalxml::showError(kWrongVersion);
        return std::nullopt;
    }

    // Only the first list of each kind counts; other elements are ignored.
    TerminalConfiguration configuration;
    for (QDomElement button = root.firstChildElement(kButtons).firstChildElement(kButton);
         !button.isNull(); button = button.nextSiblingElement(kButton)) {
        configuration.buttons.append({button.attribute(kName), button.attribute(kTextToSend)});
    }
    for (QDomElement input = root.firstChildElement(kInputs).firstChildElement(kInput);
         !input.isNull(); input = input.nextSiblingElement(kInput)) {
        configuration.inputs.append(readInput(input));
    }
    return configuration;
}
