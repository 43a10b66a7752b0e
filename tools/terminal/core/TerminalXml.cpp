#include "TerminalXml.h"

#include <QFile>
#include <QSaveFile>
#include <QtGlobal>

#include "BoundedFileQt.h"
#include "Dialogs.h"

namespace terminalxml {

namespace {

constexpr int kIndent = 1;
const QString kErrorTitle = QStringLiteral("Error");
const QString kErrorButton = QStringLiteral("Darn");
const QString kSet = QStringLiteral("1");
const QString kClear = QStringLiteral("0");

}  // namespace

void showError(const QString& text) {
    vxgui::critical(nullptr, kErrorTitle, text, {kErrorButton});
}

std::optional<QDomDocument> readDocument(const QString& path, const QStringList& documentTypes,
                                         size_t limit, bool& opened) {
    QByteArray bytes;
    opened = vxfile::readWholeFile(path, bytes, limit) == vxfile::FileRead::Read;
    if (!opened) return std::nullopt;
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(bytes, true, &message, &line, &column)) {
        qDebug("Parse error at line %i, column %i:%s", line, column, qPrintable(message));
        showError(kParseError.arg(line).arg(column).arg(message));
        return std::nullopt;
    }
    if (!documentTypes.contains(document.doctype().name())) {
        showError(kWrongDocumentType);
        return std::nullopt;
    }
    return document;
}

QDomDocument newDocument(const QString& documentType, const QString& version) {
    QDomDocument document(documentType);
    QDomElement root = document.createElement(documentType);
    root.setAttribute(kVersionAttribute, version);
    document.appendChild(root);
    return document;
}

QDomElement appendElement(QDomElement parent, const QString& name) {
    QDomElement element = parent.ownerDocument().createElement(name);
    parent.appendChild(element);
    return element;
}

bool writeDocument(const QString& path, const QDomDocument& document) {
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written) {
        const QByteArray text = document.toByteArray(kIndent);
        // The write only fills a buffer, and commit() does not see a flush
        // that failed: the flush is checked on its own. Not committed, the
        // new file is dropped and the old one stays.
        written = file.write(text) == text.size() && file.flush() && file.commit();
    }
    if (!written) showError(kCouldNotOpenFile);
    return written;
}

int number(const QDomElement& element, const QString& attribute) {
    return element.attribute(attribute).toInt();
}

bool flag(const QDomElement& element, const QString& attribute) {
    return number(element, attribute) != 0;
}

QString flagText(bool value) { return value ? kSet : kClear; }

}  // namespace terminalxml
