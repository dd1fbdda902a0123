// TOneInstance on a lock file, a shared block holding a semaphore that serialises it, and
// a local socket whose connection is the "read the block" message, all in a folder that
// only this user can enter, so no other user can take the names first or listen in.
//
// Election: the copy that holds the lock file's lock is the first one; the system
// releases the lock when the process ends in any way, so a crashed first copy never
// blocks a later start. Hand-over: a second copy takes the semaphore, writes its
// parameters and its process id into the block, connects to the socket (whose listener
// must be the block's owner, of this user) and waits for an answer on that connection;
// the first copy reads the block when the connection arrives (from a process of this
// user that wrote the block), releases the semaphore and answers. The answer goes to the
// one connection, so copies that start together never take each other's answers.
#include "shell/one_instance.h"

#include "platform/file_system.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tessaly {

namespace {

// Layout of the shared block; every 32-bit field sits on a multiple of 4.
constexpr size_t kOffSem = 0;      // the process-shared semaphore
constexpr size_t kOffOwner = 64;   // process id of the first copy, 0 while none
constexpr size_t kOffCount = 68;   // number of parameters handed over, 0 .. 10
constexpr size_t kOffParams = 72;  // 10 slots of zero-terminated UTF-8 text
constexpr size_t kParamSlot = 1204;   // 300 characters of up to 4 bytes, the zero, padding
constexpr size_t kOffSender = kOffParams + kHandOverMaxParams * kParamSlot;   // id of the handing copy
constexpr size_t kBlockSize = kOffSender + 4;
constexpr char kAnswer = 'A';   // the first copy's answer on the connection

std::atomic<bool> gSlotTaken{false};

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string NameBase(const std::string &programName) {
    const std::string display = TOneInstance::DisplayName();
    return "tessaly-" + std::to_string(getuid()) + "-" + programName + (display.empty() ? "" : "@" + display);
}

// Length of the valid UTF-8 sequence starting at s[i], or 1 for a byte that starts none.
size_t SequenceLength(const std::string &s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t length;
    if (c < 0x80)
        return 1;
    else if (c >= 0xC2 && c <= 0xDF)
        length = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        length = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        length = 4;
    else
        return 1;
    if (i + length > s.size())
        return 1;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    return length;
}

} // namespace

std::string CutToChars(const std::string &text, size_t maxChars) {
    size_t i = 0;
    for (size_t chars = 0; i < text.size() && chars < maxChars; ++chars)
        i += SequenceLength(text, i);
    return text.substr(0, i);
}

TOneInstance::TOneInstance(const std::string &programName, int timeoutMs, const std::string &runtimeDir)
    : FProgramName(programName.empty() ? ProgramFileName() : programName), FTimeoutMs(timeoutMs), FDir(runtimeDir) {}

TOneInstance::~TOneInstance() {
    if (FRole == irFirst) {
        FBlock.WriteU32(kOffOwner, 0);
        TSharedBlock::Unlink(Path(".block"));
        FListener.Close(true);
    }
    CloseShared();
    FListener.Close();
    FLock.Unlock();
    if (FHoldsSlot)
        gSlotTaken = false;
}

std::string TOneInstance::DisplayName() {
    if (const char *wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
        return wayland;
    if (const char *x = std::getenv("DISPLAY"); x && *x)
        return x;
    return std::string();
}

std::string TOneInstance::ObjectPath(const std::string &dir, const std::string &programName, const std::string &ext) {
    const std::string base = NameBase(programName);
    std::string name = IpcObjectName(base).substr(1);
    // A socket path has room for 107 bytes: long names give way to a hash.
    if (dir.size() + 1 + name.size() + 6 > 107) {
        char hex[17];
        uint64_t hash = 0xcbf29ce484222325ull;
        for (unsigned char c : base)
            hash = (hash ^ c) * 0x100000001b3ull;
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
        name = std::string("tsy-") + hex;
    }
    return dir + "/" + name + ext;
}

std::string TOneInstance::ProgramFileName() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "tessaly";
    std::string path(buf, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";   // the file was replaced while running
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return ExtractFileName(path);
}

TInstanceRole TOneInstance::Start(const std::vector<std::string> &params) {
    if (FRole != irUndecided)
        return FRole;
    bool expected = false;
    if (!gSlotTaken.compare_exchange_strong(expected, true)) {
        FLastError = "Only one single-instance check may run in a process";
        return FRole = irIndependent;
    }
    FHoldsSlot = true;
    if (FDir.empty())
        FDir = PrivateRuntimeDir(&FLastError);
    if (FDir.empty())
        return FRole = irIndependent;   // no private folder: no check, run normally
    const long long deadline = NowMs() + FTimeoutMs;
    for (;;) {
        if (FLock.TryLock(Path(".lock")))
            return FRole = BecomeFirst();
        if (errno != EWOULDBLOCK) {
            FLastError = FLock.LastError();   // no check possible: run normally
            return FRole = irIndependent;
        }
        const THandOver result = TryHandOver(params, deadline);
        if (result == hoDone || result == hoNoAnswer) {
            CloseShared();
            return FRole = result == hoDone ? irHandedOver : irIndependent;
        }
        if (NowMs() >= deadline) {
            FLastError = "The running copy of " + FProgramName + " did not answer";
            CloseShared();
            return FRole = irIndependent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TInstanceRole TOneInstance::BecomeFirst() {
    // Holding the lock, this copy alone owns the names: whatever a copy that ended left
    // there is removed and made anew.
    TSharedBlock::Unlink(Path(".block"));
    if (!FBlock.Create(Path(".block"), kBlockSize)) {
        FLastError = FBlock.LastError();   // without the block the check is off
        FLock.Unlock();
        return irIndependent;
    }
    if (!FSem.Init(FBlock, kOffSem)) {
        FLastError = "Unable to create semaphore";
        FBlock.Close();
        TSharedBlock::Unlink(Path(".block"));
        FLock.Unlock();
        return irIndependent;
    }
    FBlock.WriteU32(kOffOwner, static_cast<uint32_t>(getpid()));
    if (!FListener.Listen(Path(".sock"))) {
        FLastError = FListener.LastError();
        CloseShared();
        TSharedBlock::Unlink(Path(".block"));
        FLock.Unlock();
        return irIndependent;
    }
    FSem.Post();
    return irFirst;
}

TOneInstance::THandOver TOneInstance::TryHandOver(const std::vector<std::string> &params, long long deadlineMs) {
    if (!FBlock.IsOpen()) {
        if (!FBlock.Open(Path(".block"), kBlockSize)) {
            FLastError = FBlock.LastError();
            return hoRetry;   // the running copy has not made its block yet
        }
        FSem.Attach(FBlock, kOffSem);
    }
    const uint32_t owner = FBlock.ReadU32(kOffOwner);
    if (owner == 0 || !ProcessRuns(static_cast<pid_t>(owner))) {
        CloseShared();   // not ready yet, or a block whose owner is gone: open afresh
        return hoRetry;
    }
    switch (WaitForBlock(owner, deadlineMs)) {
    case wtTimeout:
        FLastError = "The running copy of " + FProgramName + " holds its block";
        return hoNoAnswer;
    case wtOwnerGone:
        CloseShared();
        return hoRetry;
    case wtObtained:
        break;
    }
    WriteParams(params);
    pid_t peerPid = 0;
    uid_t peerUid = 0;
    int fd = ConnectLocal(Path(".sock"), peerPid, peerUid);
    if (fd >= 0 && (peerUid != getuid() || static_cast<uint32_t>(peerPid) != owner)) {
        close(fd);   // not the copy that owns the block: it gets nothing
        fd = -1;
    }
    if (fd < 0) {
        FBlock.WriteU32(kOffSender, 0);
        FSem.Post();
        CloseShared();
        return hoRetry;
    }
    // The running copy releases the semaphore once it has read the block, then answers.
    const TWait answer = WaitForAnswer(fd, NowMs() + FTimeoutMs);
    close(fd);
    if (answer == wtTimeout) {
        FLastError = "The running copy of " + FProgramName + " did not answer";
        return hoNoAnswer;   // it releases the block if it ever reads it
    }
    if (answer == wtOwnerGone) {
        FSem.Post();   // closed without an answer (it ended): free the block, start over
        CloseShared();
        return hoRetry;
    }
    return hoDone;
}

TOneInstance::TWait TOneInstance::WaitForAnswer(int fd, long long deadlineMs) {
    for (;;) {
        const long long left = deadlineMs - NowMs();
        if (left <= 0)
            return wtTimeout;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left > 100 ? 100 : left));
        if (ready < 0 && errno != EINTR)
            return wtOwnerGone;
        if (ready <= 0)
            continue;
        char c = 0;
        const ssize_t n = recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR)
            continue;
        return n == 1 && c == kAnswer ? wtObtained : wtOwnerGone;
    }
}

TOneInstance::TWait TOneInstance::WaitForBlock(uint32_t owner, long long deadlineMs) {
    for (;;) {
        const long long left = deadlineMs - NowMs();
        if (FSem.Wait(static_cast<int>(left < 1 ? 1 : left > 100 ? 100 : left)))
            return wtObtained;
        if (FBlock.ReadU32(kOffOwner) != owner || !ProcessRuns(static_cast<pid_t>(owner)))
            return wtOwnerGone;
        if (NowMs() >= deadlineMs)
            return wtTimeout;
    }
}

void TOneInstance::WriteParams(const std::vector<std::string> &params) {
    const size_t count = std::min(params.size(), static_cast<size_t>(kHandOverMaxParams));
    FBlock.WriteU32(kOffCount, static_cast<uint32_t>(count));
    for (size_t i = 0; i < static_cast<size_t>(kHandOverMaxParams); ++i) {
        char slot[kParamSlot] = {};
        if (i < count) {
            const std::string text = CutToChars(params[i], kHandOverMaxChars);
            std::memcpy(slot, text.data(), std::min(text.size(), kParamSlot - 1));
        }
        FBlock.WriteBytes(kOffParams + i * kParamSlot, slot, kParamSlot);
    }
    FBlock.WriteU32(kOffSender, static_cast<uint32_t>(getpid()));
}

bool TOneInstance::ReceiveHandOver(std::vector<std::string> &params) {
    params.clear();
    if (FRole != irFirst)
        return false;
    pid_t peerPid = 0;
    uid_t peerUid = 0;
    const int fd = FListener.Accept(peerPid, peerUid);
    if (fd < 0)
        return false;
    const uint32_t sender = FBlock.ReadU32(kOffSender);
    const bool valid = peerUid == getuid() && sender != 0 && static_cast<uint32_t>(peerPid) == sender;
    if (valid) {
        const uint32_t count = std::min(FBlock.ReadU32(kOffCount), static_cast<uint32_t>(kHandOverMaxParams));
        for (uint32_t i = 0; i < count; ++i) {
            char slot[kParamSlot];
            FBlock.ReadBytes(kOffParams + i * kParamSlot, slot, kParamSlot);
            const std::string text(slot, strnlen(slot, kParamSlot - 1));
            params.push_back(CutToChars(text, kHandOverMaxChars));
        }
        FBlock.WriteU32(kOffSender, 0);
        FSem.Post();
        send(fd, &kAnswer, 1, MSG_NOSIGNAL);
    }
    close(fd);
    return valid;
}

void TOneInstance::CloseShared() {
    FSem.Detach();
    FBlock.Close();
}

} // namespace tessaly
