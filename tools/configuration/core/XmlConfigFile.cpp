#include "XmlConfigFile.h"

#include <QFile>
#include <QFileInfo>

#include <cstddef>

#include "BoundedFileQt.h"

namespace {

const char* const kVersion = "1.0";
// Eleven parameter rows, the sensor types and the index map, each a list
// over the system's channels (the index map holds 64 at most): some 30 KiB.
constexpr size_t kMaxFileBytes = size_t{1} << 20;

} // namespace

XmlConfigFile::XmlConfigFile() : pathPattern_(QStringLiteral("([^\\[]+)\\[(\\d+)\\]")) {}

void XmlConfigFile::create(const QString& rootName) {
    document_.clear();
    QDomElement root = document_.createElement(rootName);
    root.setAttribute(QStringLiteral("version"), QString::fromLatin1(kVersion));
    document_.appendChild(root);
    loaded_ = true;
}

QString XmlConfigFile::load(const QString& fileName, const QString& documentType) {
    if (!QFileInfo::exists(fileName)) return QStringLiteral("Configuration file does not exist.");
    QByteArray bytes;
    if (vxfile::readWholeFile(fileName, bytes, kMaxFileBytes) != vxfile::FileRead::Read)
        return QStringLiteral("Can't open configuration file.");
    QString message;
    int line = 0;
    int column = 0;
    const bool parsed =
        document_.setContent(bytes, true, &message, &line, &column);
    if (!parsed) {
        return QStringLiteral("Config file parse error at line %1, column %2: %3.")
            .arg(line)
            .arg(column)
            .arg(message);
    }
    if (!documentType.isEmpty() && document_.doctype().name() != documentType)
        return QStringLiteral("Wrong document type.");
    loaded_ = true;
    return {};
}

QString XmlConfigFile::save(const QString& fileName) {
    const QString failed = QStringLiteral("Could not create output file.");
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return failed;
    bool written = true;
    if (document_.doctype().name().isEmpty()) {
        const QByteArray line = QStringLiteral("<!DOCTYPE %1>\n")
                                    .arg(document_.documentElement().tagName())
                                    .toLatin1();
        written = file.write(line) == line.size();
    }
    const QByteArray body = document_.toByteArray(2);
    written = written && file.write(body) == body.size();
    // Buffered bytes reach the file only here; a full disk or a size limit
    // shows up as a failed flush.
    written = file.flush() && written;
    file.close();
    if (!written || file.error() != QFileDevice::NoError) return failed;
    return {};
}

XmlConfigFile::Component XmlConfigFile::component(const QString& text) const {
    const QRegularExpressionMatch match = pathPattern_.match(text);
    if (!match.hasMatch()) return {text, 0};
    return {match.captured(1), match.captured(2).toInt()};
}

QDomElement XmlConfigFile::child(const QDomElement& parent, const Component& which) const {
    QDomElement element = parent.firstChildElement(which.name);
    for (int step = 0; step < which.index && !element.isNull(); ++step)
        element = element.nextSiblingElement(which.name);
    return element;
}

QString XmlConfigFile::value(const QString& path) const {
    if (!loaded_) return {};
    const QStringList parts = path.split(QLatin1Char(':'));
    QDomElement element = document_.documentElement();
    for (const QString& text : parts.at(0).split(QLatin1Char('/'))) {
        element = child(element, component(text));
        if (element.isNull()) return {};
    }
    if (parts.size() >= 2) {
        const QString& attribute = parts.at(1);
        return element.hasAttribute(attribute) ? element.attribute(attribute) : QString();
    }
    return element.text();
}

void XmlConfigFile::setValue(const QString& path, const QString& value) {
    const QStringList parts = path.split(QLatin1Char(':'));
    QDomElement parent = document_.documentElement();
    for (const QString& text : parts.at(0).split(QLatin1Char('/'))) {
        const Component which = component(text);
        QDomElement element = child(parent, which);
        if (element.isNull()) {
            element = document_.createElement(which.name);
            parent.appendChild(element);
        }
        parent = element;
    }
    if (parts.size() == 2) {
        parent.setAttribute(parts.at(1), value);
        return;
    }
    QDomNode first = parent.firstChild();
    if (first.isText()) first.setNodeValue(value);
}
