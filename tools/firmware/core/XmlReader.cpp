#include "XmlReader.h"

#include <climits>
#include <string_view>
#include <utility>

#include "FileBytes.h"
#include "platform/Text.h"

namespace vxfw {

namespace {

constexpr std::string_view kCommentOpen = "!--";
constexpr std::string_view kCommentClose = "-->";
constexpr std::string_view kDoctypeWord = "!DOCTYPE";

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// atoi's reading: leading blanks, a sign, digits up to the first other
// character; saturated instead of overflowing.
long long leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (isSpace(text[i]) || text[i] == '\v' || text[i] == '\f')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value > INT_MAX ? value : value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

}  // namespace

XmlReader::XmlReader() = default;
XmlReader::~XmlReader() = default;

bool XmlReader::load(const std::string& fileName, const std::string& expectedDocType) {
    if (fileName.empty()) {
        lastError_ = "no file name given";
        return false;
    }
    std::string bytes;
    const detail::FileRead read = detail::readWholeFile(fileName, bytes);
    if (read == detail::FileRead::CouldNotOpen) {
        lastError_ = "could not open file";
        return false;
    }
    if (read == detail::FileRead::TooLarge || bytes.empty()) {
        lastError_ = "invalid file size";
        return false;
    }
    bytes_ = std::move(bytes);
    const bool parsed = parse(expectedDocType);
    bytes_ = std::string();
    return parsed;
}

void XmlReader::freeTree() {
    topLevel_.clear();
    nodes_.clear();
    current_ = nullptr;
}

XmlNode* XmlReader::newElement(const std::string& name) {
    nodes_.push_back(std::make_unique<XmlNode>());
    XmlNode* node = nodes_.back().get();
    node->name = name;
    node->parent = current_;
    (current_ ? current_->children : topLevel_).push_back(node);
    return node;
}

XmlReader::Token XmlReader::nextToken() {
    const size_t size = bytes_.size();
    if (position_ >= size) return {kEnd, {}};
    const size_t start = position_;
    const char c = bytes_[position_];
    // A run that the input ends inside of loses its text.
    const auto unfinished = [&]() -> Token {
        position_ = size;
        return {kEnd, {}};
    };
    const auto run = [&](size_t end, TokenKind kind, size_t textFrom, size_t textTo) -> Token {
        position_ = end;
        return {kind, bytes_.substr(textFrom, textTo - textFrom)};
    };
    if (isNameChar(c) || isSpace(c)) {
        const bool name = isNameChar(c);
        size_t end = start;
        while (end < size && (name ? isNameChar(bytes_[end]) : isSpace(bytes_[end]))) ++end;
        if (end == size) return unfinished();
        return run(end, name ? kName : kSpace, start, end);
    }
    const std::string_view rest = std::string_view(bytes_).substr(start);
    switch (c) {
        case '<': {
            if (rest.substr(1, kCommentOpen.size()) != kCommentOpen) {
                ++position_;
                return {kOpen, {}};
            }
            const size_t close = bytes_.find(kCommentClose, start + 1 + kCommentOpen.size());
            if (close == std::string::npos) return unfinished();
            const size_t end = close + kCommentClose.size();
            return run(end, kComment, start, end);
        }
        case '>':
            ++position_;
            return {kClose, {}};
        case '/':
            ++position_;
            return {kSlash, {}};
        case '=':
            ++position_;
            return {kEquals, {}};
        case '"': {
            const size_t close = bytes_.find('"', start + 1);
            if (close == std::string::npos) return unfinished();
            return run(close + 1, kQuoted, start + 1, close);
        }
        default:
            break;
    }
    if (rest.substr(0, kDoctypeWord.size()) == kDoctypeWord) {
        position_ += kDoctypeWord.size();
        return {kDoctype, {}};
    }
    ++position_;
    return {kOther, std::string(1, c)};
}

bool XmlReader::parseToken(const Token& token) {
    const TokenKind kind = token.kind;
    switch (state_) {
        case kProlog:
            if (kind == kOpen) state_ = kAfterOpen;
            return kind == kOpen || kind == kComment || kind == kSpace;
        case kAfterOpen:
            if (kind == kDoctype) state_ = kDoctypeName;
            return kind == kDoctype || kind == kSpace;
        case kDoctypeName:
            if (kind == kName) {
                docType_ = token.text;
                state_ = kDoctypeClose;
            }
            return kind == kName || kind == kSpace;
        case kDoctypeClose:
            if (kind == kClose) state_ = kContent;
            return kind == kClose || kind == kSpace;
        case kContent:
            if (kind == kOpen) {
                state_ = kTagName;
            } else if (current_) {
                current_->text += token.text;
            }
            return true;
        case kTagName:
            if (kind == kName) {
                current_ = newElement(token.text);
                state_ = kInStartTag;
            } else if (kind == kSlash) {
                state_ = kEndTagName;
            }
            return kind == kName || kind == kSlash || kind == kSpace;
        case kEndTagName:
            if (kind == kName) {
                if (!current_ || current_->name != token.text) return false;
                state_ = kTagClose;
            }
            return kind == kName || kind == kSpace;
        case kTagClose:
            if (kind == kClose) {
                current_ = current_->parent;
                state_ = kContent;
            }
            return kind == kClose || kind == kSpace;
        case kInStartTag:
            if (kind == kName) {
                current_->attributeNames.push_back(token.text);
                state_ = kAttributeEquals;
            } else if (kind == kSlash) {
                state_ = kTagClose;
            } else if (kind == kClose) {
                state_ = kContent;
            }
            return kind == kName || kind == kSlash || kind == kClose || kind == kSpace;
        case kAttributeEquals:
            if (kind == kEquals) state_ = kAttributeValue;
            return kind == kEquals || kind == kSpace;
        case kAttributeValue:
            if (kind == kQuoted) {
                current_->attributeValues.push_back(token.text);
                state_ = kInStartTag;
            }
            return kind == kQuoted || kind == kSpace;
        case kDone:
            return true;
    }
    return false;
}

bool XmlReader::parse(const std::string& expectedDocType) {
    position_ = 0;
    freeTree();
    docType_.clear();
    state_ = kProlog;
    for (;;) {
        const Token token = nextToken();
        if (!parseToken(token)) {
            lastError_ = "parse error";
            return false;
        }
        if (token.kind == kEnd) break;
    }
    if (current_) {
        lastError_ = "open tags remaining";
        return false;
    }
    if (topLevel_.empty() || docType_ != topLevel_.front()->name) {
        lastError_ = "doc type consistency error";
        return false;
    }
    if (!expectedDocType.empty() && expectedDocType != docType_) {
        lastError_ = "wrong document type";
        return false;
    }
    state_ = kDone;
    return true;
}

std::string XmlReader::getValue(const std::string& path) {
    lastError_.clear();
    if (state_ != kDone) {
        lastError_ = "no configuration loaded";
        return {};
    }
    const std::vector<std::string> pieces = vxplatform::splitText(path, ":");
    if (pieces.empty() || vxplatform::splitText(path, ":/").empty()) {
        lastError_ = "path not found";
        return {};
    }
    const XmlNode* node = topLevel_.front();
    for (const std::string& step : vxplatform::splitText(pieces[0], "/")) {
        std::string_view name = step;
        long long k = 0;
        const size_t open = step.find('[');
        const size_t close = open == std::string::npos ? open : step.find(']', open + 1);
        if (close != std::string::npos) {
            name = std::string_view(step).substr(0, open);
            k = leadingNumber(std::string_view(step).substr(open + 1, close - open - 1));
        }
        const XmlNode* found = nullptr;
        for (const XmlNode* child : node->children) {
            if (child->name == name && k-- <= 0) {
                found = child;
                break;
            }
        }
        if (!found) {
            lastError_ = "path not found";
            return {};
        }
        node = found;
    }
    if (pieces.size() < 2) return node->text;
    for (size_t i = 0; i < node->attributeNames.size(); ++i)
        if (node->attributeNames[i] == pieces[1]) return node->attributeValues[i];
    lastError_ = "attribute not found";
    return {};
}

std::string XmlReader::lastError() { return std::exchange(lastError_, std::string()); }

}  // namespace vxfw
