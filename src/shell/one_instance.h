// TOneInstance: makes the program a single-instance application. A second start hands
// its first ten parameters to the running copy and ends; the front-end watches
// NotifyFd() in its event loop and reads what arrives with ReceiveHandOver().
//
// Use in a front-end's main(), before any window exists:
//     TOneInstance one;
//     if (one.Start({argv + 1, argv + argc}) == irHandedOver)
//         return 0;
//     ... if (one.IsFirst()) watch one.NotifyFd() for reading; on each event call
//     one.ReceiveHandOver(params) and, when it returns true, bring the window to the front.
#pragma once

#include "platform/ipc.h"

#include <string>
#include <vector>

namespace tessaly {

// What the start-up check decided for this copy.
enum TInstanceRole {
    irUndecided,    // Start() not called yet
    irFirst,        // the first copy: watch NotifyFd() for later starts
    irHandedOver,   // the running copy took the parameters: end with status 0, show nothing
    irIndependent,  // run as a normal copy (the running one did not answer, or no check)
};

inline constexpr int kHandOverMaxParams = 10;
inline constexpr size_t kHandOverMaxChars = 300;   // characters (UTF-8) per parameter
inline constexpr int kHandOverTimeoutMs = 10000;

// `text` cut to at most `maxChars` characters: UTF-8 sequences are never split; a byte
// that starts no valid sequence counts as one character.
std::string CutToChars(const std::string &text, size_t maxChars);

class TOneInstance {
public:
    // `programName`: the program file's name without its folder; together with the
    // user id and the display (X or Wayland) it names the lock file, the shared block
    // (which holds the semaphore) and the socket, so a renamed copy, another display and
    // other users run on their own. Empty: ProgramFileName().
    // `timeoutMs`: how long a second copy waits for each answer of the running one.
    // `runtimeDir`: the private folder that holds the objects; empty: PrivateRuntimeDir().
    explicit TOneInstance(const std::string &programName = std::string(), int timeoutMs = kHandOverTimeoutMs,
                          const std::string &runtimeDir = std::string());
    // A first copy removes its block and socket files and releases its lock.
    ~TOneInstance();
    TOneInstance(const TOneInstance &) = delete;
    TOneInstance &operator=(const TOneInstance &) = delete;

    // The start-up check, run once before any window exists. `params` are the
    // command-line parameters without the program name. Only one object per process
    // may run it; a second one reports irIndependent with LastError() set.
    TInstanceRole Start(const std::vector<std::string> &params);
    TInstanceRole Role() const { return FRole; }
    bool IsFirst() const { return FRole == irFirst; }

    // The descriptor that becomes readable when another copy hands over (a first copy
    // only; -1 otherwise). Watch it for reading (e.g. with a QSocketNotifier).
    int NotifyFd() const { return FListener.Fd(); }
    // Takes one waiting hand-over: fills `params` (at most ten, each at most 300
    // characters) and lets the other copy end. False when nothing valid waited (a
    // connection from a process that does not hold the block is dropped).
    bool ReceiveHandOver(std::vector<std::string> &params);

    const std::string &LastError() const { return FLastError; }
    // The files used for `programName` in the private folder `dir` (for tests and
    // diagnostics): NAME.lock, NAME.block, NAME.sock.
    static std::string ObjectPath(const std::string &dir, const std::string &programName, const std::string &ext);
    // The display this copy runs on ("wayland-0", ":1"; empty without one).
    static std::string DisplayName();
    // The private folder in use (empty before Start or when there is none).
    const std::string &RuntimeDir() const { return FDir; }
    // The running program file's name without its folder (from /proc/self/exe).
    static std::string ProgramFileName();

private:
    enum THandOver { hoDone, hoRetry, hoNoAnswer };
    enum TWait { wtObtained, wtOwnerGone, wtTimeout };

    TInstanceRole BecomeFirst();
    THandOver TryHandOver(const std::vector<std::string> &params, long long deadlineMs);
    TWait WaitForBlock(uint32_t owner, long long deadlineMs);
    TWait WaitForAnswer(int fd, long long deadlineMs);
    void WriteParams(const std::vector<std::string> &params);
    void CloseShared();

    std::string Path(const std::string &ext) const { return ObjectPath(FDir, FProgramName, ext); }

    std::string FProgramName;
    int FTimeoutMs;
    std::string FDir;
    TInstanceRole FRole = irUndecided;
    bool FHoldsSlot = false;
    TLockFile FLock;
    TSharedBlock FBlock;
    TBlockSemaphore FSem;
    TLocalListener FListener;
    std::string FLastError;
};

} // namespace tessaly
