// Loads a reader plug-in (*.vfp) from the build's program folder for the plug-in tests and
// hands out its entry points and function tables.
#pragma once

#include "plugins/vfapi/vfapi.h"

#include <dlfcn.h>

#include <string>

namespace tessaly::test {

class TPluginLibrary {
public:
    explicit TPluginLibrary(const std::string &name)
    {
        FHandle = dlopen((std::string(TESSALY_BIN_DIR) + "/" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!FHandle)
            return;
        FInfo = reinterpret_cast<VfGetPluginInfoProc>(dlsym(FHandle, VF_EXPORT_PLUGIN_INFO));
        FFunc = reinterpret_cast<VfGetPluginFuncProc>(dlsym(FHandle, VF_EXPORT_PLUGIN_FUNC));
        FRiff = reinterpret_cast<VfGetPluginRiffFuncProc>(dlsym(FHandle, VF_EXPORT_PLUGIN_RIFF_FUNC));
        Func.size = sizeof(VfPluginFunc);
        Riff.size = sizeof(VfRiffFunc);
        FLoaded = FInfo && FFunc && FFunc(&Func) == VF_OK;
        FHasRiff = FRiff && FRiff(&Riff) == VF_OK;
    }
    ~TPluginLibrary()
    {
        if (FHandle)
            dlclose(FHandle);
    }
    TPluginLibrary(const TPluginLibrary &) = delete;
    TPluginLibrary &operator=(const TPluginLibrary &) = delete;

    bool Loaded() const { return FLoaded; }
    bool HasRiff() const { return FHasRiff; }
    VfGetPluginInfoProc InfoExport() const { return FInfo; }
    VfGetPluginFuncProc FuncExport() const { return FFunc; }
    VfGetPluginRiffFuncProc RiffExport() const { return FRiff; }
    void *Symbol(const char *name) const { return FHandle ? dlsym(FHandle, name) : nullptr; }

    VfPluginFunc Func{};
    VfRiffFunc Riff{};

private:
    void *FHandle = nullptr;
    VfGetPluginInfoProc FInfo = nullptr;
    VfGetPluginFuncProc FFunc = nullptr;
    VfGetPluginRiffFuncProc FRiff = nullptr;
    bool FLoaded = false;
    bool FHasRiff = false;
};

// A file opened through a plug-in, closed on destruction.
class TPluginFile {
public:
    TPluginFile(const TPluginLibrary &lib, const std::string &name) : FLib(lib)
    {
        if (lib.Loaded())
            FOpen = lib.Func.OpenFile(name.c_str(), &FHandle) == VF_OK;
    }
    ~TPluginFile()
    {
        if (FOpen)
            FLib.Func.CloseFile(FHandle);
    }
    TPluginFile(const TPluginFile &) = delete;
    TPluginFile &operator=(const TPluginFile &) = delete;

    bool Open() const { return FOpen; }
    VF_FileHandle Handle() const { return FHandle; }

private:
    const TPluginLibrary &FLib;
    VF_FileHandle FHandle = 0;
    bool FOpen = false;
};

} // namespace tessaly::test
