// The stand-in for the registry key that lists the reader plug-ins: registry.ini in
// the user's configuration folder, section [Software\VFPlugin], lines name=path.
#pragma once

#include <string>
#include <vector>

namespace tessaly {

// Section of registry.ini that lists the plug-ins.
inline constexpr const char *kPluginRegistrySection = "Software\\VFPlugin";

// Path of registry.ini: UserConfigDir() + "tessaly/registry.ini".
std::string RegistryFileName();

// The values of the plug-in key as lines "name=path", in file order (at most 65535).
// Reads `registryFile` (default: RegistryFileName()). When the file or its section is
// missing, the defaults are the plug-ins installed beside the program that exist:
// "framepull=<ProgramDir()>framepull.vfp" and "soundpull=<ProgramDir()>soundpull.vfp".
// A present but empty section lists no plug-in.
std::vector<std::string> ReadPluginRegistry(const std::string &registryFile = std::string());

// Stores one plug-in line (name=path) in the registry file; false (with `error`) when
// the file cannot be written. Used by set-up tools and tests.
bool WritePluginRegistryEntry(const std::string &name, const std::string &path,
                              const std::string &registryFile = std::string(),
                              std::string *error = nullptr);

} // namespace tessaly
