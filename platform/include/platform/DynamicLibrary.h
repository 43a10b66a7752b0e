#pragma once

#include <string>
#include <utility>

namespace vxplatform {

// A shared library loaded at run time; unloaded when the object goes, unless
// it was kept for the life of the process.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads `fileName` on the normal search path (or by path when it holds a
    // '/'), binding every symbol at once.
    static DynamicLibrary open(const std::string& fileName);
    // Loads `fileName` from the folder of the module that contains
    // `addressInModule` first, then on the normal search path.
    static DynamicLibrary openBesideModule(const void* addressInModule,
                                           const std::string& fileName);

    bool loaded() const { return handle_ != nullptr; }
    // Why the last open or lookup failed.
    const std::string& error() const { return error_; }

    // The address of `name`, or null.
    void* symbol(const char* name);
    // The function `name` as a pointer of type F, or null.
    template <typename F>
    F function(const char* name) {
        return reinterpret_cast<F>(symbol(name));
    }

    // Leaves the library loaded after this object goes.
    void keepLoaded() { handle_ = nullptr; }

private:
    explicit DynamicLibrary(void* handle, std::string error)
        : handle_(handle), error_(std::move(error)) {}

    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace vxplatform
