#pragma once

// The threads and descriptors of this process, for tests that check that
// nothing is left behind.

#include <dirent.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

namespace vxtest {

// Entries of a /proc folder, without . and .. (the directory stream itself
// holds a descriptor, alike on every count).
inline size_t entriesIn(const char* folder) {
    size_t count = 0;
    if (DIR* dir = ::opendir(folder)) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        ::closedir(dir);
    }
    return count;
}

// Whether a thread of this process has begun to exit. A join returns once
// the kernel has released the thread's memory, which comes after it marked
// the thread exiting (PF_EXITING in its flags) and before the thread leaves
// /proc; a thread just joined can still be listed there for a while.
inline bool threadExiting(const char* tid) {
    const std::string path = std::string("/proc/self/task/") + tid + "/stat";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return true;  // gone meanwhile
    char line[1024] = {};
    const size_t length = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
    line[length] = '\0';
    // The name in parentheses may hold blanks; the fields after it are
    // state, ppid, pgrp, session, tty, tpgid, flags.
    const char* after = std::strrchr(line, ')');
    if (!after) return true;  // gone between the open and the read
    char state = 0;
    int ppid = 0, group = 0, session = 0, tty = 0, foreground = 0;
    unsigned long flags = 0;
    if (std::sscanf(after + 1, " %c %d %d %d %d %d %lu", &state, &ppid, &group, &session, &tty, &foreground,
                    &flags) != 7)
        return true;
    constexpr unsigned long kExiting = 0x4;
    return (flags & kExiting) != 0;
}

// The threads of this process that are not exiting.
inline size_t liveThreadCount() {
    size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.' && !threadExiting(entry->d_name)) ++count;
        ::closedir(dir);
    }
    return count;
}

inline size_t descriptorCount() { return entriesIn("/proc/self/fd"); }

}  // namespace vxtest
