// Fuzz target: ini files (project, settings, registry) read and edited by TIniFile.
#include "platform/ini_file.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

using namespace tessaly;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = "/tmp/fuzz_ini_" + std::to_string(getpid()) + ".ini";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    TIniFile ini(path);
    for (const std::string &section : ini.ReadSections()) {
        for (const auto &kv : ini.ReadSectionValues(section)) {
            (void)ini.ReadInteger(section, kv.first, 0);
            (void)ini.ValueExists(section, kv.first);
        }
        (void)ini.ReadSectionLines(section);
    }
    // Edits in memory only: the update is dropped, never written.
    ini.BeginUpdate();
    ini.EraseSection("Markers");
    ini.WriteString("Files", "Video", "  x  ");
    ini.DeleteKey("Config", "Zoom");
    (void)ini.ReadString("Files", "Video", "");
    ini.CancelUpdate();
    return 0;
}
