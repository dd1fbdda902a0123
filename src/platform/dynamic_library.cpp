// TDynamicLibrary on dlopen/dlsym/dlclose.
#include "platform/dynamic_library.h"

#include "platform/file_system.h"

#include <dlfcn.h>
#include <utility>

namespace tessaly {

TDynamicLibrary::TDynamicLibrary(TDynamicLibrary &&other) noexcept
    : FHandle(std::exchange(other.FHandle, nullptr)), FPath(std::move(other.FPath)),
      FLastError(std::move(other.FLastError)) {}

TDynamicLibrary &TDynamicLibrary::operator=(TDynamicLibrary &&other) noexcept {
    if (this != &other) {
        Free();
        FHandle = std::exchange(other.FHandle, nullptr);
        FPath = std::move(other.FPath);
        FLastError = std::move(other.FLastError);
    }
    return *this;
}

bool TDynamicLibrary::Load(const std::string &path) {
    Free();
    FLastError.clear();
    if (path.empty()) {
        FLastError = "No library name given";
        return false;
    }
    std::string actual = path;
    if (path.find('/') == std::string::npos && FileExists(ProgramDir() + path))
        actual = ProgramDir() + path;
    dlerror();
    FHandle = dlopen(actual.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) {
        const char *msg = dlerror();
        FLastError = msg ? msg : "Cannot load library \"" + path + "\"";
        return false;
    }
    FPath = actual;
    return true;
}

void *TDynamicLibrary::Symbol(const std::string &name) {
    if (!FHandle) {
        FLastError = "Library not loaded";
        return nullptr;
    }
    dlerror();
    void *address = dlsym(FHandle, name.c_str());
    if (!address) {
        const char *msg = dlerror();
        FLastError = msg ? msg : "Symbol \"" + name + "\" not found";
    }
    return address;
}

void TDynamicLibrary::Free() {
    if (FHandle) {
        dlclose(FHandle);
        FHandle = nullptr;
    }
    FPath.clear();
}

} // namespace tessaly
