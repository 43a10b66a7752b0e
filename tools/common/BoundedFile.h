#pragma once

#include <cstddef>
#include <string>

// Reading a file with a size limit: the one way the programs read the
// files they are given (settings, configurations, tables, images, firmware),
// so that a file far longer than any of its kind is refused before anything
// is set aside for it. Plain C++ over POSIX, for the programs' Qt-free cores
// as well.
namespace vxfile {

enum class FileRead {
    Read,          // the bytes asked for are in the buffer
    CouldNotOpen,  // not there, not readable, a folder, or a read failed
    TooLarge,      // more than the limit: nothing kept
};

// The whole content of a regular file of at most `limit` bytes. The size
// the file claims is looked at first; the buffer then grows with the bytes
// read, never with that size, so a file that grows while read is still
// refused at the limit. A FIFO or device reads as empty, never blocking on
// it and never read from.
FileRead readWholeFile(const std::string& path, std::string& bytes, size_t limit);

// The first `count` bytes of a regular file (fewer when it is shorter), for
// formats whose header is all that is needed; a file longer than `limit` is
// refused all the same.
FileRead readFileStart(const std::string& path, size_t count, std::string& bytes, size_t limit);

}  // namespace vxfile
