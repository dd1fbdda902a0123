// TFile64 on POSIX descriptors: open, close, 64-bit seek and bounded reads.
#include "platform/file64.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

TFile64::TFile64() = default;

TFile64::~TFile64() { Close(); }

void TFile64::Reset()
{
    FHandle = -1;
    FFileName.clear();
    FIsOpen = false;
    FWritable = false;
    FSize = 0;
    FPosition = 0;
}

bool TFile64::Open(const std::string &fileName, int mode)
{
    if (!Close())
        return false;
    int flags;
    switch (mode) {
    case fmReadWrite: flags = O_RDWR; break;
    case fmRead: flags = O_RDONLY; break;
    case fmCreate: flags = O_RDWR | O_CREAT | O_TRUNC; break;
    default: FLastError = EINVAL; return false;
    }
    // O_NONBLOCK keeps a named pipe from blocking the open; it is cleared at once.
    int fd = ::open(fileName.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        FLastError = uint32_t(errno);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        FLastError = S_ISDIR(st.st_mode) ? uint32_t(EISDIR) : uint32_t(errno);
        ::close(fd);
        return false;
    }
    // The reader jumps between index and frame data but also streams chunks in
    // order; the kernel's default read-ahead serves both, so no advice is given.
    FHandle = fd;
    FFileName = fileName;
    FIsOpen = true;
    FWritable = mode != fmRead;
    FSize = int64_t(st.st_size);
    FPosition = 0;
    FLastError = 0;
    return true;
}

bool TFile64::Close()
{
    bool ok = true;
    if (FIsOpen) {
        ok = ::close(FHandle) == 0;
        FLastError = ok ? 0 : uint32_t(errno);
    }
    Reset();
    return ok;
}

bool TFile64::Seek(int64_t offset, int origin)
{
    if (!FIsOpen)
        return false;
    // Reads go through pread() at Position, so a seek is pure arithmetic and costs
    // no system call; the rules are those of lseek(): no position below 0.
    int64_t base = origin == soBegin ? 0 : origin == soCurrent ? FPosition : origin == soEnd ? FSize : -1;
    if (base < 0 || (offset < 0 && base + offset < 0) || (offset > 0 && offset > INT64_MAX - base)) {
        FLastError = EINVAL;
        return false;
    }
    FLastError = 0;
    FPosition = base + offset;
    return true;
}

bool TFile64::Read(void *buffer, size_t count)
{
    if (!FIsOpen || FPosition < 0 || count > uint64_t(INT64_MAX) ||
        int64_t(count) > FSize - FPosition)
        return false;
    auto *out = static_cast<uint8_t *>(buffer);
    size_t done = 0;
    bool ok = true;
    FLastError = 0;
    // pread() may return fewer bytes than asked (signals, pipes); keep going until
    // the request is met, the file ends or the system reports an error.
    while (done < count) {
        ssize_t n = ::pread(FHandle, out + done, count - done, off_t(FPosition + int64_t(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FLastError = uint32_t(errno);
            ok = false;
            break;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    FPosition += int64_t(done);
    return ok;
}

} // namespace tessaly
