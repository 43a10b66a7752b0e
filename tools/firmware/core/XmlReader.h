#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vxfw {

// One element: its name, attributes (names and values in parallel), the
// character content between its tags outside its children, and its children
// in document order.
struct XmlNode {
    std::string name;
    std::vector<std::string> attributeNames;
    std::vector<std::string> attributeValues;
    std::string text;
    XmlNode* parent = nullptr;
    std::vector<XmlNode*> children;
};

// A small reader of the XML the update configuration is written in: one
// DOCTYPE holding only the root's name, elements and attributes named by
// letters, digits and "_", double-quoted values, comments; no declaration,
// processing instruction or CDATA; references stay as written.
class XmlReader {
public:
    XmlReader();
    ~XmlReader();
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    // Reads and parses the file; an empty expected type accepts any.
    bool load(const std::string& fileName, const std::string& expectedDocType);
    // Parses the bytes `load` holds.
    bool parse(const std::string& expectedDocType);
    // The text of an element or the value of one of its attributes, by a
    // path such as "file[2]:name" below the root; empty on failure.
    std::string getValue(const std::string& path);
    // The last error text, cleared by reading it.
    std::string lastError();

private:
    enum TokenKind : int {
        kComment = 1,
        kOpen = 2,
        kClose = 3,
        kName = 4,
        kSpace = 5,
        kQuoted = 6,
        kEquals = 7,
        kSlash = 8,
        kDoctype = 9,
        kOther = 10,
        kEnd = 11,
    };
    struct Token {
        TokenKind kind;
        std::string text;
    };
    // Parser states; kDone once a document has been parsed.
    enum State : int {
        kProlog = 0,
        kAfterOpen = 1,
        kDoctypeName = 2,
        kDoctypeClose = 3,
        kContent = 4,
        kTagName = 5,
        kEndTagName = 6,
        kTagClose = 7,
        kInStartTag = 8,
        kAttributeEquals = 9,
        kAttributeValue = 10,
        kDone = 11,
    };

    Token nextToken();
    bool parseToken(const Token& token);
    void freeTree();
    XmlNode* newElement(const std::string& name);

    std::string bytes_;
    size_t position_ = 0;
    // Every element; the tree links them by raw pointers, so that freeing a
    // deep document never recurses.
    std::vector<std::unique_ptr<XmlNode>> nodes_;
    std::vector<XmlNode*> topLevel_;
    XmlNode* current_ = nullptr;
    std::string docType_;
    State state_ = kProlog;
    std::string lastError_;
};

}  // namespace vxfw
