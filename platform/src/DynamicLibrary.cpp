#include "platform/DynamicLibrary.h"

#include "platform/ModulePath.h"

#include <dlfcn.h>

#include <utility>

namespace vxplatform {

namespace {

std::string lastError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
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
    const std::string folder = moduleDirectory(addressInModule);
    if (!folder.empty() && fileName.find('/') == std::string::npos) {
        DynamicLibrary beside = open(joinPath(folder, fileName));
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
