#pragma once

#include <exception>
#include <string>

namespace veltraxnd {

// Base of every failure the discovery code reports; the device layer turns
// these into result codes.
class VeltraxNDException : public std::exception {
public:
    explicit VeltraxNDException(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class InvalidArgumentException : public VeltraxNDException {
    using VeltraxNDException::VeltraxNDException;
};

class InvalidOperationException : public VeltraxNDException {
    using VeltraxNDException::VeltraxNDException;
};

class RequestCancelledException : public VeltraxNDException {
    using VeltraxNDException::VeltraxNDException;
};

class ProtocolException : public VeltraxNDException {
    using VeltraxNDException::VeltraxNDException;
};

// The system's text for an errno value; empty for 0.
std::string systemMessage(int code);

// `text` alone for code 0, else `text` + ": " + the system's message.
std::string withSystemMessage(const std::string& text, int code);

class NetworkException : public VeltraxNDException {
public:
    // A bare message.
    explicit NetworkException(const std::string& text) : VeltraxNDException(text) {}
    NetworkException(const std::string& text, int code)
        : VeltraxNDException(withSystemMessage(text, code)), code_(code) {}
    int code() const { return code_; }

private:
    int code_ = 0;
};

}  // namespace veltraxnd
