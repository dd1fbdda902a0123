// Fuzz target: language files read by TLngFile and their values decoded.
#include "shell/lng_file.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

using namespace tessaly;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = "/tmp/fuzz_lng_" + std::to_string(getpid()) + ".lng";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    TLngFile lng(path);
    std::string value;
    for (const std::string &language : lng.ReadLanguages())
        for (const char *key : {"MsgHitEsc", "WrdYes", "ErrOpenVid"})
            if (lng.Lookup(language, key, value))
                (void)TLngFile::DecodeValue(value);
    (void)TLngFile::DecodeValue(std::string(reinterpret_cast<const char *>(data), size));
    return 0;
}
