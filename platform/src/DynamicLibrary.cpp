#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace vxplatform {

namespace {

std::string lastError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

// The folder of the module that contains `address`; empty when unknown.
std::string moduleDirectoryOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return std::string();
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

DynamicLibrary::~DynamicLibrary() {
    if (handle_) dlclose(handle_);
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_) dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

DynamicLibrary DynamicLibrary::open(const std::string& fileName) {
    dlerror();
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return DynamicLibrary(nullptr, lastError());
    return DynamicLibrary(handle, std::string());
}

DynamicLibrary DynamicLibrary::openBesideModule(const void* addressInModule,
                                                const std::string& fileName) {
    const std::string folder = moduleDirectoryOf(addressInModule);
    if (!folder.empty() && fileName.find('/') == std::string::npos) {
        DynamicLibrary beside = open(folder + "/" + fileName);
        if (beside.loaded()) return beside;
    }
    return open(fileName);
}

void* DynamicLibrary::symbol(const char* name) {
    if (!handle_) return nullptr;
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address) error_ = lastError();
    return address;
}

}  // namespace vxplatform
