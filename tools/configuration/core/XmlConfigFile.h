#pragma once

#include <QDomDocument>
#include <QRegularExpression>
#include <QString>

// One XML configuration document in memory. Elements and attributes are
// addressed by paths below the root such as "T_5/Channel[0]:value": components
// separated by "/", an optional index in brackets counting elements of that
// name, and the attribute after ":".
class XmlConfigFile {
public:
    XmlConfigFile();

    // Starts a new document with the given root and version "1.0".
    void create(const QString& rootName);
    // Empty on success, otherwise the text to show. An empty document type
    // accepts any. A file far longer than any configuration is not read, as
    // one that cannot be opened.
    QString load(const QString& fileName, const QString& documentType);
    // Empty on success, otherwise the text to show.
    QString save(const QString& fileName);

    // Empty when not loaded or when the element or attribute is missing.
    QString value(const QString& path) const;
    // Creates missing elements on the way, one per missing component, so
    // that writing indices 0, 1, 2, ... in order builds a list.
    void setValue(const QString& path, const QString& value);

private:
    struct Component {
        QString name;
        int index = 0;
    };
    Component component(const QString& text) const;
    QDomElement child(const QDomElement& parent, const Component& which) const;

    QDomDocument document_;
    QRegularExpression pathPattern_;
    bool loaded_ = false;
};
