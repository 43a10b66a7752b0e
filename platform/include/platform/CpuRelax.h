#pragma once

namespace vxplatform {

// Tells the processor that this is a busy wait: cheaper for the sibling
// hardware thread and for the memory bus than a bare loop.
inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

}  // namespace vxplatform
