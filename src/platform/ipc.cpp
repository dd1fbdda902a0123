// Named shared memory, named semaphores and abstract local sockets on the POSIX and
// Linux calls (shm_open/mmap, sem_open/sem_clockwait, socket/bind/SO_PEERCRED).
#include "platform/ipc.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
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

// The abstract socket address of `name`: a zero byte, then the name (no terminator).
bool AbstractAddress(const std::string &name, sockaddr_un &addr, socklen_t &length) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (name.empty() || name.size() + 1 > sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return true;
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

bool ProcessRuns(pid_t pid) {
    if (pid <= 0)
        return false;
    return kill(pid, 0) == 0 || errno == EPERM;
}

// ---- TSharedBlock

bool TSharedBlock::Open(const std::string &name, size_t size, bool create) {
    Close();
    FLastError.clear();
    const int fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0) {
        FLastError = SystemError("Cannot open the shared block", name);
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (ok && static_cast<size_t>(st.st_size) < size)
        ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
    void *data = MAP_FAILED;
    if (ok)
        data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (!ok || data == MAP_FAILED) {
        FLastError = SystemError("Cannot map the shared block", name);
        const int saved = errno;
        close(fd);
        errno = saved;
        return false;
    }
    close(fd);   // the mapping keeps the object alive
    FData = static_cast<uint8_t *>(data);
    FSize = size;
    return true;
}

void TSharedBlock::Close() {
    if (FData)
        munmap(FData, FSize);
    FData = nullptr;
    FSize = 0;
}

void TSharedBlock::Unlink(const std::string &name) {
    shm_unlink(name.c_str());
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
    if (!FData || offset > FSize || count > FSize - offset)
        return false;
    std::memcpy(dest, FData + offset, count);
    return true;
}

bool TSharedBlock::WriteBytes(size_t offset, const void *source, size_t count) {
    if (!FData || offset > FSize || count > FSize - offset)
        return false;
    std::memcpy(FData + offset, source, count);
    return true;
}

// ---- TNamedSemaphore

bool TNamedSemaphore::Open(const std::string &name) {
    Close();
    FLastError.clear();
    sem_t *sem = sem_open(name.c_str(), O_CREAT, 0600, 0u);
    if (sem == SEM_FAILED) {
        FLastError = SystemError("Cannot open the semaphore", name);
        return false;
    }
    FSem = sem;
    return true;
}

void TNamedSemaphore::Close() {
    if (FSem)
        sem_close(static_cast<sem_t *>(FSem));
    FSem = nullptr;
}

void TNamedSemaphore::Unlink(const std::string &name) {
    sem_unlink(name.c_str());
}

bool TNamedSemaphore::Wait(int timeoutMs) {
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

bool TNamedSemaphore::Post() {
    return FSem && sem_post(static_cast<sem_t *>(FSem)) == 0;
}

int TNamedSemaphore::Value() const {
    int value = -1;
    if (!FSem || sem_getvalue(static_cast<sem_t *>(FSem), &value) != 0)
        return -1;
    return value;
}

// ---- local sockets

bool TLocalListener::Listen(const std::string &name) {
    Close();
    FLastError.clear();
    sockaddr_un addr;
    socklen_t length = 0;
    if (!AbstractAddress(name, addr, length)) {
        errno = ENAMETOOLONG;
        FLastError = SystemError("Cannot listen on", name);
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        FLastError = SystemError("Cannot create a socket for", name);
        return false;
    }
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), length) != 0 || listen(fd, 16) != 0) {
        FLastError = SystemError("Cannot listen on", name);
        const int saved = errno;
        close(fd);
        errno = saved;
        return false;
    }
    FFd = fd;
    return true;
}

void TLocalListener::Close() {
    if (FFd >= 0)
        close(FFd);
    FFd = -1;
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
    ucred cred {};
    socklen_t length = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0 && length == sizeof cred) {
        peerPid = cred.pid;
        peerUid = cred.uid;
    }
    return fd;
}

int ConnectLocal(const std::string &name) {
    sockaddr_un addr;
    socklen_t length = 0;
    if (!AbstractAddress(name, addr, length))
        return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int rc;
    do
        rc = connect(fd, reinterpret_cast<sockaddr *>(&addr), length);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace tessaly
