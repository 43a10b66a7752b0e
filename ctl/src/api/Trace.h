#pragma once

// The call and return lines of the traced exports, and the printers of
// their arguments.

#include <cstddef>
#include <cstdint>
#include <string>

#include "VeltraxCTL.h"

namespace vxctl::api {

// The arguments or outputs of one line, joined by ", ".
class TraceLine {
public:
    void unsignedValue(uint64_t value);
    void signedValue(int64_t value);
    // "0x" and lower-case hexadecimal without leading zeros.
    void hex(uint64_t value);
    // In double quotes; "NULL" for a null pointer.
    void text(const char* value);
    void null();
    // "{" the values "}", "{}" for none; "NULL" for a null pointer with a
    // count.
    template <typename T>
    void values(const T* values, size_t count) {
        if (!values && count > 0) return null();
        std::string list = "{";
        for (size_t i = 0; i < count; ++i) {
            if (i > 0) list += ", ";
            list += std::to_string(values[i]);
        }
        piece(list + "}");
    }
    void event(const VX_CTL_Event* event);

    const std::string& str() const { return text_; }

private:
    void piece(const std::string& piece);

    std::string text_;
    bool started_ = false;
};

// The number of the next call line: 1 for the first of the process.
uint32_t nextCallNumber();

// "call [N] name", with "(" the arguments ")" when arguments are logged.
// `arguments` fills the argument part only when it is printed.
template <typename Arguments>
void writeCallLine(uint32_t number, const char* name, const Arguments& arguments);

// "return [N] -> 0x.. (\"text\")", with " | " and the outputs when
// arguments are logged, the result is 0 and the export has outputs.
template <typename Outputs>
void writeReturnLine(uint32_t number, VX_CTL_Result result, bool hasOutputs, const Outputs& outputs);

// The same lines from finished pieces.
void writeCallText(uint32_t number, const char* name, const TraceLine* arguments);
void writeReturnText(uint32_t number, VX_CTL_Result result, const TraceLine* outputs);

bool argumentsLogged();

template <typename Arguments>
void writeCallLine(uint32_t number, const char* name, const Arguments& arguments) {
    if (!argumentsLogged()) return writeCallText(number, name, nullptr);
    TraceLine line;
    arguments(line);
    writeCallText(number, name, &line);
}

template <typename Outputs>
void writeReturnLine(uint32_t number, VX_CTL_Result result, bool hasOutputs, const Outputs& outputs) {
    if (!hasOutputs || result != VX_CTL_OK || !argumentsLogged()) return writeReturnText(number, result, nullptr);
    TraceLine line;
    outputs(line);
    writeReturnText(number, result, &line);
}

}  // namespace vxctl::api
