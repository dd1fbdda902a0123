// The plug-in registry stand-in read from registry.ini.
#include "platform/registry.h"

#include "platform/file_system.h"
#include "platform/ini_file.h"

namespace tessaly {

namespace {
constexpr size_t kMaxRegistryLines = 65535;
}

std::string RegistryFileName() {
    return UserConfigDir() + "tessaly/registry.ini";
}

std::vector<std::string> ReadPluginRegistry(const std::string &registryFile) {
    TIniFile ini(registryFile.empty() ? RegistryFileName() : registryFile);
    if (ini.SectionExists(kPluginRegistrySection)) {
        std::vector<std::string> lines;
        // Values are read as by any ini read (trimmed, outer quotes removed).
        for (const auto &[name, path] : ini.ReadSectionValues(kPluginRegistrySection)) {
            if (lines.size() == kMaxRegistryLines)
                break;
            lines.push_back(name + "=" + path);
        }
        return lines;
    }
    std::vector<std::string> defaults;
    const std::string dir = ProgramDir();
    for (const char *name : {"framepull", "soundpull"}) {
        std::string path = dir + name + ".vfp";
        if (FileExists(path))
            defaults.push_back(std::string(name) + "=" + path);
    }
    return defaults;
}

bool WritePluginRegistryEntry(const std::string &name, const std::string &path,
                              const std::string &registryFile, std::string *error) {
    std::string file = registryFile.empty() ? RegistryFileName() : registryFile;
    ForceDirectories(ExtractFilePath(file));
    TIniFile ini(file);
    if (ini.WriteString(kPluginRegistrySection, name, path))
        return true;
    if (error)
        *error = ini.LastError();
    return false;
}

} // namespace tessaly
