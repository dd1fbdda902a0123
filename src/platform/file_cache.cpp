// TFileCache: write-behind buffer over one contiguous run of bytes, on POSIX calls.
#include "platform/file_cache.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

TFileCache::TFileCache() = default;

TFileCache::~TFileCache() { Close(); }

bool TFileCache::Open(const std::string &fileName, int mode)
{
    Close();
    if (fileName.empty() || mode < 0 || mode > 2)
        return false;
    if (mode == 2) {
        // O_NONBLOCK: a named pipe without a reader fails instead of blocking.
        int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0 || ::close(fd) != 0)
            return false;
    }
    const bool writable = mode != 1;
    int fd = ::open(fileName.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Adopt(fd, fileName, writable);
}

bool TFileCache::Adopt(int fd, const std::string &fileName, bool writable)
{
    Close();
    FFileName = fileName;
    FWritable = writable;
    FWriteErrno = 0;
    struct stat st {};
    // Positions are 32-bit: a file of 2 GiB or more cannot be served.
    if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || st.st_size > INT32_MAX) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    int32_t capacity = FileCacheBufferSize > 0 ? FileCacheBufferSize : 8192;
    FBuffer.reset(new (std::nothrow) uint8_t[size_t(capacity)]);
    if (!FBuffer) {
        ::close(fd);
        return false;
    }
    FHandle = fd;
    FBufferSize = capacity;
    FSize = int32_t(st.st_size);
    FPosition = 0;
    FState = csIdle;
    FBufferStart = FBufferLength = FBufferOffset = 0;
    FFlags = 0;
    return true;
}

bool TFileCache::Sync()
{
    if (!Flush() || FHandle < 0)
        return false;
    if (::fsync(FHandle) == 0)
        return true;
    FWriteErrno = errno;
    return false;
}

bool TFileCache::CloseFile()
{
    bool ok = true;
    if (FHandle >= 0)
        ok = ::close(FHandle) == 0;
    FHandle = -1;
    return ok;
}

bool TFileCache::Close()
{
    if (!(FFlags & cfClosed)) {
        Flush();
        CloseFile();
        FBuffer.reset();
        FBufferSize = 0;
        FFlags = cfClosed;
    }
    return true;
}

bool TFileCache::WriteByte(uint8_t b) { return Write(&b, 1) == 1; }

int TFileCache::Write(const void *data, int count)
{
    const auto *src = static_cast<const uint8_t *>(data);
    int taken = 0;
    // Equivalent to appending byte by byte: each byte lands in the buffer, and the
    // buffer is written out the moment it is full.
    while (taken < count) {
        if (!FWritable || FFlags != 0 || FPosition == INT32_MAX)
            return taken;
        if (FState != csWrite) {
            FBufferStart = FPosition;
            FBufferLength = 0;
            FState = csWrite;
        }
        int32_t n = std::min<int64_t>({int64_t(count - taken), int64_t(FBufferSize - FBufferLength),
                                       int64_t(INT32_MAX) - FPosition});
        std::memcpy(FBuffer.get() + FBufferLength, src + taken, size_t(n));
        FBufferLength += n;
        FPosition += n;
        if (FSize < FPosition)
            FSize = FPosition;
        if (FBufferLength == FBufferSize && !Flush())
            return taken + n - 1; // the byte that filled the buffer reports the failed flush
        taken += n;
    }
    return taken;
}

void TFileCache::Seek(int32_t position)
{
    if (FFlags != 0)
        return;
    Flush();
    if (FFlags != 0)
        return;
    FPosition = std::clamp(position, int32_t(0), FSize);
    if (FState == csRead) {
        if (FPosition >= FBufferStart && FPosition < FBufferStart + FBufferLength)
            FBufferOffset = FPosition - FBufferStart;
        else
            FState = csIdle;
    }
}

bool TFileCache::Flush()
{
    if (FFlags != 0)
        return false;
    if (FState != csWrite)
        return true;
    FState = csIdle;
    int32_t done = 0;
    while (done < FBufferLength) {
        ssize_t n = ::pwrite(FHandle, FBuffer.get() + done, size_t(FBufferLength - done),
                             off_t(FBufferStart) + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            FWriteErrno = n < 0 ? errno : ENOSPC;
            break;
        }
        done += int32_t(n);
    }
    if (done < FBufferLength) {
        FFlags |= cfWriteFailed;
        return false;
    }
    return true;
}

bool TFileCache::Rename(const std::string &newName)
{
    if (FFileName.empty() || newName.empty())
        return false;
    Close();
    if (std::rename(FFileName.c_str(), newName.c_str()) != 0)
        return false;
    FFileName = newName;
    return true;
}

bool TFileCache::Delete()
{
    Close();
    return !FFileName.empty() && ::unlink(FFileName.c_str()) == 0;
}

} // namespace tessaly
