// The single instance's inter-process objects on POSIX and Linux calls: a mapped file
// with a process-shared semaphore (sem_init, sem_clockwait), flock, and a path socket
// with SO_PEERCRED, all inside a folder that only this user can enter.
#include "platform/ipc.h"

#include "platform/file_system.h"
#include "platform/safe_file.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tessaly {

namespace {

std::string SystemError(const std::string &what, const std::string &name) {
    return what + " \"" + name + "\": " + std::strerror(errno);
}

uint64_t Fnv1a64(const std::string &text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

bool PathAddress(const std::string &path, sockaddr_un &addr, socklen_t &length) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() + 1 > sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

bool PeerCredentials(int fd, pid_t &pid, uid_t &uid) {
    ucred cred {};
    socklen_t length = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 || length != sizeof cred)
        return false;
    pid = cred.pid;
    uid = cred.uid;
    return true;
}

// An open descriptor is usable when it is a regular file of this user that no one else
// may read or write.
bool OwnPrivateFile(int fd, std::string &why) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode))
        why = "not a regular file";
    else if (st.st_uid != getuid())
        why = "belongs to another user";
    else if ((st.st_mode & 077) != 0)
        why = "is open to other users";
    else
        return true;
    return false;
}

} // namespace

std::string IpcObjectName(const std::string &base) {
    std::string clean;
    for (char c : base) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '_' || c == '-';
        clean += keep ? c : '_';
    }
    if (clean.size() > 100) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a64(base)));
        clean = clean.substr(0, 80) + "~" + hex;
    }
    return "/" + clean;
}

std::string PrivateRuntimeDir(std::string *why) {
    std::string reason;
    if (const char *xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && xdg[0] == '/') {
        std::string dir = xdg;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        if (IsPrivateFolder(dir, &reason))
            return dir;
    }
    std::string dir = SystemTempDir() + "tessaly-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        if (why)
            *why = SystemError("Cannot create the folder", dir);
        return std::string();
    }
    if (!IsPrivateFolder(dir, &reason)) {
        if (why)
            *why = reason;
        return std::string();
    }
    return dir;
}

bool ProcessRuns(pid_t pid) {
    if (pid <= 0)
        return false;
    return kill(pid, 0) == 0 || errno == EPERM;
}

// ---- TSharedBlock

bool TSharedBlock::Map(int fd, size_t size, const std::string &path) {
    void *data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        FLastError = SystemError("Cannot map the shared block", path);
        close(fd);
        return false;
    }
    close(fd);   // the mapping keeps the file alive
    FData = static_cast<uint8_t *>(data);
    FSize = size;
    return true;
}

bool TSharedBlock::Create(const std::string &path, size_t size) {
    Close();
    FLastError.clear();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        FLastError = SystemError("Cannot create the shared block", path);
        return false;
    }
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        FLastError = SystemError("Cannot size the shared block", path);
        close(fd);
        return false;
    }
    return Map(fd, size, path);
}

bool TSharedBlock::Open(const std::string &path, size_t size) {
    Close();
    FLastError.clear();
    const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        FLastError = SystemError("Cannot open the shared block", path);
        return false;
    }
    std::string why;
    struct stat st {};
    if (!OwnPrivateFile(fd, why) || fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < size) {
        FLastError = "The shared block \"" + path + "\" " + (why.empty() ? "is too small" : why);
        close(fd);
        errno = EPERM;
        return false;
    }
    return Map(fd, size, path);
}

void TSharedBlock::Close() {
    if (FData)
        munmap(FData, FSize);
    FData = nullptr;
    FSize = 0;
}

void TSharedBlock::Unlink(const std::string &path) {
    unlink(path.c_str());
}

void *TSharedBlock::At(size_t offset, size_t count) const {
    if (!FData || offset > FSize || count > FSize - offset)
        return nullptr;
    return FData + offset;
}

uint32_t TSharedBlock::ReadU32(size_t offset) const {
    if (!FData || offset % 4 != 0 || offset + 4 > FSize)
        return 0;
    return __atomic_load_n(reinterpret_cast<const uint32_t *>(FData + offset), __ATOMIC_SEQ_CST);
}

void TSharedBlock::WriteU32(size_t offset, uint32_t value) {
    if (!FData || offset % 4 != 0 || offset + 4 > FSize)
        return;
    __atomic_store_n(reinterpret_cast<uint32_t *>(FData + offset), value, __ATOMIC_SEQ_CST);
}

bool TSharedBlock::ReadBytes(size_t offset, void *dest, size_t count) const {
    const void *p = At(offset, count);
    if (!p)
        return false;
    std::memcpy(dest, p, count);
    return true;
}

bool TSharedBlock::WriteBytes(size_t offset, const void *source, size_t count) {
    void *p = At(offset, count);
    if (!p)
        return false;
    std::memcpy(p, source, count);
    return true;
}

// ---- TBlockSemaphore

size_t TBlockSemaphore::Size() { return sizeof(sem_t); }

bool TBlockSemaphore::Init(TSharedBlock &block, size_t offset) {
    FSem = nullptr;
    void *p = block.At(offset, sizeof(sem_t));
    if (!p || offset % alignof(sem_t) != 0 || sem_init(static_cast<sem_t *>(p), 1, 0) != 0)
        return false;
    FSem = p;
    return true;
}

bool TBlockSemaphore::Attach(TSharedBlock &block, size_t offset) {
    FSem = nullptr;
    void *p = block.At(offset, sizeof(sem_t));
    if (!p || offset % alignof(sem_t) != 0)
        return false;
    FSem = p;
    return true;
}

bool TBlockSemaphore::Wait(int timeoutMs) {
    if (!FSem)
        return false;
    sem_t *sem = static_cast<sem_t *>(FSem);
    if (timeoutMs <= 0) {
        while (sem_trywait(sem) != 0)
            if (errno != EINTR)
                return false;
        return true;
    }
    timespec until {};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += timeoutMs / 1000;
    until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (sem_clockwait(sem, CLOCK_MONOTONIC, &until) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

bool TBlockSemaphore::Post() {
    return FSem && sem_post(static_cast<sem_t *>(FSem)) == 0;
}

int TBlockSemaphore::Value() const {
    int value = -1;
    if (!FSem || sem_getvalue(static_cast<sem_t *>(FSem), &value) != 0)
        return -1;
    return value;
}

// ---- TLockFile

bool TLockFile::TryLock(const std::string &path) {
    Unlock();
    FLastError.clear();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        FLastError = SystemError("Cannot open the lock file", path);
        return false;
    }
    std::string why;
    if (!OwnPrivateFile(fd, why)) {
        FLastError = "The lock file \"" + path + "\" " + why;
        close(fd);
        errno = EPERM;
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int saved = errno;
        FLastError = SystemError("Cannot lock", path);
        close(fd);
        errno = saved;
        return false;
    }
    FFd = fd;
    return true;
}

void TLockFile::Unlock() {
    if (FFd >= 0)
        close(FFd);   // releases the lock
    FFd = -1;
}

// ---- local sockets

bool TLocalListener::Listen(const std::string &path) {
    Close();
    FLastError.clear();
    sockaddr_un addr;
    socklen_t length = 0;
    if (!PathAddress(path, addr, length)) {
        errno = ENAMETOOLONG;
        FLastError = SystemError("Cannot listen on", path);
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        FLastError = SystemError("Cannot create a socket for", path);
        return false;
    }
    unlink(path.c_str());   // a socket left by a copy that ended without cleaning up
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), length) != 0 || listen(fd, 16) != 0) {
        FLastError = SystemError("Cannot listen on", path);
        const int saved = errno;
        close(fd);
        errno = saved;
        return false;
    }
    FFd = fd;
    FPath = path;
    return true;
}

void TLocalListener::Close(bool unlinkPath) {
    if (FFd >= 0) {
        close(FFd);
        if (unlinkPath && !FPath.empty())
            unlink(FPath.c_str());
    }
    FFd = -1;
    FPath.clear();
}

int TLocalListener::Accept(pid_t &peerPid, uid_t &peerUid) {
    peerPid = 0;
    peerUid = static_cast<uid_t>(-1);
    if (FFd < 0)
        return -1;
    int fd;
    do
        fd = accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    PeerCredentials(fd, peerPid, peerUid);
    return fd;
}

int ConnectLocal(const std::string &path, pid_t &peerPid, uid_t &peerUid) {
    peerPid = 0;
    peerUid = static_cast<uid_t>(-1);
    sockaddr_un addr;
    socklen_t length = 0;
    if (!PathAddress(path, addr, length))
        return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int rc;
    do
        rc = connect(fd, reinterpret_cast<sockaddr *>(&addr), length);
    while (rc != 0 && errno == EINTR);
    if (rc != 0 || !PeerCredentials(fd, peerPid, peerUid)) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace tessaly
