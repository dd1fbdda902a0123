// TDynamicLibrary: one loaded shared library (dlopen/dlsym/dlclose), released on
// destruction.
#pragma once

#include <string>

namespace tessaly {

class TDynamicLibrary {
public:
    TDynamicLibrary() = default;
    // Loads at once; check IsLoaded().
    explicit TDynamicLibrary(const std::string &path) { Load(path); }
    ~TDynamicLibrary() { Free(); }
    TDynamicLibrary(const TDynamicLibrary &) = delete;
    TDynamicLibrary &operator=(const TDynamicLibrary &) = delete;
    TDynamicLibrary(TDynamicLibrary &&other) noexcept;
    TDynamicLibrary &operator=(TDynamicLibrary &&other) noexcept;

    // Loads the library at `path` (releasing any library held before). A bare name
    // without "/" is looked for beside the program first, then where the system's
    // loader searches. All symbols are bound at once; false with LastError() set on
    // failure.
    bool Load(const std::string &path);
    // Address of the exported symbol `name`, or nullptr (LastError() set) when the
    // library is not loaded or does not export it.
    void *Symbol(const std::string &name);
    // Typed form of Symbol for function pointers.
    template <typename F> F Function(const std::string &name) {
        return reinterpret_cast<F>(Symbol(name));
    }
    // Releases the library; every address obtained from it becomes invalid.
    void Free();

    bool IsLoaded() const { return FHandle != nullptr; }
    const std::string &Path() const { return FPath; }
    const std::string &LastError() const { return FLastError; }

private:
    void *FHandle = nullptr;
    std::string FPath;
    std::string FLastError;
};

} // namespace tessaly
