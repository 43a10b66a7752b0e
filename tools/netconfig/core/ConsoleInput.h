#pragma once

#include <cstdio>

namespace netconfig {

// Decimal numbers read from a stream the way the formatted reads "%d" and
// "%d.%d.%d.%d" read them: white space (newlines too) is skipped before each
// number, the dots must follow the numbers at once, and what does not match
// stays in the stream for the next read. A number too large for an int is
// read whole and kept as INT_MAX (INT_MIN below), never wrapped.
class ConsoleInput {
public:
    // `flushFirst`, when given, is flushed before every read so that a
    // prompt is out before the program waits for its answer.
    explicit ConsoleInput(std::FILE* in, std::FILE* flushFirst = nullptr) : in_(in), flushFirst_(flushFirst) {}

    static constexpr int EndOfInput = -1;

    // Up to `wanted` numbers separated by dots into `values`: how many were
    // read, or EndOfInput when the input ended before the first.
    int readNumbers(int* values, int wanted);
    int readNumber(int& value) { return readNumbers(&value, 1); }

    // Drops the rest of the current line, its newline included.
    void discardLine();

private:
    bool readOne(int& value);

    std::FILE* in_;
    std::FILE* flushFirst_;
};

}  // namespace netconfig
