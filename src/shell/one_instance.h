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
    // `programName`: the program file's name without its folder; it names the shared
    // block, the semaphore ("...Sem") and the socket, together with the user id, so a
    // renamed copy and other users run on their own. Empty: ProgramFileName().
    // `timeoutMs`: how long a second copy waits for each answer of the running one.
    explicit TOneInstance(const std::string &programName = std::string(), int timeoutMs = kHandOverTimeoutMs);
    // A first copy removes its block and semaphore names and frees the socket name.
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
    // The names used for `programName` (for tests and diagnostics).
    static std::string BlockName(const std::string &programName);
    static std::string SemaphoreName(const std::string &programName);
    static std::string SocketName(const std::string &programName);
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

    std::string FProgramName;
    int FTimeoutMs;
    TInstanceRole FRole = irUndecided;
    bool FHoldsSlot = false;
    TSharedBlock FBlock;
    TNamedSemaphore FSem;
    TLocalListener FListener;
    std::string FLastError;
};

} // namespace tessaly
