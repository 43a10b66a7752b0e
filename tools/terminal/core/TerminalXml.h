#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>

// What the terminal's two XML documents share: their error box and texts,
// reading with the document type and version checked, writing that keeps
// an old file until the new one is whole, and the value forms.
namespace terminalxml {

inline const QString kCouldNotOpenFile = QStringLiteral("Could not open file!");
inline const QString kParseError = QStringLiteral("Parse error at line %1, column %2: %3");
inline const QString kWrongDocumentType = QStringLiteral("Wrong document type!");
// The root's attribute that carries the document's version.
inline const QString kVersionAttribute = QStringLiteral("version");

// The modal critical box titled "Error" with the one button "Darn".
void showError(const QString& text);

// Reads and parses `path`. Empty when the file cannot be read or is longer
// than `limit` bytes (`opened` false, nothing shown; a longer file is not
// read), or, after the error box, when it cannot be parsed or its document
// type is none of `documentTypes`.
std::optional<QDomDocument> readDocument(const QString& path, const QStringList& documentTypes,
                                         size_t limit, bool& opened);

// The document of type `documentType` whose root bears `version`.
QDomDocument newDocument(const QString& documentType, const QString& version);
// Appends an element named `name` to `parent` (a handle: the element
// itself changes) and returns it.
QDomElement appendElement(QDomElement parent, const QString& name);

// Writes the document's text to `path`; the old content stays until the
// new one is whole. False, after the error box, on any failure.
bool writeDocument(const QString& path, const QDomDocument& document);

// A missing or non-numeric attribute reads as 0, and as a clear flag.
int number(const QDomElement& element, const QString& attribute);
bool flag(const QDomElement& element, const QString& attribute);
QString flagText(bool value);

}  // namespace terminalxml
