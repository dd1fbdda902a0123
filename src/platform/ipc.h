// Inter-process objects for the single-instance hand-over, all inside a folder that only
// this user can enter: a shared block (a file mapped read/write) holding a process-shared
// semaphore, a lock file whose lock marks the one process that owns a name, and a local
// stream socket whose peer's credentials are checked on both ends.
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

// The folder for this user's inter-process objects, with no trailing "/":
// $XDG_RUNTIME_DIR when it is a private folder of this user (IsPrivateFolder), else
// "tessaly-UID" in the system temporary folder, made with mode 0700 when missing. Empty,
// with `why` set, when neither is a folder that only this user owns and can enter (a
// name planted by somebody else is never used).
std::string PrivateRuntimeDir(std::string *why = nullptr);

// True while a process with this id exists (also one of another user); false for 0.
bool ProcessRuns(pid_t pid);

// A shared block: a file in the private folder mapped read/write; unmapped on
// destruction (the file stays until Unlink).
class TSharedBlock {
public:
    TSharedBlock() = default;
    ~TSharedBlock() { Close(); }
    TSharedBlock(const TSharedBlock &) = delete;
    TSharedBlock &operator=(const TSharedBlock &) = delete;

    // Creates the block file `path` exclusively (mode 0600, never through a link, never
    // over an existing file) with `size` zero bytes and maps it.
    bool Create(const std::string &path, size_t size);
    // Maps the existing block `path`: it must be a regular file (not a link) of this
    // user, closed to others, of at least `size` bytes. False with LastError() set.
    bool Open(const std::string &path, size_t size);
    void Close();
    bool IsOpen() const { return FData != nullptr; }
    size_t Size() const { return FSize; }
    static void Unlink(const std::string &path);

    // 32-bit values at a 4-aligned offset, read and written atomically; an offset
    // outside the block reads 0 and is not written.
    uint32_t ReadU32(size_t offset) const;
    void WriteU32(size_t offset, uint32_t value);
    // Plain byte access within the block; false (nothing copied) when out of range.
    bool ReadBytes(size_t offset, void *dest, size_t count) const;
    bool WriteBytes(size_t offset, const void *source, size_t count);
    // The address of `offset` within the mapping, null when out of range.
    void *At(size_t offset, size_t count) const;

    const std::string &LastError() const { return FLastError; }

private:
    bool Map(int fd, size_t size, const std::string &path);

    uint8_t *FData = nullptr;
    size_t FSize = 0;
    std::string FLastError;
};

// A process-shared counting semaphore inside a shared block.
class TBlockSemaphore {
public:
    // Makes a new semaphore with count 0 at `offset` (the block's creator only).
    bool Init(TSharedBlock &block, size_t offset);
    // Uses the semaphore another process made at `offset`.
    bool Attach(TSharedBlock &block, size_t offset);
    void Detach() { FSem = nullptr; }
    bool IsOpen() const { return FSem != nullptr; }
    // Takes the semaphore, waiting at most `timeoutMs` milliseconds (0: do not wait).
    bool Wait(int timeoutMs);
    bool Post();
    // The current count, -1 when not attached.
    int Value() const;
    // Bytes the semaphore needs in a block.
    static size_t Size();

private:
    void *FSem = nullptr;   // sem_t * inside the mapping
};

// An exclusive lock on a file in the private folder; held until Unlock or the process
// ends, however it ends.
class TLockFile {
public:
    TLockFile() = default;
    ~TLockFile() { Unlock(); }
    TLockFile(const TLockFile &) = delete;
    TLockFile &operator=(const TLockFile &) = delete;

    // Opens (creating, mode 0600, never through a link) `path`, which must be a regular
    // file of this user, and takes its lock without waiting. False when another process
    // holds it (errno EWOULDBLOCK) or on another failure (LastError() set).
    bool TryLock(const std::string &path);
    void Unlock();
    bool Locked() const { return FFd >= 0; }
    const std::string &LastError() const { return FLastError; }

private:
    int FFd = -1;
    std::string FLastError;
};

// The listening end of a local stream socket at a path in the private folder.
class TLocalListener {
public:
    TLocalListener() = default;
    ~TLocalListener() { Close(); }
    TLocalListener(const TLocalListener &) = delete;
    TLocalListener &operator=(const TLocalListener &) = delete;

    // Removes what is left at `path` and binds and listens there (non-blocking,
    // close-on-exec). The caller must own the name (hold its lock file).
    bool Listen(const std::string &path);
    // Stops listening; with `unlink` the socket file is removed too.
    void Close(bool unlink = false);
    // The descriptor to watch for readability (a connection waits); -1 when closed.
    int Fd() const { return FFd; }
    // Accepts one waiting connection and returns its descriptor (the caller closes
    // it) with the peer's process and user id; -1 when none waits.
    int Accept(pid_t &peerPid, uid_t &peerUid);

    const std::string &LastError() const { return FLastError; }

private:
    int FFd = -1;
    std::string FPath;
    std::string FLastError;
};

// Connects to the local socket at `path`; the connected descriptor (the caller closes
// it) with the listening process's id and user id, or -1 when nobody listens there.
int ConnectLocal(const std::string &path, pid_t &peerPid, uid_t &peerUid);

} // namespace tessaly
