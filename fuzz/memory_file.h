// The fuzz targets' input file: one in-memory file per target, rewritten with each input and
// named by its /proc path, so that readers open it as they open any local file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace tessaly::fuzz {

// Writes the input into the target's memory file; its path, or "" when that failed.
inline std::string WriteMemoryFile(const char *name, const uint8_t *data, size_t size)
{
    static const int fd = memfd_create(name, 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        return {};
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return path;
}

} // namespace tessaly::fuzz
