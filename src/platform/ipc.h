// Named inter-process objects for the single-instance hand-over: a shared-memory block
// (shm_open + mmap), a named semaphore (sem_open) and a local stream socket in Linux's
// abstract namespace, whose listening end also marks the one process that owns a name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace tessaly {

// A usable object name for `base` (any text): "/" + base with every character outside
// A-Z, a-z, 0-9, ".", "_", "-" replaced by "_"; a base longer than 100 characters is
// cut to 80 and followed by "~" and 16 hexadecimal digits of a hash of the whole text,
// so that different long names stay different and every name fits the system limits.
std::string IpcObjectName(const std::string &base);

// True while a process with this id exists (also one of another user); false for 0.
bool ProcessRuns(pid_t pid);

// A named shared-memory block mapped read/write; unmapped and closed on destruction
// (the name stays until Unlink).
class TSharedBlock {
public:
    TSharedBlock() = default;
    ~TSharedBlock() { Close(); }
    TSharedBlock(const TSharedBlock &) = delete;
    TSharedBlock &operator=(const TSharedBlock &) = delete;

    // Opens the block `name` (an IpcObjectName), creating it with mode 0600 when
    // `create` is set; a block smaller than `size` bytes is grown (new bytes are zero).
    // False with LastError() set; errno is kept (ENOENT: no such block).
    bool Open(const std::string &name, size_t size, bool create);
    void Close();
    bool IsOpen() const { return FData != nullptr; }
    size_t Size() const { return FSize; }
    // Removes the name; mappings that exist stay valid.
    static void Unlink(const std::string &name);

    // 32-bit values at a 4-aligned offset, read and written atomically; an offset
    // outside the block reads 0 and is not written.
    uint32_t ReadU32(size_t offset) const;
    void WriteU32(size_t offset, uint32_t value);
    // Plain byte access within the block; false (nothing copied) when out of range.
    bool ReadBytes(size_t offset, void *dest, size_t count) const;
    bool WriteBytes(size_t offset, const void *source, size_t count);

    const std::string &LastError() const { return FLastError; }

private:
    uint8_t *FData = nullptr;
    size_t FSize = 0;
    std::string FLastError;
};

// A named counting semaphore (sem_open), closed on destruction (the name stays until
// Unlink).
class TNamedSemaphore {
public:
    TNamedSemaphore() = default;
    ~TNamedSemaphore() { Close(); }
    TNamedSemaphore(const TNamedSemaphore &) = delete;
    TNamedSemaphore &operator=(const TNamedSemaphore &) = delete;

    // Opens the semaphore `name`, creating it (mode 0600, count 0) when missing.
    bool Open(const std::string &name);
    void Close();
    bool IsOpen() const { return FSem != nullptr; }
    static void Unlink(const std::string &name);

    // Takes the semaphore, waiting at most `timeoutMs` milliseconds (0: do not wait).
    bool Wait(int timeoutMs);
    bool Post();
    // The current count, -1 when closed.
    int Value() const;

    const std::string &LastError() const { return FLastError; }

private:
    void *FSem = nullptr;   // sem_t *
    std::string FLastError;
};

// The listening end of a local stream socket with an abstract name. Only one process
// can listen on a name; the name is freed when that process ends, however it ends.
class TLocalListener {
public:
    TLocalListener() = default;
    ~TLocalListener() { Close(); }
    TLocalListener(const TLocalListener &) = delete;
    TLocalListener &operator=(const TLocalListener &) = delete;

    // Binds and listens (non-blocking, close-on-exec). False when another process
    // listens on `name` (errno EADDRINUSE) or on another failure (LastError() set).
    bool Listen(const std::string &name);
    void Close();
    // The descriptor to watch for readability (a connection waits); -1 when closed.
    int Fd() const { return FFd; }
    // Accepts one waiting connection and returns its descriptor (the caller closes
    // it) with the peer's process and user id; -1 when none waits.
    int Accept(pid_t &peerPid, uid_t &peerUid);

    const std::string &LastError() const { return FLastError; }

private:
    int FFd = -1;
    std::string FLastError;
};

// Connects to the local socket `name`; the connected descriptor (the caller closes
// it), or -1 when nobody listens there.
int ConnectLocal(const std::string &name);

} // namespace tessaly
