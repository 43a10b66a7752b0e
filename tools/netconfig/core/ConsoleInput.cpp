#include "ConsoleInput.h"

#include <cctype>
#include <climits>

namespace netconfig {

bool ConsoleInput::readOne(int& value) {
    int c = std::getc(in_);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = std::getc(in_);
    }
    if (!std::isdigit(c)) {
        if (c != EOF) std::ungetc(c, in_);
        return false;
    }
    long long magnitude = 0;
    for (; std::isdigit(c); c = std::getc(in_)) {
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (c - '0');
    }
    if (c != EOF) std::ungetc(c, in_);
    if (negative) magnitude = -magnitude;
    value = magnitude > INT_MAX ? INT_MAX : magnitude < INT_MIN ? INT_MIN : static_cast<int>(magnitude);
    return true;
}

int ConsoleInput::readNumbers(int* values, int wanted) {
    if (flushFirst_) std::fflush(flushFirst_);
    int read = 0;
    while (read < wanted) {
        if (read > 0) {
            const int c = std::getc(in_);
            if (c != '.') {
                if (c != EOF) std::ungetc(c, in_);
                break;
            }
        }
        int c;
        while ((c = std::getc(in_)) != EOF && std::isspace(c)) {
        }
        if (c == EOF) return read == 0 ? EndOfInput : read;
        std::ungetc(c, in_);
        if (!readOne(values[read])) break;
        ++read;
    }
    return read;
}

void ConsoleInput::discardLine() {
    int c;
    while ((c = std::getc(in_)) != EOF && c != '\n') {
    }
}

}  // namespace netconfig
